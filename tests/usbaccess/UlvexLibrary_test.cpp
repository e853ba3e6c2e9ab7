#include "device/SupportedDevices.h"
#include "usbaccess/MonitorVendor.h"
#include "usbaccess/ulvex_api.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using vxtest::ReadFile;

namespace
{
const std::set<std::string> kExports = {
    "OpenSCSIDevice",
    "OpenUSBDevice",
    "IsSCSIDevice",
    "IsUSBDevice",
    "SendSCSICmd",
    "GetStringDescriptor",
    "GetDriveLetterByDeviceNumber",
    "GetDriveLetterByVidPid",
    "GetMscDeviceInfo",
    "GetMtpDeviceInfo",
    "GetSCSIDevicePath",
    "GetUSBDevicePath",
    "GetVidPidByDriveLetter",
    "GetVendorProductStringbyDriveLetter",
    "GetVendorProductStringbyVidPid",
    "GetVersionStringbyMtpInfo",
    "GetHIDDevicePath",
    "OpenHIDDevice",
    "SendMTPCmd",
    "AllocateSPT",
    "ExtractPidVidFromHardwareID",
    "GetDeviceGeneralInfoByDriveLetter",
    "GetDeviceGeneralInfoByVidPid",
    "GetNumPort",
    "GetPidVidByDeviceInfo",
    "GetPortIndex",
    "GetUSBHubDevicePath",
    "GetVenProdByDevicePath",
    "a16toi",
};

// The names the library defines in its dynamic symbol table (functions and data alike).
std::set<std::string> DefinedDynamicSymbols(const std::vector<unsigned char> &image)
{
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr) || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0 ||
        image[EI_CLASS] != ELFCLASS64)
        return names;
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    const auto section = [&](std::size_t index) {
        Elf64_Shdr shdr{};
        const std::size_t at = header.e_shoff + index * header.e_shentsize;
        if (at + sizeof shdr <= image.size())
            std::memcpy(&shdr, image.data() + at, sizeof shdr);
        return shdr;
    };
    for (std::size_t i = 0; i < header.e_shnum; ++i)
    {
        const Elf64_Shdr dynsym = section(i);
        if (dynsym.sh_type != SHT_DYNSYM || dynsym.sh_entsize == 0)
            continue;
        const Elf64_Shdr strtab = section(dynsym.sh_link);
        for (std::size_t k = 1; k < dynsym.sh_size / dynsym.sh_entsize; ++k)
        {
            Elf64_Sym sym;
            std::memcpy(&sym, image.data() + dynsym.sh_offset + k * dynsym.sh_entsize, sizeof sym);
            if (sym.st_shndx == SHN_UNDEF)
                continue;
            const int binding = ELF64_ST_BIND(sym.st_info);
            if (binding != STB_GLOBAL && binding != STB_WEAK && binding != STB_GNU_UNIQUE)
                continue;
            names.insert(reinterpret_cast<const char *>(image.data() + strtab.sh_offset + sym.st_name));
        }
    }
    return names;
}

struct Library
{
    void *handle = dlopen(ULVEX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ~Library()
    {
        if (handle != nullptr)
            dlclose(handle);
    }
};
} // namespace

