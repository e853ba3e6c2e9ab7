#include "platform/sys/Process.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using vxsys::SplitCommandLine;

using vxtest::ReadWholeFile;
using vxtest::WaitForFile;
using vxtest::WriteScript;

namespace
{
std::string ArgvRecorder(const std::string &dir, const std::string &name = "record")
{
    return vxtest::WriteArgvRecorder(dir, name);
}
} // namespace

TEST(SplitCommandLine, ArgumentsAsAWindowsProgramReadsThem)
{
    using Args = std::vector<std::u16string>;
    const struct
    {
        const char16_t *line;
        Args expected;
    } cases[] = {
        {u"", Args{}},
        {u"   \t ", Args{}},
        {u"xdg-open", Args{u"xdg-open"}},
        {u"  /usr/bin/firefox   --new-window  ", Args{u"/usr/bin/firefox", u"--new-window"}},
        {u"\"/opt/My Browser/run\" -url ", Args{u"/opt/My Browser/run", u"-url"}},
        {u"C:\\Browser\\browser.exe -url", Args{u"C:\\Browser\\browser.exe", u"-url"}},
        {u"\"C:\\dir\\\" next", Args{u"C:\\dir\\", u"next"}},
        {u"p \"a b\"c d", Args{u"p", u"a bc", u"d"}},
        {u"p \"\" x", Args{u"p", u"", u"x"}},
        {u"p a\\\"b", Args{u"p", u"a\"b"}},
        {u"p a\\\\\"b c\"", Args{u"p", u"a\\b c"}},
        {u"p a\\\\b c\\", Args{u"p", u"a\\\\b", u"c\\"}},
        {u"p \"unclosed arg", Args{u"p", u"unclosed arg"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.expected) << vxsys::Utf16ToUtf8(c.line);
}

TEST(SpawnDetached, TheProgramGetsExactlyItsArguments)
{
    const std::string dir = vxtest::MakeTempDir("spawn");
    const std::string marker = dir + "/ran";
    const std::string script = ArgvRecorder(dir, "fake browser");
    const std::u16string tricky = vxsys::Utf8ToUtf16("a b; touch " + marker + " $(touch " + marker +
                                                     ") `touch " + marker + "` \"q\" 'x' * \xE6\xAD\xA5");
    const pid_t pid = vxsys::SpawnDetached({vxsys::Utf8ToUtf16(script), u"", u"--flag", tricky});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForFile(dir + "/args"));
    EXPECT_EQ(ReadWholeFile(dir + "/args"), "[]\n[--flag]\n[" + vxsys::Utf16ToUtf8(tricky) + "]\n");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(SpawnDetached, TheChildIsReapedWithoutBeingWaitedFor)
{
    const std::string dir = vxtest::MakeTempDir("reap");
    const pid_t pid = vxsys::SpawnDetached({vxsys::Utf8ToUtf16(ArgvRecorder(dir))});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForFile(dir + "/args"));
    // A zombie still answers kill(pid, 0); a reaped child is gone.
    bool gone = false;
    for (int round = 0; round < 3000 && !gone; ++round)
    {
        gone = kill(pid, 0) != 0 && errno == ESRCH;
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
}

TEST(SpawnDetached, TheChildRunsApartWithNoneOfOurDescriptors)
{
    const std::string dir = vxtest::MakeTempDir("apart");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0); // without close-on-exec: it would be inherited by default
    const std::string script = dir + "/probe";
    WriteScript(script, "out='" + dir +
                            "/args'\n"
                            "{ readlink /proc/$$/fd/0\n"
                            "  [ -e /proc/$$/fd/" +
                            std::to_string(fds[1]) +
                            " ] && echo inherited || echo closed\n"
                            "  cut -d' ' -f6 /proc/$$/stat\n"
                            "  echo $$\n"
                            "  pwd\n"
                            "  echo \"$VX_SPAWN_PROBE\"; } > \"$out.tmp\"\n"
                            "mv \"$out.tmp\" \"$out\"\n");
    setenv("VX_SPAWN_PROBE", "from the caller", 1);
    const pid_t pid = vxsys::SpawnDetached({vxsys::Utf8ToUtf16(script)});
    unsetenv("VX_SPAWN_PROBE");
    close(fds[0]);
    close(fds[1]);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForFile(dir + "/args"));
    std::istringstream lines(ReadWholeFile(dir + "/args"));
    std::string input, descriptor, session, self, folder, env;
    std::getline(lines, input);
    std::getline(lines, descriptor);
    std::getline(lines, session);
    std::getline(lines, self);
    std::getline(lines, folder);
    std::getline(lines, env);
    EXPECT_EQ(input, "/dev/null");
    EXPECT_EQ(descriptor, "closed");
    EXPECT_EQ(session, self) << "the child leads a session of its own";
    EXPECT_EQ(self, std::to_string(pid));
    EXPECT_EQ(folder, std::filesystem::current_path().string());
    EXPECT_EQ(env, "from the caller");
}

