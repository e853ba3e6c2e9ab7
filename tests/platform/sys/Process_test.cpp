#include "platform/sys/Process.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
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