TEST(UlvexLibraryTest, EveryExportResolvesFromTheLibrary)
{
    ASSERT_EQ(kExports.size(), 29u);
    Library lib;
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    for (const std::string &name : kExports)
    {
        void *symbol = dlsym(lib.handle, name.c_str());
        ASSERT_NE(symbol, nullptr) << name;
        Dl_info info{};
        ASSERT_NE(dladdr(symbol, &info), 0) << name;
        EXPECT_NE(std::strstr(info.dli_fname, "libulvex.so"), nullptr)
            << name << " comes from " << info.dli_fname;
    }
    EXPECT_EQ(dlsym(lib.handle, "_ZN5vxdev19EnumerateInterfacesENS_14InterfaceClassE"), nullptr);

    // The loaded code works: a16toi through the library.
    using A16toi = int (*)(const char *);
    const auto fn = reinterpret_cast<A16toi>(dlsym(lib.handle, "a16toi"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn("12aB"), 0x12AB);
}

TEST(UlvexLibraryTest, NothingElseIsExported)
{
    const auto image = ReadFile(ULVEX_LIBRARY_PATH);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(DefinedDynamicSymbols(image), kExports);
}

// Against this machine's own roots, which have no USB bus: the lookups find nothing and touch
// no output.
TEST(UlvexLibraryTest, StorageAndMtpLookupsOnThisMachineFindNothing)
{
    char path[64] = "keep";
    char letter = 'Q';
    ULVEX_MTP_DEVICE *device = reinterpret_cast<ULVEX_MTP_DEVICE *>(&letter);
    EXPECT_EQ(IsSCSIDevice("3a7e", "0001"), 0);
    EXPECT_EQ(OpenSCSIDevice("3a7e", "0001"), ULVEX_INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetSCSIDevicePath("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, path, sizeof path), 0);
    EXPECT_EQ(GetDriveLetterByVidPid("3a7e", "0001", ULVEX_DRIVE_REMOVABLE, &letter), 0);
    EXPECT_EQ(GetVersionStringbyMtpInfo(0x3a7e, 1, nullptr, path, sizeof path, &device), 0);
    EXPECT_EQ(device, nullptr);
    EXPECT_STREQ(path, "keep");
    EXPECT_EQ(letter, 'Q');
}

TEST(UdevRuleTest, GrantsAccessToTheMonitorsVendor)
{
    std::ifstream in(ULVEX_UDEV_RULE_PATH);
    ASSERT_TRUE(in.good());
    const std::string rules((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    char vendor[8];
    std::snprintf(vendor, sizeof vendor, "\"%04x\"", VORMATIK_MONITOR_VENDOR_ID);
    for (const char *subsystem : {"SUBSYSTEM==\"usb\"", "SUBSYSTEM==\"hidraw\"", "SUBSYSTEM==\"block\""})
    {
        const auto line = rules.find(subsystem);
        ASSERT_NE(line, std::string::npos) << subsystem;
        const std::string text = rules.substr(line, rules.find('\n', line) - line);
        EXPECT_NE(text.find(vendor), std::string::npos) << text;
        EXPECT_NE(text.find("TAG+=\"uaccess\""), std::string::npos) << text;
    }
}

// Desktop MTP and camera services claim a device by udev properties that earlier rules set; the
// rule clears them for every supported monitor, and only for the monitors. Its number puts it
// after the rules that set them (libmtp's 69) and before 73-seat-late, which acts on uaccess.
TEST(UdevRuleTest, KeepsDesktopMtpServicesOffTheMonitors)
{
    const std::string path = ULVEX_UDEV_RULE_PATH;
    std::ifstream in(path);
    ASSERT_TRUE(in.good());
    const std::string name = path.substr(path.find_last_of('/') + 1);
    ASSERT_GE(name.size(), 3u);
    ASSERT_EQ(name[2], '-');
    const int number = std::stoi(name.substr(0, 2));
    EXPECT_GT(number, 69) << name;
    EXPECT_LT(number, 73) << name;

    std::vector<std::string> clearing;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#' && line.find("ENV{ID_MTP_DEVICE}") != std::string::npos)
            clearing.push_back(line);
    ASSERT_EQ(clearing.size(), kSupportedDevices.size());
    for (std::size_t i = 0; i < kSupportedDevices.size(); ++i)
    {
        std::string vendor = kSupportedDevices[i].szVendorId, product = kSupportedDevices[i].szProductId;
        for (std::string *id : {&vendor, &product})
            std::transform(id->begin(), id->end(), id->begin(), [](unsigned char c) { return std::tolower(c); });
        const std::string &line = clearing[i];
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind("SUBSYSTEM==\"usb\", ", 0), 0u);
        EXPECT_NE(line.find("ATTRS{idVendor}==\"" + vendor + "\""), std::string::npos);
        EXPECT_NE(line.find("ATTRS{idProduct}==\"" + product + "\""), std::string::npos);
        // Assignments of an empty value, which remove the property (a "0" would still be present).
        for (const char *property : {"ID_MTP_DEVICE", "ID_MEDIA_PLAYER", "ID_GPHOTO2", "GPHOTO2_DRIVER"})
            EXPECT_NE(line.find(std::string("ENV{") + property + "}=\"\""), std::string::npos) << property;
    }
}
