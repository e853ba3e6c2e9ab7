#include "platform/sys/VersionInfo.h"

#include "platform/sys/Module.h"
#include "platform/sys/TextConvert.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace vxsys;

namespace
{
constexpr VersionString kEnglish[] = {{u"ProductName", u"Test Product"}, {u"ProductVersion", u"2.3.4"}};
constexpr VersionString kGerman[] = {{u"ProductName", u"Testprodukt"}, {u"Empty", u""}};
constexpr VersionStringTable kTables[] = {{0x0409, 1200, kEnglish}, {0x0407, 1252, kGerman}};
constexpr VersionTranslation kTranslations[] = {{0x0407, 1252}, {0x0409, 1200}};
constexpr VersionBlockSpec kSpec{MakeFixedFileInfo(2, 3, 4, 5, VFT_APP), kTables, kTranslations};

// This test program carries a block of its own, so the file reader has something to find.
[[gnu::used, gnu::section(VX_VERSION_BLOCK_SECTION)]] constexpr VersionBlockBytes kOwnBlock =
    BuildVersionBlock(kSpec);

std::size_t BlockSize(const VersionBlockBytes &block)
{
    return block[0] | (block[1] << 8);
}

// The block in a heap buffer of exactly its size, so any read past it is caught.
std::vector<unsigned char> Exact(const VersionBlockBytes &block)
{
    return std::vector<unsigned char>(block.begin(), block.begin() + static_cast<long>(BlockSize(block)));
}

std::u16string Text(const std::vector<unsigned char> &block, const char16_t *path)
{
    void *value = nullptr;
    std::uint32_t length = 0;
    if (!VerQueryValueW(block.data(), path, &value, &length))
        return u"<missing>";
    std::u16string text(length, u'\0');
    std::memcpy(text.data(), value, length * 2);
    return text.substr(0, text.find(u'\0'));
}

std::u16string OwnPath()
{
    return Utf8ToUtf16(std::filesystem::read_symlink("/proc/self/exe").string());
}
} // namespace

TEST(VersionBlock, FixedInfoTranslationsAndStringsAreFound)
{
    const std::vector<unsigned char> block = Exact(kOwnBlock);
    void *value = nullptr;
    std::uint32_t length = 0;

    ASSERT_EQ(VerQueryValueW(block.data(), u"\\", &value, &length), 1);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00020003u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00040005u);
    EXPECT_EQ(fixed.dwFileType, VFT_APP);

    ASSERT_EQ(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length), 1);
    ASSERT_EQ(length, 8u);
    std::uint16_t pairs[4];
    std::memcpy(pairs, value, sizeof pairs);
    EXPECT_EQ(pairs[0], 0x0407);
    EXPECT_EQ(pairs[1], 1252);
    EXPECT_EQ(pairs[2], 0x0409);
    EXPECT_EQ(pairs[3], 1200);

    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904b0\\ProductName"), u"Test Product");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\productversion"), u"2.3.4");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040704e4\\ProductName"), u"Testprodukt");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040704e4\\Empty"), u"");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040704e4\\ProductVersion"), u"<missing>");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\000004e4\\ProductName"), u"<missing>");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904b0\\ProductName\\deeper"), u"<missing>");

    EXPECT_EQ(VerQueryValueW(nullptr, u"\\", &value, &length), 0);
    EXPECT_EQ(VerQueryValueW(block.data(), nullptr, &value, &length), 0);
    EXPECT_EQ(VerQueryValueW(block.data(), u"\\", nullptr, &length), 0);
}

TEST(VersionBlock, ABlockWithoutTranslationsHasNoVarFileInfo)
{
    static constexpr VersionString strings[] = {{u"ProductName", u"Plain"}};
    static constexpr VersionStringTable tables[] = {{0, 1252, strings}};
    const std::vector<unsigned char> block =
        Exact(BuildVersionBlock({MakeFixedFileInfo(1, 0, 0, 0, VFT_DLL), tables, {}}));
    void *value = nullptr;
    std::uint32_t length = 0;
    EXPECT_EQ(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length), 0);
    EXPECT_EQ(VerQueryValueW(block.data(), u"\\VarFileInfo", &value, &length), 0);
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\000004e4\\ProductName"), u"Plain");
}

