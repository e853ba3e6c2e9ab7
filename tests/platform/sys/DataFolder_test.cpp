#include "platform/sys/DataFolder.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace
{
using vxtest::ScopedEnv;

unsigned Mode(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return 0xFFFF;
    return st.st_mode & 07777;
}
} // namespace

TEST(DataFolder, XdgDataHomeThenHome)
{
    ScopedEnv home("HOME", "/home/someone/");
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/data/here");
        EXPECT_EQ(u"/data/here", vxsys::AppDataFolder());
    }
    for (const char *ignored : {static_cast<const char *>(nullptr), "", "not/absolute"})
    {
        ScopedEnv xdg("XDG_DATA_HOME", ignored);
        EXPECT_EQ(u"/home/someone/.local/share", vxsys::AppDataFolder());
    }
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    ScopedEnv noHome("HOME", "");
    EXPECT_EQ(u"", vxsys::AppDataFolder());
}

TEST(DataFolder, CreateFolderTreeMakesEveryMissingLevelPrivate)
{
    const std::string base = vxtest::MakeTempDir("tree");
    ::chmod(base.c_str(), 0755);
    EXPECT_TRUE(vxsys::CreateFolderTree(vxsys::Utf8ToUtf16(base + "/a/b/c"), 0700));
    EXPECT_EQ(0755u, Mode(base)); // an existing level is left as it is
    EXPECT_EQ(0700u, Mode(base + "/a"));
    EXPECT_EQ(0700u, Mode(base + "/a/b"));
    EXPECT_EQ(0700u, Mode(base + "/a/b/c"));
    EXPECT_TRUE(vxsys::CreateFolderTree(vxsys::Utf8ToUtf16(base + "/a/b/c"), 0700));

    std::ofstream(base + "/file") << "x";
    EXPECT_FALSE(vxsys::CreateFolderTree(vxsys::Utf8ToUtf16(base + "/file/sub"), 0700));
    EXPECT_FALSE(vxsys::CreateFolderTree(vxsys::Utf8ToUtf16(base + "/file"), 0700));
    EXPECT_FALSE(vxsys::CreateFolderTree(u"", 0700));
}

TEST(DataFolder, EnsurePrivateFileKeepsTheContent)
{
    const std::string base = vxtest::MakeTempDir("file");
    const std::string path = base + "/f.dat";
    EXPECT_TRUE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(path), 0600));
    EXPECT_EQ(0600u, Mode(path));

    std::ofstream(path) << "content";
    ::chmod(path.c_str(), 0644);
    EXPECT_TRUE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(path), 0600));
    EXPECT_EQ(0600u, Mode(path));
    std::ifstream in(path);
    std::string text;
    in >> text;
    EXPECT_EQ("content", text);

    EXPECT_FALSE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(base), 0600)); // a folder
    EXPECT_FALSE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(base + "/missing/f"), 0600));
}

TEST(DataFolder, ExistingFolderLosesWhatTheModeDoesNotGrant)
{
    struct Case
    {
        unsigned before;
        unsigned after;
    };
    // Taking away only: a folder that grants less than the mode keeps what it has.
    const Case cases[] = {{0755, 0700}, {0777, 0700}, {0750, 0700}, {02755, 0700}, {0700, 0700}, {0500, 0500}};
    for (const Case &c : cases)
    {
        const std::string base = vxtest::MakeTempDir("narrow");
        ::chmod(base.c_str(), 0755);
        const std::string folder = base + "/data";
        ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
        ASSERT_EQ(0, ::chmod(folder.c_str(), c.before));
        EXPECT_TRUE(vxsys::CreateFolderTree(vxsys::Utf8ToUtf16(folder), 0700)) << std::oct << c.before;
        EXPECT_EQ(c.after, Mode(folder)) << std::oct << c.before;
        EXPECT_EQ(0755u, Mode(base)) << "a parent is left as it is";
        ::chmod(folder.c_str(), 0700);
    }
}

TEST(DataFolder, EnsurePrivateFileRefusesWhatIsNotAPlainFile)
{
    const std::string base = vxtest::MakeTempDir("notplain");
    const std::string target = base + "/target";
    std::ofstream(target) << "secret";
    ::chmod(target.c_str(), 0644);

    const std::string link = base + "/link";
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
    EXPECT_FALSE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(link), 0600));
    EXPECT_EQ(0644u, Mode(target)) << "the link's target keeps its mode";

    const std::string dangling = base + "/dangling";
    ASSERT_EQ(0, ::symlink((base + "/nowhere").c_str(), dangling.c_str()));
    EXPECT_FALSE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(dangling), 0600));
    EXPECT_EQ(0xFFFFu, Mode(base + "/nowhere")) << "no file is made at the link's target";

    // Refused at once: no writer is waited for.
    const std::string fifo = base + "/fifo";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    EXPECT_FALSE(vxsys::EnsurePrivateFile(vxsys::Utf8ToUtf16(fifo), 0600));
}
