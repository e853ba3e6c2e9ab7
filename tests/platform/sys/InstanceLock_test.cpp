#include "platform/sys/InstanceLock.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <grp.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
using vxsys::InstanceLockResult;

// Runs in a child that takes the lock, tells the parent through the pipe, and waits to be
// killed: it never releases the lock itself.
pid_t StartHolder(const std::u16string &name)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::close(fds[0]);
        const char taken = vxsys::AcquireInstanceLock(name) == InstanceLockResult::First ? '1' : '0';
        (void)!::write(fds[1], &taken, 1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    char taken = 0;
    const bool ok = ::read(fds[0], &taken, 1) == 1 && taken == '1';
    ::close(fds[0]);
    if (!ok && pid > 0)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}
} // namespace

TEST(InstanceLock, ANameIsHeldByOneProcessAndFreedWhenItDies)
{
    vxtest::ScopedEnv runtime("XDG_RUNTIME_DIR", vxtest::MakeTempDir("lock").c_str());
    const std::u16string name = u"TX 7305 Vormatik is running now";
    const std::string socket = vxsys::InstanceSocketPath(name);
    EXPECT_EQ(std::filesystem::path(socket).filename(), "TX_7305_Vormatik_is_running_now.socket");

    const pid_t holder = StartHolder(name);
    ASSERT_GT(holder, 0);
    EXPECT_EQ(vxsys::AcquireInstanceLock(name), InstanceLockResult::Another);
    EXPECT_FALSE(vxsys::HoldsInstanceLock(name));

    // A crash: the holder is killed without a chance to clean up, its socket file stays.
    std::ofstream(socket) << "stale";
    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);

    EXPECT_EQ(vxsys::AcquireInstanceLock(name), InstanceLockResult::First);
    EXPECT_TRUE(vxsys::HoldsInstanceLock(name));
    EXPECT_FALSE(std::filesystem::exists(socket));
    // A second take inside the same process is another instance, as a second mutex would be.
    EXPECT_EQ(vxsys::AcquireInstanceLock(name), InstanceLockResult::Another);
}

TEST(InstanceLock, HostileNamesStayInsideTheFolder)
{
    const std::string dir = vxtest::MakeTempDir("names");
    vxtest::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.c_str());
    const std::u16string names[] = {u"../../etc/x", std::u16string(u"a\0b", 3), u"\xD800 lone", u"",
                                    u".hidden"};
    for (const std::u16string &name : names)
    {
        const std::filesystem::path lock = vxsys::InstanceLockPath(name);
        EXPECT_EQ(lock.parent_path(), dir);
        EXPECT_NE(lock.filename().string()[0], '.');
        EXPECT_EQ(vxsys::AcquireInstanceLock(name), InstanceLockResult::First);
        EXPECT_TRUE(std::filesystem::exists(lock));
    }
}