TEST(VersionBlock, DamagedLengthsAreNotFollowed)
{
    // Where each node starts, found through the reader itself.
    const std::vector<unsigned char> good = Exact(kOwnBlock);
    void *value = nullptr;
    std::uint32_t length = 0;
    ASSERT_EQ(VerQueryValueW(good.data(), u"\\StringFileInfo\\040904b0\\ProductName", &value, &length), 1);
    const std::size_t textValue = static_cast<std::size_t>(static_cast<unsigned char *>(value) - good.data());

    struct Damage
    {
        const char *what;
        std::size_t at;
        std::uint16_t value;
    };
    // The ProductName node starts 6 + 2 * 12 ("ProductName" and its zero) + 2 (padding) before its text.
    const std::size_t nameNode = textValue - 32;
    std::u16string key(11, u'\0');
    std::memcpy(key.data(), good.data() + nameNode + 6, 22);
    ASSERT_EQ(key, u"ProductName");
    ASSERT_EQ(good[nameNode - 24 + 6], '0'); // the table key "040904b0"
    const Damage damages[] = {
        {"node longer than its table", nameNode, 0x7FFF},
        {"node shorter than its header", nameNode, 3},
        {"text value longer than its node", nameNode + 2, 500},
        {"table longer than its parent", nameNode - 24, 0x7FFF}, // "040904b0" takes 6 + 18 bytes
    };
    for (const Damage &d : damages)
    {
        std::vector<unsigned char> block = good;
        block[d.at] = static_cast<unsigned char>(d.value & 0xFF);
        block[d.at + 1] = static_cast<unsigned char>(d.value >> 8);
        EXPECT_EQ(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\ProductName", &value, &length),
                  0)
            << d.what;
    }
}

TEST(VersionBlock, ALargeSpecDoesNotFitTheBlock)
{
    std::vector<VersionString> many(200, VersionString{u"SomeRatherLongName", u"and a rather long text too"});
    const VersionStringTable tables[] = {{0x0409, 1200, many}};
    EXPECT_THROW(BuildVersionBlock({MakeFixedFileInfo(1, 0, 0, 0, VFT_APP), tables, {}}), std::length_error);
}

TEST(VersionFile, TheBlockIsReadFromTheModuleFile)
{
    const std::u16string own = OwnPath();
    std::uint32_t handle = 7;
    const std::uint32_t size = GetFileVersionInfoSizeW(own.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    ASSERT_EQ(size, BlockSize(kOwnBlock));

    std::vector<unsigned char> block(size);
    ASSERT_EQ(GetFileVersionInfoW(own.c_str(), 0, size, block.data()), 1);
    EXPECT_EQ(block, Exact(kOwnBlock));
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904b0\\ProductName"), u"Test Product");

    std::vector<unsigned char> small(size - 1, 0xEE);
    EXPECT_EQ(GetFileVersionInfoW(own.c_str(), 0, size - 1, small.data()), 0);
    EXPECT_EQ(GetFileVersionInfoW(own.c_str(), 0, size, nullptr), 0);
}

TEST(VersionFile, FilesWithoutABlockGiveNothing)
{
    const std::string dir = vxtest::MakeTempDir("verfile");
    std::ofstream(dir + "/text") << "not an executable at all";
    {
        // The start of our own file: an ELF header whose section table is cut off.
        std::ifstream in(std::filesystem::read_symlink("/proc/self/exe"), std::ios::binary);
        std::vector<char> head(4096);
        in.read(head.data(), static_cast<long>(head.size()));
        std::ofstream(dir + "/truncated", std::ios::binary)
            .write(head.data(), static_cast<long>(head.size()));
    }
    std::vector<std::u16string> files = {Utf8ToUtf16(dir + "/text"), Utf8ToUtf16(dir + "/truncated"),
                                         Utf8ToUtf16(dir + "/missing"), Utf8ToUtf16(dir), u""};
    char16_t libc[4096];
    ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(u"libc.so.6"), libc, 4096), 0u);
    files.push_back(libc); // a loaded module without a block
    for (const std::u16string &file : files)
    {
        std::uint32_t handle = 0;
        EXPECT_EQ(GetFileVersionInfoSizeW(file.c_str(), &handle), 0u) << Utf16ToUtf8(file);
        unsigned char buf[64];
        EXPECT_EQ(GetFileVersionInfoW(file.c_str(), 0, sizeof buf, buf), 0) << Utf16ToUtf8(file);
    }
    EXPECT_EQ(GetFileVersionInfoSizeW(nullptr, nullptr), 0u);
}
