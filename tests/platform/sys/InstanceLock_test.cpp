#include "platform/sys/InstanceLock.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
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

    // Another user's folder in its place: refused (only root can plant one to try it).
    if (::geteuid() == 0)
    {
        ASSERT_EQ(::chown(own.c_str(), 4321, 4321), 0);
        EXPECT_EQ(vxsys::InstanceFolder(), "");
        EXPECT_EQ(vxsys::AcquireInstanceLock(u"x"), InstanceLockResult::Failed);
        ASSERT_EQ(::chown(own.c_str(), 0, 0), 0);
    }

    // A link planted in its place, or a plain file: refused, and the lock fails.
    std::filesystem::remove_all(own);
    std::filesystem::create_directory(tmp + "/elsewhere");
    std::filesystem::create_directory_symlink(tmp + "/elsewhere", own);
    EXPECT_EQ(vxsys::InstanceFolder(), "");
    EXPECT_EQ(vxsys::AcquireInstanceLock(u"x"), InstanceLockResult::Failed);
    std::filesystem::remove(own);
    std::ofstream(own) << "file";
    EXPECT_EQ(vxsys::InstanceFolder(), "");
    EXPECT_EQ(vxsys::InstanceSocketPath(u"x"), "");
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
