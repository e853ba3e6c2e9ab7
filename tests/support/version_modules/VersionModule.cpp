// One library of the version_modules family; VX_VERMOD_SHAPE picks its block:
// 1 plain, 2 plain (kept unloaded by the tests), 3 without translations, 4 bad signature.
#include "platform/sys/VersionInfo.h"

namespace
{
#if VX_VERMOD_SHAPE == 1 || VX_VERMOD_SHAPE == 2
constexpr vxsys::VersionString kStrings[] = {{u"ProductName", u"Plain Module"},
                                             {u"ProductVersion", u"3.1.4"}};
constexpr vxsys::VersionStringTable kTables[] = {{0x0409, 1200, kStrings}};
constexpr vxsys::VersionTranslation kTranslations[] = {{0x0409, 1200}};
constexpr vxsys::VersionBlockSpec kSpec{vxsys::MakeFixedFileInfo(3, 1, 4, 0, VFT_DLL), kTables,
                                        kTranslations};
#elif VX_VERMOD_SHAPE == 3
// Without a translation list the program looks in the neutral table 000004e4; the
// English table is there to show it is not used.
constexpr vxsys::VersionString kNeutral[] = {{u"ProductName", u"Neutral Module"},
                                             {u"ProductVersion", u"0.9"}};
constexpr vxsys::VersionString kEnglish[] = {{u"ProductName", u"English Module"},
                                             {u"ProductVersion", u"1.9"}};
constexpr vxsys::VersionStringTable kTables[] = {{0x0409, 1200, kEnglish}, {0x0000, 1252, kNeutral}};
constexpr vxsys::VersionBlockSpec kSpec{vxsys::MakeFixedFileInfo(0, 9, 0, 0, VFT_DLL), kTables, {}};
#elif VX_VERMOD_SHAPE == 4
constexpr vxsys::VersionString kStrings[] = {{u"ProductName", u"Damaged Module"}};
constexpr vxsys::VersionStringTable kTables[] = {{0x0409, 1200, kStrings}};
constexpr vxsys::VersionTranslation kTranslations[] = {{0x0409, 1200}};
constexpr VS_FIXEDFILEINFO Damaged()
{
    VS_FIXEDFILEINFO info = vxsys::MakeFixedFileInfo(4, 0, 0, 0, VFT_DLL);
    info.dwSignature = 0xFEEF04BE;
    return info;
}
constexpr vxsys::VersionBlockSpec kSpec{Damaged(), kTables, kTranslations};
#endif

[[gnu::used, gnu::section(VX_VERSION_BLOCK_SECTION)]] constexpr vxsys::VersionBlockBytes kVersionBlock =
    vxsys::BuildVersionBlock(kSpec);
} // namespace