TEST(InstanceLock, WithoutARuntimeFolderAPrivateFolderOfTheUsersOwnIsUsed)
{
    const std::string tmp = vxtest::MakeTempDir("tmp");
    vxtest::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    vxtest::ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    const std::string own = tmp + "/vormatik-" + std::to_string(::geteuid());

    EXPECT_EQ(vxsys::InstanceFolder(), own);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Opened to others: narrowed again.
    ASSERT_EQ(::chmod(own.c_str(), 0777), 0);
    EXPECT_EQ(vxsys::InstanceFolder(), own);
    ASSERT_EQ(::stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Another user's folder in its place (only root can plant one here; a child dropped to another
    // user tries the same below), a link to elsewhere, or a plain file: refused, and the user's own
    // folder below the state folder takes its place.
    const std::string home = vxtest::MakeTempDir("home");
    vxtest::ScopedEnv state("XDG_STATE_HOME", (home + "/state").c_str());
    const std::string fallback = home + "/state/Vormatik/instance";
    if (::geteuid() == 0)
    {
        ASSERT_EQ(::chown(own.c_str(), 4321, 4321), 0);
        EXPECT_EQ(vxsys::InstanceFolder(), fallback);
        EXPECT_EQ(vxsys::AcquireInstanceLock(u"x"), InstanceLockResult::First);
        ASSERT_EQ(::chown(own.c_str(), 0, 0), 0);
    }
    std::filesystem::remove_all(own);
    std::filesystem::create_directory(tmp + "/elsewhere");
    std::filesystem::create_directory_symlink(tmp + "/elsewhere", own);
    EXPECT_EQ(vxsys::InstanceFolder(), fallback);
    EXPECT_EQ(vxsys::AcquireInstanceLock(u"y"), InstanceLockResult::First);
    EXPECT_TRUE(std::filesystem::is_empty(tmp + "/elsewhere"));
    std::filesystem::remove(own);
    std::ofstream(own) << "file";
    EXPECT_EQ(vxsys::InstanceFolder(), fallback);
    EXPECT_EQ(vxsys::InstanceSocketPath(u"x"), fallback + "/x.socket");
    ASSERT_EQ(::stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((home + "/state").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// A runtime folder is taken as it is handed over only when it is the user's alone; a folder that
// others can write into (a lock file planted there by another user), or one of another user, gives
// way to the user's own fallback folders, and is itself left unchanged.
TEST(InstanceLock, ARuntimeFolderThatIsNotTheUsersAloneIsPassedOver)
{
    const std::u16string name = u"TX 7305 Vormatik is running now";
    const std::string tmp = vxtest::MakeTempDir("tmp");
    vxtest::ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    const std::string own = tmp + "/vormatik-" + std::to_string(::geteuid());

    const struct
    {
        const char *what;
        mode_t mode;
        bool foreignOwner; // root only: chown to another user
    } cases[] = {
        {"a shared folder, sticky and open to all", 01777, false},
        {"open to others for reading", 0755, false},
        {"another user's", 0700, true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        if (c.foreignOwner && ::geteuid() != 0)
            continue; // only root can hand this process a folder of another user
        const std::string runtime = vxtest::MakeTempDir("run");
        ASSERT_EQ(::chmod(runtime.c_str(), c.mode), 0);
        // Another user was there first: the lock file is a link to a file of the user's.
        const std::string victim = vxtest::MakeTempDir("victim") + "/precious";
        std::ofstream(victim) << "keep";
        std::filesystem::create_symlink(victim, runtime + "/TX_7305_Vormatik_is_running_now.lock");
        if (c.foreignOwner)
        {
            ASSERT_EQ(::chown(runtime.c_str(), 4321, 4321), 0);
        }
        vxtest::ScopedEnv env("XDG_RUNTIME_DIR", runtime.c_str());

        EXPECT_EQ(vxsys::InstanceFolder(), own);
        EXPECT_EQ(vxsys::InstanceSocketPath(name), own + "/TX_7305_Vormatik_is_running_now.socket");
        struct stat st
        {
        };
        ASSERT_EQ(::lstat(runtime.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(vxtest::ReadFile(victim), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
        std::filesystem::remove_all(own);
    }
    // A relative value means nothing and is passed over too.
    vxtest::ScopedEnv relative("XDG_RUNTIME_DIR", "run");
    EXPECT_EQ(vxsys::InstanceFolder(), own);
    EXPECT_EQ(vxsys::AcquireInstanceLock(name), InstanceLockResult::First);
}

// The attack as it happens: another user (here root, before the program's user) made the folder
// the program would use below the temporary folder. The program, run as that other user in a child,
// still starts, and a second start of its own still finds the first.
TEST(InstanceLock, AFolderMadeFirstByAnotherUserDoesNotStopTheStart)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play both users";
    constexpr uid_t kUser = 65534;
    // Below a folder the other user can reach (the test root is closed to others).
    std::string base = "/tmp/vormatik-squat-XXXXXX";
    ASSERT_NE(::mkdtemp(base.data()), nullptr);
    ASSERT_EQ(::chmod(base.c_str(), 0755), 0);
    const std::string tmp = base + "/tmp";
    const std::string home = base + "/home";
    ASSERT_EQ(::mkdir(tmp.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(tmp.c_str(), 01777), 0);
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(::chown(home.c_str(), kUser, kUser), 0);
    const std::string squatted = tmp + "/vormatik-" + std::to_string(kUser);
    ASSERT_EQ(::mkdir(squatted.c_str(), 0700), 0); // root's, made first

    // Each child: drop to the user, take the lock, report the result and the folder, then wait
    // (the first keeps its lock while the second tries).
    const auto start = [&](int fds[2]) {
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            ::close(fds[0]);
            ::unsetenv("XDG_RUNTIME_DIR");
            ::unsetenv("XDG_STATE_HOME");
            ::unsetenv("XDG_CACHE_HOME");
            ::setenv("TMPDIR", tmp.c_str(), 1);
            ::setenv("HOME", home.c_str(), 1);
            if (::setgroups(0, nullptr) != 0 || ::setgid(kUser) != 0 || ::setuid(kUser) != 0)
                ::_exit(3);
            const std::string report = std::to_string(static_cast<int>(
                                           vxsys::AcquireInstanceLock(u"TX 7305 Vormatik is running now"))) +
                                       vxsys::InstanceFolder();
            (void)!::write(fds[1], report.data(), report.size());
            ::close(fds[1]);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        std::string report;
        char buffer[512];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            report.append(buffer, static_cast<std::size_t>(n));
        ::close(fds[0]);
        return std::make_pair(pid, report);
    };
    int first[2];
    int second[2];
    ASSERT_EQ(::pipe(first), 0);
    const auto [firstPid, firstReport] = start(first);
    ASSERT_EQ(::pipe(second), 0);
    const auto [secondPid, secondReport] = start(second);
    for (const pid_t pid : {firstPid, secondPid})
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    const std::string fallback = home + "/.local/state/Vormatik/instance";
    EXPECT_EQ(firstReport, "0" + fallback);
    EXPECT_EQ(secondReport, "1" + fallback);
    std::filesystem::remove_all(base);
}

// Nowhere to go at all: then, and only then, the lock fails.
TEST(InstanceLock, WithNoUsableFolderAnywhereTheLockFails)
{
    const std::string dir = vxtest::MakeTempDir("none");
    const std::string file = dir + "/file";
    std::ofstream(file) << "not a folder";
    vxtest::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    vxtest::ScopedEnv tmpdir("TMPDIR", file.c_str());
    vxtest::ScopedEnv state("XDG_STATE_HOME", (file + "/state").c_str());
    vxtest::ScopedEnv cache("XDG_CACHE_HOME", (file + "/cache").c_str());
    EXPECT_EQ(vxsys::InstanceFolder(), "");
    EXPECT_EQ(vxsys::InstanceLockPath(u"x"), "");
    EXPECT_EQ(vxsys::AcquireInstanceLock(u"x"), InstanceLockResult::Failed);
}

TEST(InstanceLock, ATakenLockIsSeenWithoutTakingItOrMakingItsFile)
{
    vxtest::ScopedEnv runtime("XDG_RUNTIME_DIR", vxtest::MakeTempDir("probe").c_str());
    const std::u16string name = u"TX Conduit";
    const std::string path = vxsys::InstanceLockPath(name);
    EXPECT_FALSE(vxsys::IsInstanceLockTaken(name));
    EXPECT_FALSE(std::filesystem::exists(path)); // asking made no file

    const pid_t holder = StartHolder(name);
    ASSERT_GT(holder, 0);
    EXPECT_TRUE(vxsys::IsInstanceLockTaken(name));
    EXPECT_TRUE(vxsys::IsInstanceLockTaken(name)); // asking took nothing away
    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);

    // The file the dead holder left is no sign of a running program.
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(vxsys::IsInstanceLockTaken(name));
    // Nor did asking take it: this process can still become the holder.
    EXPECT_EQ(vxsys::AcquireInstanceLock(name), InstanceLockResult::First);
    EXPECT_TRUE(vxsys::IsInstanceLockTaken(name));
}
