#include "app/DefaultBrowser.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using vxsys::Utf16ToUtf8;
using vxsys::Utf8ToUtf16;

namespace
{
class DefaultBrowserTest : public testing::Test
{
  protected:
    DefaultBrowserTest()
        : m_dir(vxtest::MakeTempDir("browser")), m_env("VORMATIK_REGISTRY_DIR", m_dir.c_str()),
          m_var("VX_BROWSER_HOME", "/opt/web browser")
    {
    }

    // Registers the HTTP open command as the default value, written as given (data part
    // of a value line), or removes the registration with nullptr.
    void Register(const char *data)
    {
        const std::string file = m_dir + "/HKEY_CLASSES_ROOT.reg";
        if (!data)
        {
            std::filesystem::remove(file);
            return;
        }
        std::ofstream(file) << "[HTTP\\shell\\open\\command]\n@=" << data << "\n";
    }

    static std::string Quoted(const std::string &text)
    {
        std::string out = "\"";
        for (char c : text)
        {
            if (c == '"' || c == '\\')
                out.push_back('\\');
            out.push_back(c);
        }
        return out + "\"";
    }

    std::string m_dir;
    vxtest::ScopedEnv m_env;
    vxtest::ScopedEnv m_var;
};
} // namespace

TEST_F(DefaultBrowserTest, TheRegisteredCommandIsPrepared)
{
    const std::string long259(259 - 10, 'x'); // with "browser %1" after it: 259 characters expanded
    const std::string long260(260 - 10, 'x');
    const struct
    {
        const char *data;
        const char16_t *command;
    } cases[] = {
        {nullptr, u"xdg-open"},
        {"\"\"", u"xdg-open"},
        {"\"C:\\\\Browser\\\\browser.exe -url \\\"%1\\\"\"", u"C:\\Browser\\browser.exe -url "},
        {"\"\\\"/usr/bin/web\\\" %1\"", u"\"/usr/bin/web\" "},
        {"\"web %1 --tab \\\"%1\\\" --also %1\"", u"web  --tab  --also "},
        {"\"web --url=%1\"", u"web --url=%1"},
        {"str(2):\"\\\"%VX_BROWSER_HOME%/run\\\" \\\"%1\\\"\"", u"\"/opt/web browser/run\" "},
        {"\"%VX_BROWSER_HOME%/run %VX_NOT_SET_ANYWHERE%\"", u"/opt/web browser/run %VX_NOT_SET_ANYWHERE%"},
        {"dword:00000001", u""},
        {"hex:41,00,00,00", u""},
    };
    for (const auto &c : cases)
    {
        Register(c.data);
        EXPECT_EQ(GetDefaultBrowserCommand(), c.command) << (c.data ? c.data : "no registration");
    }

    vxtest::ScopedEnv fits("VX_BROWSER_LONG", long259.c_str());
    Register("\"%VX_BROWSER_LONG%browser %1\"");
    EXPECT_EQ(GetDefaultBrowserCommand(), Utf8ToUtf16(long259 + "browser "));
    vxtest::ScopedEnv tooLong("VX_BROWSER_LONG", long260.c_str());
    EXPECT_EQ(GetDefaultBrowserCommand(), u"") << "a command that does not fit is refused, not cut off";
}

TEST_F(DefaultBrowserTest, TheAddressReachesTheBrowserAsOneArgumentAndNothingElseRuns)
{
    const std::string browser = vxtest::WriteArgvRecorder(m_dir, "fake browser");
    const std::string marker = m_dir + "/injected";
    Register(Quoted("\"" + browser + "\" --new-window \"%1\"").c_str());

    const std::string address = "http://example.test/app?a=1&b=two words \"quoted\" 'single' $(touch " +
                                marker + ") `touch " + marker + "`; touch " + marker + " | cat > " + marker +
                                " %1 *";
    ASSERT_EQ(OpenUrlInBrowser(Utf8ToUtf16(address)), 1);
    ASSERT_TRUE(vxtest::WaitForFile(m_dir + "/args"));
    EXPECT_EQ(vxtest::ReadWholeFile(m_dir + "/args"), "[--new-window]\n[" + address + "]\n");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(DefaultBrowserTest, WithoutARegistrationXdgOpenGetsTheAddress)
{
    vxtest::WriteArgvRecorder(m_dir, "xdg-open");
    const std::string path = m_dir + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    vxtest::ScopedEnv searchPath("PATH", path.c_str());
    Register(nullptr);
    ASSERT_EQ(OpenUrlInBrowser(u"https://example.test/page?x=1 y"), 1);
    ASSERT_TRUE(vxtest::WaitForFile(m_dir + "/args"));
    EXPECT_EQ(vxtest::ReadWholeFile(m_dir + "/args"), "[https://example.test/page?x=1 y]\n");
}

TEST_F(DefaultBrowserTest, NothingStartsWithoutAnAddressOrAUsableCommand)
{
    const std::string browser = vxtest::WriteArgvRecorder(m_dir, "browser");
    Register(Quoted(browser + " %1").c_str());
    EXPECT_EQ(OpenUrlInBrowser(u""), 0);

    Register("dword:00000001");
    EXPECT_EQ(OpenUrlInBrowser(u"http://example.test/"), 0);

    Register(Quoted(m_dir + "/missing-browser %1").c_str());
    EXPECT_EQ(OpenUrlInBrowser(u"http://example.test/"), 0);

    Register("\"   \"");
    EXPECT_EQ(OpenUrlInBrowser(u"http://example.test/"), 0) << "a command of blanks names no program";

    EXPECT_FALSE(std::filesystem::exists(m_dir + "/args"));
}
