#include "platform/sys/Registry.h"

#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using vxtest::ScopedEnv;

namespace
{
std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text, bool terminated = true)
{
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text)
    {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminated)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class RegistryTest : public testing::Test
{
  protected:
    RegistryTest() : m_dir(vxtest::MakeTempDir("registry")), m_env("VORMATIK_REGISTRY_DIR", m_dir.c_str()) {}

    void WriteHive(const char *file, const std::string &content)
    {
        std::ofstream(m_dir + "/" + file, std::ios::binary) << content;
    }

    struct Read
    {
        long status = -1;
        std::uint32_t type = 0xFFFF;
        std::vector<std::uint8_t> bytes;
    };

    // Opens the key, asks for the size, reads the value and closes the key.
    static Read ReadValue(HKEY hive, const char16_t *key, const char16_t *name)
    {
        Read r;
        HKEY handle = nullptr;
        r.status = RegOpenKeyExW(hive, key, 0, KEY_READ, &handle);
        if (r.status != ERROR_SUCCESS)
            return r;
        std::uint32_t size = 0;
        r.status = RegQueryValueExW(handle, name, nullptr, &r.type, nullptr, &size);
        if (r.status == ERROR_SUCCESS)
        {
            r.bytes.resize(size);
            r.status = RegQueryValueExW(handle, name, nullptr, &r.type, r.bytes.data(), &size);
            r.bytes.resize(size);
        }
        EXPECT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
        return r;
    }

    std::string m_dir;
    ScopedEnv m_env;
};
} // namespace

TEST_F(RegistryTest, HiveFilesFollowTheOverrideThenTheConfigFolder)
{
    EXPECT_EQ(vxsys::RegistryDirectory(), m_dir);
    EXPECT_EQ(vxsys::RegistryHiveFile(HKEY_CLASSES_ROOT), m_dir + "/HKEY_CLASSES_ROOT.reg");
    EXPECT_EQ(vxsys::RegistryHiveFile(HKEY_CURRENT_USER), m_dir + "/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(vxsys::RegistryHiveFile(HKEY_LOCAL_MACHINE), m_dir + "/HKEY_LOCAL_MACHINE.reg");
    {
        ScopedEnv noOverride("VORMATIK_REGISTRY_DIR", nullptr);
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(vxsys::RegistryDirectory(), "/cfg/Tarvex/registry");
        ScopedEnv relative("XDG_CONFIG_HOME", "relative/cfg");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(vxsys::RegistryDirectory(), "/home/u/.config/Tarvex/registry");
    }
    {
        ScopedEnv emptyOverride("VORMATIK_REGISTRY_DIR", "");
        ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", "/home/v");
        EXPECT_EQ(vxsys::RegistryDirectory(), "/home/v/.config/Tarvex/registry");
    }
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndBytes)
{
    WriteHive("HKEY_LOCAL_MACHINE.reg", "Windows Registry Editor Version 5.00\n"
                                        "\n"
                                        "; the program's settings\n"
                                        "[Software\\Tarvex\\Vormatik]\n"
                                        "\"LanguageID\"=\"0x0804\"\n"
                                        "@=\"default text\"\n"
                                        "\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\"\n"
                                        "\"Wide\"=\"Gr\xC3\xBC\xC3\x9F \xE6\xAD\xA5\"\n"
                                        "\"Count\"=dword:0000002A\n"
                                        "\"Blob\"=hex:01,ff, 0a\n"
                                        "\"Empty\"=hex:\n"
                                        "\"Path\"=str(2):\"%HOME%\\bin\"\n"
                                        "\"RawPath\"=hex(2):25,00,41,00,25,00,00,00\n"
                                        "\"Link\"=str(6):\"\\\\target\"\n"
                                        "\"Number\"=hex(b):01,00,00,00,00,00,00,80\n");
    struct Case
    {
        const char16_t *name;
        std::uint32_t type;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {u"LanguageID", REG_SZ, Utf16Bytes(u"0x0804")},
        {u"", REG_SZ, Utf16Bytes(u"default text")},
        {nullptr, REG_SZ, Utf16Bytes(u"default text")},
        {u"Quoted", REG_SZ, Utf16Bytes(u"say \"hi\" C:\\dir")},
        {u"Wide", REG_SZ, Utf16Bytes(u"Gr\u00FC\u00DF \u6B65")},
        {u"count", REG_DWORD, {0x2A, 0, 0, 0}},
        {u"Blob", REG_BINARY, {0x01, 0xFF, 0x0A}},
        {u"Empty", REG_BINARY, {}},
        {u"Path", REG_EXPAND_SZ, Utf16Bytes(u"%HOME%\\bin")},
        {u"RawPath", REG_EXPAND_SZ, Utf16Bytes(u"%A%")},
        {u"Link", REG_LINK, Utf16Bytes(u"\\target")},
        {u"Number", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name ? std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name))
                            : "null");
        const Read r = ReadValue(HKEY_LOCAL_MACHINE, u"software\\TARVEX\\Vormatik", c.name);
        ASSERT_EQ(r.status, ERROR_SUCCESS);
        EXPECT_EQ(r.type, c.type);
        EXPECT_EQ(r.bytes, c.bytes);
    }
}

