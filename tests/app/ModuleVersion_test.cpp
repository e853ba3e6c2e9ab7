#include "app/ModuleVersion.h"

#include "platform/sys/Module.h"
#include "platform/sys/TextConvert.h"
#include "tests/support/version_modules/VersionModules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

using vxsys::Utf8ToUtf16;

namespace
{
// A version_modules library loaded for the life of the guard.
class LoadedModule
{
  public:
    explicit LoadedModule(const std::string &shape)
        : m_handle(dlopen(vxtest::VersionModulePath(shape).c_str(), RTLD_NOW | RTLD_LOCAL)),
          m_name(Utf8ToUtf16(vxtest::VersionModuleName(shape)))
    {
    }
    ~LoadedModule()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    bool Loaded() const { return m_handle != nullptr; }
    const char16_t *Name() const { return m_name.c_str(); }

  private:
    void *m_handle;
    std::u16string m_name;
};

// A CModuleVersion holding a given block, for blocks no module file carries.
class HeldVersion : public CModuleVersion
{
  public:
    void Hold(const std::vector<unsigned char> &block)
    {
        m_pVersionInfo = std::make_unique<unsigned char[]>(block.size());
        std::memcpy(m_pVersionInfo.get(), block.data(), block.size());
        m_versionInfoSize = static_cast<std::uint32_t>(block.size());
    }
};

std::u16string VersionText(std::uint32_t ms, std::uint32_t ls)
{
    return Utf8ToUtf16(std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                       std::to_string(ls >> 16));
}
} // namespace

TEST(CModuleVersion, TheProgramsOwnBlockNamesTheProduct)
{
    CModuleVersion version;
    EXPECT_EQ(version.GetProductName(), u"") << "nothing before a load";
    ASSERT_EQ(version.Load(nullptr), 1);
    EXPECT_EQ(version.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(version.GetProductName(), u"Vormatik");
    EXPECT_EQ(version.GetValue(u"CompanyName"), u"Tarvex");
    // The texts and the fixed info come from the same project version.
    EXPECT_EQ(version.GetProductVersion(),
              VersionText(version.dwProductVersionMS, version.dwProductVersionLS));
    EXPECT_EQ(version.GetValue(u"FileVersion"), version.GetProductVersion());
    EXPECT_EQ(version.GetValue(u"NoSuchEntry"), u"");
    EXPECT_EQ(version.GetValue(nullptr), u"");
}

TEST(CModuleVersion, ALoadedLibraryIsReadByItsName)
{
    LoadedModule module("plain");
    ASSERT_TRUE(module.Loaded()) << dlerror();
    CModuleVersion version;
    ASSERT_EQ(version.Load(module.Name()), 1);
    EXPECT_EQ(version.GetProductName(), u"Plain Module");
    EXPECT_EQ(version.GetProductVersion(), u"3.1.4");
    EXPECT_EQ(version.dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(version.dwFileType, VFT_DLL);
}

TEST(CModuleVersion, AModuleThatIsNotLoadedIsNotRead)
{
    const std::u16string path = Utf8ToUtf16(vxtest::VersionModulePath("unloaded"));
    ASSERT_GT(GetFileVersionInfoSizeW(path.c_str(), nullptr), 0u) << "its file does carry a block";
    const std::u16string byName = Utf8ToUtf16(vxtest::VersionModuleName("unloaded"));
    const char16_t *names[] = {byName.c_str(), path.c_str(), u"libvx-never-built.so"};
    for (const char16_t *name : names)
    {
        CModuleVersion version;
        EXPECT_EQ(version.Load(name), 0);
        EXPECT_EQ(version.GetProductName(), u"");
        EXPECT_EQ(version.GetProductVersion(), u"");
    }
}

TEST(CModuleVersion, ALoadedModuleWithoutABlockGivesNothing)
{
    CModuleVersion version;
    EXPECT_EQ(version.Load(u"libc.so.6"), 0);
    EXPECT_EQ(version.GetProductName(), u"");
    EXPECT_EQ(version.dwSignature, 0u);
}

TEST(CModuleVersion, WithoutTranslationsTheNeutralTableIsUsed)
{
    LoadedModule module("notranslation");
    ASSERT_TRUE(module.Loaded()) << dlerror();
    CModuleVersion version;
    ASSERT_EQ(version.Load(module.Name()), 1);
    EXPECT_EQ(version.GetProductName(), u"Neutral Module");
    EXPECT_EQ(version.GetProductVersion(), u"0.9");
}

TEST(CModuleVersion, ABadSignatureFailsAndKeepsNoValues)
{
    LoadedModule module("badsignature");
    ASSERT_TRUE(module.Loaded()) << dlerror();
    CModuleVersion version;
    EXPECT_EQ(version.Load(module.Name()), 0);
    EXPECT_EQ(version.dwSignature, 0xFEEF04BEu);
    EXPECT_EQ(version.GetProductName(), u"");
}

TEST(CModuleVersion, AFailedLoadDropsTheEarlierModulesValues)
{
    LoadedModule plain("plain");
    LoadedModule neutral("notranslation");
    ASSERT_TRUE(plain.Loaded() && neutral.Loaded()) << dlerror();
    CModuleVersion version;
    ASSERT_EQ(version.Load(plain.Name()), 1);
    EXPECT_EQ(version.Load(u"libvx-never-built.so"), 0);
    EXPECT_EQ(version.GetProductName(), u"");
    EXPECT_EQ(version.dwSignature, 0u);

    // A translation of an earlier block does not carry over either.
    ASSERT_EQ(version.Load(plain.Name()), 1);
    ASSERT_EQ(version.Load(neutral.Name()), 1);
    EXPECT_EQ(version.GetProductName(), u"Neutral Module");
}

TEST(CModuleVersion, AnEntryMarkedBinaryIsReadWithinTheBlock)
{
    // The block ends with the ProductName entry; marked as binary, its value length counts
    // bytes, which read as characters would reach past the block.
    static constexpr vxsys::VersionString kStrings[] = {{u"ProductName", u"X"}};
    static constexpr vxsys::VersionStringTable kTables[] = {{0x0000, 1252, kStrings}};
    const vxsys::VersionBlockBytes built =
        vxsys::BuildVersionBlock({vxsys::MakeFixedFileInfo(1, 0, 0, 0, VFT_DLL), kTables, {}});
    std::vector<unsigned char> block(built.begin(), built.begin() + (built[0] | (built[1] << 8)));
    const char16_t key[] = u"ProductName";
    const auto keyAt = std::search(block.begin(), block.end(), reinterpret_cast<const unsigned char *>(key),
                                   reinterpret_cast<const unsigned char *>(key) + sizeof key);
    ASSERT_NE(keyAt, block.end());
    const std::size_t node = static_cast<std::size_t>(keyAt - block.begin()) - 6;
    block[node + 2] = 4; // value length: the four bytes of "X" and its terminator
    block[node + 4] = 0; // binary
    HeldVersion version;
    version.Hold(block);
    EXPECT_EQ(version.GetProductName(), u"X");
}
