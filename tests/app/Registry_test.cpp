#include "app/Registry.h"

#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace
{
class CRegistryTest : public testing::Test
{
  protected:
    CRegistryTest() : m_dir(vxtest::MakeTempDir("creg")), m_env("VORMATIK_REGISTRY_DIR", m_dir.c_str())
    {
        std::ofstream(m_dir + "/HKEY_LOCAL_MACHINE.reg") << "[Software\\Tarvex\\Vormatik]\n"
                                                            "\"LanguageID\"=\"0x0804\"\n"
                                                            "@=\"the default\"\n"
                                                            "\"Expand\"=str(2):\"%HOME%\\\\x\"\n"
                                                            "\"Link\"=str(6):\"\\\\Registry\\\\Machine\"\n"
                                                            "\"Number\"=dword:00000804\n"
                                                            "\"Binary\"=hex:30,00,00,00\n"
                                                            "\"Unterminated\"=hex(1):41,00,42,00\n"
                                                            "\"OddBytes\"=hex(1):41,00,42\n"
                                                            "\"Embedded\"=hex(1):41,00,00,00,42,00,00,00\n"
                                                            "\"NoBytes\"=hex(1):\n"
                                                            "\"EmptyText\"=\"\"\n";
    }

    std::string m_dir;
    vxtest::ScopedEnv m_env;
};

constexpr const char16_t *kKey = u"Software\\Tarvex\\Vormatik";
} // namespace

TEST_F(CRegistryTest, TextValuesAreReadAndOthersCountAsMissing)
{
    const struct
    {
        const char16_t *name;
        int result;
        const char16_t *text;
    } cases[] = {
        {u"LanguageID", 1, u"0x0804"},
        {u"", 1, u"the default"},
        {nullptr, 1, u"the default"},
        {u"Expand", 1, u"%HOME%\\x"}, // returned as stored, not expanded
        {u"Link", 1, u"\\Registry\\Machine"},
        {u"NoBytes", 1, u""},
        {u"EmptyText", 1, u""},
        {u"Number", 0, u""},
        {u"Binary", 0, u""},
        {u"Missing", 0, u""},
        {u"Unterminated", 1, u"AB"},
        {u"OddBytes", 1, u"A"},
        {u"Embedded", 1, u"A"},
    };
    CRegistry registry(HKEY_LOCAL_MACHINE);
    for (const auto &c : cases)
    {
        std::u16string out = u"left over";
        EXPECT_EQ(registry.GetString(kKey, c.name, out), c.result) << (c.name ? "named" : "null name");
        EXPECT_EQ(out, c.text);
    }
}

TEST_F(CRegistryTest, MissingKeysAndOtherRootsGiveNothing)
{
    std::u16string out = u"left over";
    EXPECT_EQ(CRegistry(HKEY_LOCAL_MACHINE).GetString(u"Software\\Tarvex\\Other", u"LanguageID", out), 0);
    EXPECT_EQ(out, u"");
    out = u"left over";
    EXPECT_EQ(CRegistry(HKEY_CURRENT_USER).GetString(kKey, u"LanguageID", out), 0);
    EXPECT_EQ(out, u"");
}

TEST_F(CRegistryTest, QueryValueKeepsBytesAndTypeUntilFreed)
{
    CRegistry registry(HKEY_CLASSES_ROOT); // the root given to QueryValue is the one used
    CRegistryValue value;
    ASSERT_EQ(registry.QueryValue(kKey, u"Number", value, HKEY_LOCAL_MACHINE), 1);
    EXPECT_EQ(value.type, REG_DWORD);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{0x04, 0x08, 0, 0}));
    std::u16string out = u"left over";
    EXPECT_EQ(registry.ValueToString(value, out), 0);
    EXPECT_EQ(out, u"");

    ASSERT_EQ(registry.QueryValue(kKey, u"Unterminated", value, HKEY_LOCAL_MACHINE), 1);
    EXPECT_EQ(value.type, REG_SZ);
    EXPECT_EQ(value.data.size(), 4u);
    EXPECT_EQ(registry.ValueToString(value, out), 1);
    EXPECT_EQ(out, u"AB");

    EXPECT_EQ(registry.QueryValue(kKey, u"Missing", value, HKEY_LOCAL_MACHINE), 0);
    EXPECT_TRUE(value.data.empty()) << "a failed read leaves no bytes of an earlier one";
    EXPECT_EQ(value.type, REG_NONE);

    ASSERT_EQ(registry.QueryValue(kKey, u"", value, HKEY_LOCAL_MACHINE), 1);
    registry.FreeValue(value);
    EXPECT_TRUE(value.data.empty());
    EXPECT_EQ(value.type, REG_NONE);
}