TEST_F(RegistryTest, SizeIsReportedAndShortBuffersAreRefused)
{
    WriteHive("HKEY_CURRENT_USER.reg", "[K]\n\"V\"=\"abc\"\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"K", 0, KEY_READ, &key), ERROR_SUCCESS);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

    std::uint8_t buf[8];
    std::fill(std::begin(buf), std::end(buf), 0xEE);
    size = 7;
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(buf[0], 0xEE) << "nothing is copied into a short buffer";
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 8), Utf16Bytes(u"abc"));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, MissingKeysAndValuesAreNotFound)
{
    WriteHive("HKEY_CLASSES_ROOT.reg", "[HTTP\\shell\\open\\command]\n\"Other\"=\"x\"\n");
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"HTTP\\shell\\missing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"HTTP", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "no file for that hive";
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"HTTP\\shel", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "a prefix of a key name is not a parent";
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, u"HTTP\\shell\\open\\command", u"").status, ERROR_FILE_NOT_FOUND)
        << "the default value is not set";
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, u"HTTP\\shell\\open\\command", u"Missing").status,
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, u"HTTP\\shell\\open\\command", u"Other").status, ERROR_SUCCESS);
}

TEST_F(RegistryTest, ParentsExistAndSubkeysOpenBelowOpenKeys)
{
    WriteHive("HKEY_CLASSES_ROOT.reg", "[HTTP\\shell\\open\\command]\n@=\"browser\"\n");
    HKEY http = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"HTTP", 0, KEY_READ, &http), ERROR_SUCCESS);
    HKEY command = nullptr;
    ASSERT_EQ(RegOpenKeyExW(http, u"\\shell\\\\open\\command\\", 0, KEY_READ, &command), ERROR_SUCCESS);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExW(command, nullptr, 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_NE(again, command);

    std::uint32_t size = 0;
    EXPECT_EQ(RegQueryValueExW(http, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(again, nullptr, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, Utf16Bytes(u"browser").size());

    for (HKEY k : {again, command, http})
        EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(http), ERROR_INVALID_HANDLE) << "closed twice";
    EXPECT_EQ(RegQueryValueExW(http, nullptr, nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(http, u"shell", 0, KEY_READ, &command), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
}

TEST_F(RegistryTest, OnlyReadAccessIsGranted)
{
    WriteHive("HKEY_CURRENT_USER.reg", "[Software]\n");
    HKEY key = nullptr;
    for (std::uint32_t access :
         {KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_READ | KEY_SET_VALUE, 0xF003Fu /*all*/})
    {
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, access, &key), ERROR_ACCESS_DENIED)
            << access;
        EXPECT_EQ(key, nullptr);
    }
    for (std::uint32_t access : {KEY_READ, KEY_QUERY_VALUE, KEY_READ | KEY_WOW64_64KEY})
    {
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, access, &key), ERROR_SUCCESS) << access;
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x80000003u), u"", 0, KEY_READ, &key),
              ERROR_INVALID_HANDLE)
        << "a hive this store does not keep";
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, FileSyntaxDetails)
{
    WriteHive("HKEY_LOCAL_MACHINE.reg", "\xEF\xBB\xBFREGEDIT4\r\n"
                                        "\"Orphan\"=\"before any key\"\r\n"
                                        "[A]\r\n"
                                        "\"Long\"=hex:01,02,\\\r\n"
                                        "  03,04\r\n"
                                        "\"Twice\"=\"first\"\r\n"
                                        "\"Broken\"=dword:123456789\r\n"
                                        "\"Unclosed\"=\"no end\r\n"
                                        "\"Gone\"=\"x\"\r\n"
                                        "[B]\r\n"
                                        "\"Other\"=\"b\"\r\n"
                                        "[a]\r\n"
                                        "\"twice\"=\"second\"\r\n"
                                        "\"Gone\"=-\r\n"
                                        "[-C]\r\n"
                                        "\"InRemoved\"=\"c\"\r\n");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"A", u"Long").bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"A", u"Twice").bytes, Utf16Bytes(u"second"))
        << "sections of one key merge and the last value wins";
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"A", u"Broken").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"A", u"Unclosed").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"A", u"Gone").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"B", u"Other").status, ERROR_SUCCESS);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"", u"Orphan").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, u"C", u"InRemoved").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, AContinuationIntoBlankLinesIsSkipped)
{
    // A lone backslash continues into the next line; when that one is blank the joined line is empty.
    const char *const gaps[] = {
        "\\\n\n",     // the bytes 5c 0a 0a
        "\\\r\n\r\n", // the same with CR LF
        "\\\n \t\n",  // a blank line that holds blanks
        "\\\n\\\n\n", // two continuations in a row
        "  \\  \n\n", // a backslash between blanks
    };
    for (const char *gap : gaps)
    {
        SCOPED_TRACE(testing::PrintToString(std::string(gap)));
        WriteHive("HKEY_CURRENT_USER.reg",
                  std::string(gap) + "[K]\n\"A\"=\"1\"\n" + gap + "\"B\"=dword:2\n" + gap);
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, u"K", u"A").bytes, Utf16Bytes(u"1"));
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, u"K", u"B").bytes, (std::vector<std::uint8_t>{2, 0, 0, 0}));
    }
    // The file ends inside the continuation.
    WriteHive("HKEY_CURRENT_USER.reg", "[K]\n\"A\"=\"1\"\n\\\n");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, u"K", u"A").bytes, Utf16Bytes(u"1"));
}

TEST_F(RegistryTest, AnOpenKeyKeepsItsValuesAndTheNextOpenSeesChanges)
{
    WriteHive("HKEY_CURRENT_USER.reg", "[K]\n\"V\"=dword:1\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"K", 0, KEY_READ, &key), ERROR_SUCCESS);
    WriteHive("HKEY_CURRENT_USER.reg", "[K]\n\"V\"=dword:2\n");
    std::uint8_t data[4] = {};
    std::uint32_t size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, u"V", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, u"K", u"V").bytes, (std::vector<std::uint8_t>{2, 0, 0, 0}));
}
