#include "platform/sys/Environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace
{
class EnvironmentTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        setenv("VX_TEST_DIR", "/opt/browser", 1);
        setenv("VX_TEST_EMPTY", "", 1);
        setenv("VX_TEST_WIDE", "Gr\xC3\xBC\xC3\x9F", 1);
        unsetenv("VX_TEST_UNSET");
    }
    void TearDown() override
    {
        for (const char *name : {"VX_TEST_DIR", "VX_TEST_EMPTY", "VX_TEST_WIDE"})
            unsetenv(name);
    }
};
} // namespace

TEST_F(EnvironmentTest, DefinedNamesAreReplacedAndOthersKept)
{
    const struct
    {
        const char16_t *source;
        const char16_t *expected;
    } cases[] = {
        {u"", u""},
        {u"plain text", u"plain text"},
        {u"%VX_TEST_DIR%\\bin\\run -x", u"/opt/browser\\bin\\run -x"},
        {u"\"%VX_TEST_DIR%/a b\" %VX_TEST_DIR%", u"\"/opt/browser/a b\" /opt/browser"},
        {u"[%VX_TEST_EMPTY%]", u"[]"},
        {u"%VX_TEST_WIDE%", u"Gr\u00FC\u00DF"},
        {u"%VX_TEST_UNSET%", u"%VX_TEST_UNSET%"},
        {u"%VX_TEST_UNSET%VX_TEST_DIR%", u"%VX_TEST_UNSET/opt/browser"},
        {u"100% sure", u"100% sure"},
        {u"%%", u"%%"},
        {u"a %1 b", u"a %1 b"},
        {u"%VX_TEST_DIR", u"%VX_TEST_DIR"},
        {u"%A=B%", u"%A=B%"},
    };
    for (const auto &c : cases)
    {
        char16_t out[64];
        const std::u16string expected = c.expected;
        const std::uint32_t n = ExpandEnvironmentStringsW(c.source, out, 64);
        EXPECT_EQ(n, expected.size() + 1);
        EXPECT_EQ(std::u16string(out), expected);
        EXPECT_EQ(vxsys::ExpandEnvironment(c.source), expected);
    }
}

TEST_F(EnvironmentTest, AResultLargerThanTheBufferIsNotWritten)
{
    const char16_t *source = u"%VX_TEST_DIR%/x"; // "/opt/browser/x": 14 characters and the terminator
    char16_t out[15];
    EXPECT_EQ(ExpandEnvironmentStringsW(source, out, 15), 15u);
    EXPECT_EQ(std::u16string(out), u"/opt/browser/x");

    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_EQ(ExpandEnvironmentStringsW(source, out, 14), 15u);
    EXPECT_EQ(std::u16string(out, 15), std::u16string(15, u'#')) << "no cut-off text";
    EXPECT_EQ(ExpandEnvironmentStringsW(source, nullptr, 0), 15u);
    EXPECT_EQ(ExpandEnvironmentStringsW(nullptr, out, 15), 0u);
}