TEST(SpawnDetached, WhatCannotStartIsAFailure)
{
    const std::string dir = vxtest::MakeTempDir("nostart");
    const std::string notExecutable = dir + "/plain";
    std::ofstream(notExecutable) << "data";
    EXPECT_EQ(vxsys::SpawnDetached({}), -1);
    EXPECT_EQ(vxsys::SpawnDetached({u""}), -1);
    EXPECT_EQ(vxsys::SpawnDetached({u"vx-no-such-program-anywhere"}), -1);
    EXPECT_EQ(vxsys::SpawnDetached({vxsys::Utf8ToUtf16(dir + "/missing")}), -1);
    EXPECT_EQ(vxsys::SpawnDetached({vxsys::Utf8ToUtf16(notExecutable)}), -1);
    EXPECT_EQ(vxsys::SpawnDetached({vxsys::Utf8ToUtf16(ArgvRecorder(dir)), std::u16string(u"a\0b", 3)}), -1)
        << "an argument that cannot pass whole";
    EXPECT_FALSE(std::filesystem::exists(dir + "/args"));
}

TEST(FindProgram, ANameIsLookedUpOnPathAndAPathIsTakenAsItStands)
{
    const std::string dir = vxtest::MakeTempDir("find");
    const std::string bin = dir + "/bin dir";
    std::filesystem::create_directory(bin);
    WriteScript(bin + "/mailer", "exit 0\n");
    std::ofstream(bin + "/plain") << "#!/bin/sh\n";
    std::filesystem::create_directory(bin + "/folder");
    // Only the folder the current folder is: an empty PATH entry must not reach it.
    WriteScript(dir + "/here", "exit 0\n");
    const vxtest::ScopedEnv path("PATH", ("/nonexistent::" + bin).c_str());
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const struct
    {
        const char *program;
        std::string expected;
    } cases[] = {
        {"mailer", bin + "/mailer"},
        {"plain", ""},
        {"folder", ""},
        {"here", ""},
        {"missing", ""},
        {"", ""},
        {"./here", "./here"},
        {"./plain", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxsys::FindProgram(c.program), c.expected) << c.program;
    EXPECT_EQ(vxsys::FindProgram(bin + "/mailer"), bin + "/mailer");
    std::filesystem::current_path(cwd);
}

TEST(RunAndWait, TheProgramGetsItsBytesAsTheyStandAndItsExitCodeComesBack)
{
    const std::string dir = vxtest::MakeTempDir("run");
    const std::string script = dir + "/prog";
    WriteScript(script, "for a in \"$@\"; do printf '%s|' \"$a\"; done > '" + dir + "/args'\nexit \"$1\"\n");
    // Not UTF-8 and not any code page's text: the bytes go over unchanged.
    EXPECT_EQ(vxsys::RunAndWait({script, "7", "-a b", "\xFF\xFE\n", "$HOME"}), 7);
    EXPECT_EQ(ReadWholeFile(dir + "/args"), "7|-a b|\xFF\xFE\n|$HOME|");
    EXPECT_EQ(vxsys::RunAndWait({script, "0"}), 0);
}

TEST(RunAndWait, WhatCannotStartOrDoesNotExitByItselfIsMinusOne)
{
    const std::string dir = vxtest::MakeTempDir("run");
    WriteScript(dir + "/killed", "kill -9 $$\n");
    WriteScript(dir + "/ok", "exit 0\n");
    std::ofstream(dir + "/plain") << "#!/bin/sh\n";
    const struct
    {
        const char *name;
        std::vector<std::string> argv;
    } cases[] = {
        {"killed", {dir + "/killed"}},
        {"empty argv", {}},
        {"empty program", {""}},
        {"zero byte", {dir + "/ok", std::string("a\0b", 3)}},
        {"missing", {dir + "/missing"}},
        {"not executable", {dir + "/plain"}},
        {"a name, not a path", {"ok"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxsys::RunAndWait(c.argv), -1) << c.name;
}
