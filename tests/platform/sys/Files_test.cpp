#include "platform/sys/Files.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
std::string Contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(Files, AnExistingFileIsReadAndWrittenInPlace)
{
    const std::string path = vxtest::MakeTempDir() + "/FR.DAT";
    EXPECT_EQ(vxsys::OpenFile(path, vxsys::FileAccess::ReadWrite), vxsys::kNoFile) << "never created";
    EXPECT_FALSE(std::filesystem::exists(path));
    std::ofstream(path, std::ios::binary) << "abcdef";

    const vxsys::FileHandle file = vxsys::OpenFile(path, vxsys::FileAccess::ReadWrite);
    ASSERT_NE(file, vxsys::kNoFile);
    EXPECT_EQ(vxsys::RegularFileLength(file), 6u);
    std::array<char, 4> buf{};
    EXPECT_EQ(vxsys::ReadFileAt(file, buf.data(), 4, 2), 4);
    EXPECT_EQ(std::string(buf.data(), 4), "cdef");
    EXPECT_EQ(vxsys::ReadFileAt(file, buf.data(), 4, 6), 0) << "the end of the file";
    EXPECT_EQ(vxsys::WriteFileAt(file, "XY", 2, 1), 2);
    EXPECT_EQ(vxsys::FlushFile(file), 0);
    EXPECT_TRUE(vxsys::CloseFile(file));
    EXPECT_EQ(Contents(path), "aXYdef") << "written over, not truncated";
}

TEST(Files, CreatingEmptiesTheFile)
{
    const std::string path = vxtest::MakeTempDir() + "/copy.dat";
    std::ofstream(path) << "old contents";
    const vxsys::FileHandle file = vxsys::OpenFile(path, vxsys::FileAccess::CreateForWriting);
    ASSERT_NE(file, vxsys::kNoFile);
    EXPECT_EQ(vxsys::RegularFileLength(file), 0u);
    EXPECT_EQ(vxsys::WriteFileAt(file, "new", 3, 0), 3);
    EXPECT_TRUE(vxsys::CloseFile(file));
    EXPECT_EQ(Contents(path), "new");

    const std::string fresh = path + ".2";
    const vxsys::FileHandle created = vxsys::OpenFile(fresh, vxsys::FileAccess::CreateForWriting);
    ASSERT_NE(created, vxsys::kNoFile);
    EXPECT_TRUE(vxsys::CloseFile(created));
    const auto perms = std::filesystem::status(fresh).permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
}

TEST(Files, FoldersAndMissingFilesAreNoRegularFiles)
{
    const std::string dir = vxtest::MakeTempDir();
    const std::string path = dir + "/FR.DAT";
    EXPECT_FALSE(vxsys::IsRegularFile(path));
    EXPECT_FALSE(vxsys::IsRegularFile(dir));
    EXPECT_FALSE(vxsys::IsRegularFile(""));
    std::ofstream(path) << "x";
    EXPECT_TRUE(vxsys::IsRegularFile(path));

    const vxsys::FileHandle folder = vxsys::OpenFile(dir, vxsys::FileAccess::ReadWrite);
    EXPECT_EQ(folder, vxsys::kNoFile) << "a folder cannot be opened for writing";
    EXPECT_EQ(vxsys::RegularFileLength(vxsys::kNoFile), std::nullopt);
    EXPECT_EQ(vxsys::OpenFile("", vxsys::FileAccess::CreateForWriting), vxsys::kNoFile);
    EXPECT_TRUE(vxsys::CloseFile(vxsys::kNoFile));

    errno = 0;
    EXPECT_EQ(vxsys::ReadFileAt(vxsys::kNoFile, nullptr, 0, 0), -1);
    EXPECT_EQ(errno, EBADF) << "the reason is kept for the caller";
    EXPECT_EQ(vxsys::FlushFile(vxsys::kNoFile), -1);
}

TEST(Files, DeletingRemovesTheNameOnce)
{
    const std::string path = vxtest::MakeTempDir() + "/FR.DAT";
    std::ofstream(path) << "x";
    EXPECT_TRUE(vxsys::DeleteFile(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(vxsys::DeleteFile(path));
    EXPECT_FALSE(vxsys::DeleteFile(""));
}

// Dropping the cached pages changes nothing a read sees; a handle that is no file is refused with
// the reason in errno, since a caller takes the drop to mean its next read reaches the device.
TEST(Files, CachedPagesOfAFlushedFileCanBeDropped)
{
    const std::string path = vxtest::MakeTempDir() + "/FR.DAT";
    std::ofstream(path, std::ios::binary) << "abcdef";
    const vxsys::FileHandle file = vxsys::OpenFile(path, vxsys::FileAccess::ReadWrite);
    ASSERT_NE(file, vxsys::kNoFile);
    EXPECT_EQ(vxsys::WriteFileAt(file, "XY", 2, 0), 2);
    EXPECT_EQ(vxsys::FlushFile(file), 0);
    EXPECT_EQ(vxsys::DropCachedPages(file), 0);
    std::array<char, 6> buf{};
    EXPECT_EQ(vxsys::ReadFileAt(file, buf.data(), buf.size(), 0), 6);
    EXPECT_EQ(std::string(buf.data(), buf.size()), "XYcdef");
    EXPECT_TRUE(vxsys::CloseFile(file));

    errno = 0;
    EXPECT_EQ(vxsys::DropCachedPages(vxsys::kNoFile), -1);
    EXPECT_EQ(errno, EBADF);
}
