#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"

#include "tests/device/UlvexTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
using vxfake::FakeUlvexFunction;
using vxtest::FakeUlvexLibrary;

const SupportedDeviceEntry &Entry(std::size_t index)
{
    return kSupportedDevices[index];
}

bool ModuleLoaded(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}
} // namespace

TEST(HexToU16Test, FourDigitsOfEitherCase)
{
    EXPECT_EQ(HexToU16("12aB"), 0x12AB);
    EXPECT_EQ(HexToU16("12AB"), 0x12AB);
    EXPECT_EQ(HexToU16("3a7e"), 0x3A7E);
    EXPECT_EQ(HexToU16("ffff"), 0xFFFF);
    EXPECT_EQ(HexToU16("0000"), 0);
    // Only four digits count; a short text never reads past its end.
    EXPECT_EQ(HexToU16("123456"), 0x1234);
    EXPECT_EQ(HexToU16("12"), 0x1200);
    EXPECT_EQ(HexToU16("1x34"), 0x1034);
    EXPECT_EQ(HexToU16(nullptr), 0);
}

TEST(UsbIdPairTest, SetOnlyFromTwoTexts)
{
    UsbIdPair ids;
    EXPECT_EQ(ids.VendorId(), 0);
    EXPECT_EQ(ids.ProductId(), 0);
    ids.SetFromHex("3A7E", "5d01");
    EXPECT_EQ(ids.VendorId(), 0x3A7E);
    EXPECT_EQ(ids.ProductId(), 0x5D01);
    for (const auto &[vendor, product] : std::vector<std::pair<const char *, const char *>>{
             {nullptr, "0001"}, {"0001", nullptr}, {"", "0001"}, {"0001", ""}})
    {
        ids.SetFromHex(vendor, product);
        EXPECT_EQ(ids.VendorId(), 0x3A7E);
        EXPECT_EQ(ids.ProductId(), 0x5D01);
    }
}

TEST(SupportedDevicesTest, OneVendorFourProductsOneExtendedHeader)
{
    char vendor[5];
    std::snprintf(vendor, sizeof vendor, "%04X", VORMATIK_MONITOR_VENDOR_ID);
    std::set<std::string> products;
    std::vector<int> flags;
    for (const SupportedDeviceEntry &entry : kSupportedDevices)
    {
        EXPECT_STREQ(entry.szVendorId, vendor);
        EXPECT_EQ(std::strlen(entry.szProductId), 4u);
        products.insert(entry.szProductId);
        flags.push_back(entry.bExtendedHeader);
    }
    EXPECT_EQ(products.size(), kSupportedDevices.size());
    EXPECT_EQ(flags, (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(kSupportedDevices[kHidEntry].bExtendedHeader, 1);

    std::set<std::string> codes;
    for (std::size_t i = 0; i < kModelCodes.size(); ++i)
        codes.insert(vxtest::ModelCodeText(i));
    EXPECT_EQ(codes.size(), 12u);
}

// ---- binding ----

TEST(UlvexBindingTest, PresenceThroughTheUsbDeviceElseTheHidInterface)
{
    FakeUlvexLibrary lib;
    UlvexDevice device(lib.Path());
    ASSERT_TRUE(device.IsLoaded());
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);

    lib.State().usbOpens = true;
    lib.State().hidOpens = true;
    EXPECT_TRUE(device.IsPresent());
    EXPECT_EQ(lib.Calls(vxfake::kOpenUSBDevice), 1);
    EXPECT_EQ(lib.Calls(vxfake::kOpenHIDDevice), 0);
    EXPECT_STREQ(lib.State().lastVendorId, Entry(0).szVendorId);
    EXPECT_STREQ(lib.State().lastProductId, Entry(0).szProductId);

    lib.State().usbOpens = false;
    EXPECT_TRUE(device.IsPresent());
    EXPECT_EQ(lib.Calls(vxfake::kOpenHIDDevice), 1);

    lib.State().hidOpens = false;
    EXPECT_FALSE(device.IsPresent());
    // Every handle opened to look was closed again.
    EXPECT_EQ(lib.OpenHandles(), 0);
}

TEST(UlvexBindingTest, MissingExportsStayUnavailable)
{
    // The partial library has no OpenUSBDevice, GetVersionStringbyMtpInfo, SendMTPCmd or SendSCSICmd.
    FakeUlvexLibrary lib(vxtest::PartialFakeUlvexPath());
    void *module = dlopen(lib.Path().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(dlsym(module, "OpenUSBDevice"), nullptr);
    EXPECT_NE(dlsym(module, "OpenHIDDevice"), nullptr);
    dlclose(module);
    UlvexDevice device(lib.Path());
    ASSERT_TRUE(device.IsLoaded());
    device.SetIds(Entry(3).szVendorId, Entry(3).szProductId);

    auto &state = lib.State();
    state.usbOpens = state.hidOpens = state.scsiOpens = true;
    state.mtpFound = true;
    std::strcpy(state.mtpVersion, "1.0");
    state.driveFound = true;
    state.driveLetter = 'E';
    state.usbPathFound = true;
    std::strcpy(state.usbDevicePath, "\\\\?\\usb#vid_3a7e&pid_5d04#ser9#{x}");

    // Presence falls to the HID interface; detection skips MTP and finds the drive.
    EXPECT_TRUE(device.IsPresent());
    EXPECT_EQ(lib.Calls(vxfake::kOpenHIDDevice), 1);
    device.DetectType();
    EXPECT_EQ(device.GetDeviceType(), DeviceType::MassStorage);
    EXPECT_EQ(device.DriveLetter(), 'E');

    // What the bound exports give still works.
    char identity[UlvexDevice::kIdentitySize];
    ASSERT_TRUE(device.GetSerial(identity));
    EXPECT_STREQ(identity, "SER9#{X}");

    // The SCSI clock needs SendSCSICmd: the device is not even opened for it.
    EXPECT_FALSE(device.SetClockScsi());
    EXPECT_EQ(lib.Calls(vxfake::kOpenSCSIDevice), 0);
    EXPECT_FALSE(device.ReadMtpInfo());
    EXPECT_FALSE(device.SetClockMtp());
    EXPECT_EQ(lib.OpenHandles(), 0);
}

TEST(UlvexBindingTest, WithoutTheLibraryEveryOperationFailsQuietly)
{
    UlvexDevice device(vxtest::TestRoot() + "/no-such-folder/libulvex.so");
    EXPECT_FALSE(device.IsLoaded());
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
    EXPECT_FALSE(device.IsPresent());
    device.DetectType();
    EXPECT_EQ(device.GetDeviceType(), DeviceType::None);
    char identity[UlvexDevice::kIdentitySize] = "unchanged";
    EXPECT_FALSE(device.GetSerial(identity));
    EXPECT_STREQ(identity, "unchanged");
    char letter = '?';
    EXPECT_FALSE(device.GetDriveLetter(&letter));
    EXPECT_EQ(letter, '?');
    std::uint32_t code = 7;
    EXPECT_FALSE(device.ReadModelCode(&code));
    EXPECT_FALSE(device.ReadMtpInfo());
    EXPECT_FALSE(device.SetClockMtp());
    EXPECT_FALSE(device.SetClockScsi());
    device.Unload();
    device.Unload();
    EXPECT_FALSE(device.IsLoaded());
}

TEST(UlvexBindingTest, UnloadFreesTheLibraryOnceAndUnbindsEverything)
{
    FakeUlvexLibrary lib; // holds its own reference to the module
    {
        UlvexDevice device(lib.Path());
        ASSERT_TRUE(device.IsLoaded());
        device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
        lib.State().usbOpens = true;
        device.Unload();
        EXPECT_FALSE(device.IsLoaded());
        // A second Unload must not give up a reference it no longer holds: the test's own
        // reference keeps the module in the process.
        device.Unload();
        EXPECT_TRUE(ModuleLoaded(lib.Path()));
        EXPECT_FALSE(device.IsPresent());
        device.DetectType();
        EXPECT_EQ(device.GetDeviceType(), DeviceType::None);
        EXPECT_EQ(lib.TotalCalls(), 0);
    } // the destructor after Unload does nothing either
    EXPECT_TRUE(ModuleLoaded(lib.Path()));
}

TEST(UlvexBindingTest, TheLastUnloadTakesTheLibraryOutOfTheProcess)
{
    const std::string path = vxtest::FakeUlvexPath();
    ASSERT_FALSE(ModuleLoaded(path));
    UlvexDevice device(path);
    EXPECT_TRUE(ModuleLoaded(path));
    device.Unload();
    EXPECT_FALSE(ModuleLoaded(path));
}

TEST(UlvexBindingTest, TheLibraryBesideTheProgramIsFound)
{
    // The build puts a copy of libulvex.so beside this test program.
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string beside(self);
    beside = beside.substr(0, beside.rfind('/') + 1) + "libulvex.so";
    ASSERT_FALSE(ModuleLoaded(beside));
    UlvexDevice device;
    EXPECT_TRUE(device.IsLoaded());
    EXPECT_TRUE(ModuleLoaded(beside));
    device.Unload();
    EXPECT_FALSE(ModuleLoaded(beside));
}

TEST(UlvexBindingTest, TheEnvironmentNamesTheOneLibraryToLoad)
{
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string beside(self);
    beside = beside.substr(0, beside.rfind('/') + 1) + "libulvex.so";
    const std::string fake = vxtest::FakeUlvexPath();
    const struct
    {
        const char *value;
        bool loadsFake;
    } cases[] = {
        {fake.c_str(), true},
        // Nothing else is tried in place of a named library, not even the one beside the program.
        {"/no such folder/libulvex.so", false},
        {"libulvex.so", false},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedEnv chosen("VORMATIK_ULVEX_LIBRARY", c.value);
        UlvexDevice device;
        EXPECT_EQ(device.IsLoaded(), c.loadsFake) << c.value;
        EXPECT_EQ(ModuleLoaded(fake), c.loadsFake) << c.value;
        EXPECT_FALSE(ModuleLoaded(beside)) << c.value;
    }
    // Empty is unset.
    vxtest::ScopedEnv empty("VORMATIK_ULVEX_LIBRARY", "");
    UlvexDevice device;
    EXPECT_TRUE(ModuleLoaded(beside));
}

// ---- detection ----

namespace
{
struct DetectCase
{
    const char *name;
    std::size_t entry;
    std::optional<std::string> mtpVersion; // the MTP lookup succeeds with this version
    bool drive;
    std::optional<std::vector<std::uint8_t>> settings; // "Settings.dat" on the drive
    bool hid;
    DeviceType expected;
};

std::vector<std::uint8_t> Settings(const char *code)
{
    return vxtest::SettingsImage(64, 10, code);
}
} // namespace

TEST(UlvexDetectTypeTest, TypeByMtpThenDriveThenHid)
{
    const std::string known = vxtest::ModelCodeText(5);
    const DetectCase cases[] = {
        {"mtp with a known model code", 0, known + "-2.1.0", false, {}, true, DeviceType::Mtp},
        {"mtp with a known code, second entry",
         1,
         vxtest::ModelCodeText(11),
         false,
         {},
         true,
         DeviceType::Mtp},
        {"mtp of a checked entry with an unknown code falls to hid",
         1,
         "XQ99-2.1.0",
         false,
         {},
         true,
         DeviceType::Hid},
        {"mtp with an unknown code falls to the drive", 0, "XQ99", true, Settings(known.c_str()), true,
         DeviceType::MassStorage},
        {"mtp of an unchecked entry needs no code", 3, "1.0", false, {}, false, DeviceType::Mtp},
        {"mtp with an empty version is not mtp", 3, "", false, {}, false, DeviceType::None},
        {"drive with a known code", 0, {}, true, Settings(known.c_str()), true, DeviceType::MassStorage},
        {"drive with an unknown code falls to hid", 1, {}, true, Settings("ZZZZ"), true, DeviceType::Hid},
        {"drive without settings falls to hid", 0, {}, true, {}, true, DeviceType::Hid},
        {"drive without settings and no hid", 0, {}, true, {}, false, DeviceType::None},
        {"drive of an unchecked entry needs no settings", 3, {}, true, {}, true, DeviceType::MassStorage},
        {"hid model", kHidEntry, {}, false, {}, true, DeviceType::Hid},
        {"nothing", 0, {}, false, {}, false, DeviceType::None},
    };
    for (const DetectCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        vxtest::MonitorDrive drive;
        ASSERT_NE(drive.letter, 0);
        if (c.settings)
            drive.WriteFile("Settings.dat", *c.settings);

        FakeUlvexLibrary lib;
        auto &state = lib.State();
        state.mtpFound = c.mtpVersion.has_value();
        std::snprintf(state.mtpVersion, sizeof state.mtpVersion, "%s", c.mtpVersion.value_or("").c_str());
        state.driveFound = c.drive;
        state.driveLetter = drive.letter;
        state.hidOpens = c.hid;

        UlvexDevice device(lib.Path());
        device.SetIds(Entry(c.entry).szVendorId, Entry(c.entry).szProductId);
        device.DetectType();
        EXPECT_EQ(device.GetDeviceType(), c.expected);
        if (c.drive)
        {
            EXPECT_EQ(device.DriveLetter(), drive.letter);
        }

        // The MTP lookup takes the IDs as numbers and hands out no device.
        ASSERT_EQ(state.mtpLookupCount, 1);
        EXPECT_EQ(state.mtpLookups[0].vendor, VORMATIK_MONITOR_VENDOR_ID);
        EXPECT_EQ(state.mtpLookups[0].product, HexToU16(Entry(c.entry).szProductId));
        EXPECT_EQ(state.mtpLookups[0].versionCapacity, 260u);
        EXPECT_FALSE(state.mtpLookups[0].deviceWanted);
        if (lib.Calls(vxfake::kGetDriveLetterByVidPid) > 0)
        {
            EXPECT_EQ(state.lastDriveType, 2);
        }
        EXPECT_EQ(lib.OpenHandles(), 0);
        EXPECT_EQ(state.liveMtpDevices, 0);
    }
}

TEST(UlvexDetectTypeTest, ADetectionFindsWhatIsThereNow)
{
    FakeUlvexLibrary lib;
    UlvexDevice device(lib.Path());
    device.SetIds(Entry(kHidEntry).szVendorId, Entry(kHidEntry).szProductId);
    lib.State().hidOpens = true;
    device.DetectType();
    EXPECT_EQ(device.GetDeviceType(), DeviceType::Hid);
    lib.State().hidOpens = false;
    device.DetectType();
    EXPECT_EQ(device.GetDeviceType(), DeviceType::None);
}

// ---- model code ----

namespace
{
// Detects a drive of the first entry on a fixture drive and reads its model code.
std::optional<std::string> ModelCodeOf(const std::string &fileName, const std::vector<std::uint8_t> &bytes)
{
    vxtest::MonitorDrive drive;
    drive.WriteFile(fileName, bytes);
    FakeUlvexLibrary lib;
    lib.State().driveFound = true;
    lib.State().driveLetter = drive.letter;
    UlvexDevice device(lib.Path());
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
    device.DetectType(); // stores the drive letter
    EXPECT_EQ(device.DriveLetter(), drive.letter);
    std::uint32_t code = 0;
    if (!device.ReadModelCode(&code))
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(&code), 4);
}
} // namespace

TEST(UlvexModelCodeTest, TheFourBytesAfterTheMagic)
{
    struct Case
    {
        const char *name;
        std::string file;
        std::vector<std::uint8_t> bytes;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"at the start", "Settings.dat", vxtest::SettingsImage(50, 0, "VMA1"), "VMA1"},
        {"ending a block exactly", "Settings.dat", vxtest::SettingsImage(400, 191, "VMA2"), "VMA2"},
        {"magic across a block boundary", "Settings.dat", vxtest::SettingsImage(400, 196, "VMA3"), "VMA3"},
        {"code across a block boundary", "Settings.dat", vxtest::SettingsImage(400, 193, "VMA4"), "VMA4"},
        {"in a later block", "Settings.dat", vxtest::SettingsImage(1000, 777, "VMB1"), "VMB1"},
        {"across the second boundary", "Settings.dat", vxtest::SettingsImage(600, 398, "VMB2"), "VMB2"},
        {"the code is any four bytes", "Settings.dat", vxtest::SettingsImage(20, 3, "ab\x01z"), "ab\x01z"},
        {"lower-case file name", "settings.dat", vxtest::SettingsImage(30, 4, "VMC1"), "VMC1"},
        {"no magic", "Settings.dat", std::vector<std::uint8_t>(500, 'T'), std::nullopt},
        {"empty file", "Settings.dat", {}, std::nullopt},
        {"code cut off by the end", "Settings.dat", vxtest::SettingsImage(207, 200, "VMC2"), std::nullopt},
        {"another file", "Setting.dat", vxtest::SettingsImage(30, 4, "VMC1"), std::nullopt},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ModelCodeOf(c.file, c.bytes), c.expected);
    }
}

TEST(UlvexModelCodeTest, TheFirstMagicCounts)
{
    auto bytes = vxtest::SettingsImage(300, 250, "VMB4");
    const auto first = vxtest::SettingsImage(300, 40, "VMB3");
    std::copy(first.begin() + 40, first.begin() + 49, bytes.begin() + 40);
    EXPECT_EQ(ModelCodeOf("Settings.dat", bytes), "VMB3");
}

TEST(UlvexModelCodeTest, NoDriveLetterNoFile)
{
    FakeUlvexLibrary lib;
    UlvexDevice device(lib.Path());
    std::uint32_t code = 0x11111111;
    EXPECT_FALSE(device.ReadModelCode(&code));
    EXPECT_EQ(code, 0x11111111u);
    EXPECT_FALSE(device.ReadModelCode(nullptr));
}

// ---- identity ----

namespace
{
// A mass-storage device of the fourth entry (no model check), so GetSerial may run.
struct SerialScene
{
    FakeUlvexLibrary lib;
    UlvexDevice device{lib.Path()};

    SerialScene()
    {
        lib.State().driveFound = true;
        lib.State().driveLetter = 'F';
        device.SetIds(Entry(3).szVendorId, Entry(3).szProductId);
        device.DetectType();
    }
};
} // namespace

TEST(UlvexSerialTest, UpToThirtyTwoCharactersAfterTheSecondHash)
{
    struct Case
    {
        const char *path;
        const char *identity; // null: GetSerial fails
    };
    const Case cases[] = {
        {"\\\\?\\usb#vid_3a7e&pid_5d04#0123456789abcdef0123456789abcdef#{a5dcbf10-6530-11d2-901f-"
         "00c04fb951ed}",
         "0123456789ABCDEF0123456789ABCDEF"},
        {"\\\\?\\usb#vid_3a7e&pid_5d04#ser42#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
         "SER42#{A5DCBF10-6530-11D2-901F-0"},
        {"\\\\?\\usb#vid_3a7e&pid_5d04#ab", "AB"},
        {"\\\\?\\usb#vid_3a7e&pid_5d04#", ""},
        {"\\\\?\\usb#vid_3a7e&pid_5d04", nullptr},
        {"no marks at all", nullptr},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.path);
        SerialScene scene;
        ASSERT_EQ(scene.device.GetDeviceType(), DeviceType::MassStorage);
        scene.lib.State().usbPathFound = true;
        std::snprintf(scene.lib.State().usbDevicePath, sizeof scene.lib.State().usbDevicePath, "%s", c.path);
        char buffer[48];
        std::memset(buffer, 'x', sizeof buffer);
        const bool ok = scene.device.GetSerial(buffer);
        EXPECT_EQ(scene.lib.State().lastPathCapacity, 300u);
        EXPECT_EQ(scene.lib.State().lastParentIdCapacity, 300u);
        if (!c.identity)
        {
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok);
        EXPECT_STREQ(buffer, c.identity);
        // Nothing beyond the 33 bytes of the identity is written.
        EXPECT_EQ(buffer[UlvexDevice::kIdentitySize], 'x');
    }
}

TEST(UlvexSerialTest, OnlyAMassStorageDeviceWhosePathIsFound)
{
    SerialScene scene;
    char buffer[UlvexDevice::kIdentitySize] = "unchanged";
    scene.lib.State().usbPathFound = false;
    EXPECT_FALSE(scene.device.GetSerial(buffer));
    EXPECT_STREQ(buffer, "unchanged");
    EXPECT_FALSE(scene.device.GetSerial(nullptr));

    scene.lib.State().usbPathFound = true;
    std::strcpy(scene.lib.State().usbDevicePath, "\\\\?\\usb#vid_3a7e&pid_5d04#ser#{x}");
    scene.lib.State().driveFound = false;
    scene.lib.State().hidOpens = true;
    scene.device.DetectType();
    ASSERT_EQ(scene.device.GetDeviceType(), DeviceType::Hid);
    const int before = scene.lib.Calls(vxfake::kGetUSBDevicePath);
    EXPECT_FALSE(scene.device.GetSerial(buffer));
    EXPECT_EQ(scene.lib.Calls(vxfake::kGetUSBDevicePath), before);
}

TEST(UlvexDriveLetterTest, TheRemovableDriveOfTheIds)
{
    FakeUlvexLibrary lib;
    UlvexDevice device(lib.Path());
    device.SetIds(Entry(1).szVendorId, Entry(1).szProductId);
    char letter = '?';
    EXPECT_FALSE(device.GetDriveLetter(&letter));
    EXPECT_EQ(letter, '?');
    lib.State().driveFound = true;
    lib.State().driveLetter = 'G';
    EXPECT_TRUE(device.GetDriveLetter(&letter));
    EXPECT_EQ(letter, 'G');
    EXPECT_EQ(lib.State().lastDriveType, 2);
    EXPECT_STREQ(lib.State().lastProductId, Entry(1).szProductId);
    EXPECT_FALSE(device.GetDriveLetter(nullptr));
}

TEST(UlvexIdsTest, IdsAreCutToFourCharacters)
{
    FakeUlvexLibrary lib;
    UlvexDevice device(lib.Path());
    device.SetIds("3a7e", "5d01");
    EXPECT_STREQ(device.VendorId(), "3a7e");
    device.SetIds("3A7E99", "5D0177");
    EXPECT_STREQ(device.VendorId(), "3A7E");
    EXPECT_STREQ(device.ProductId(), "5D01");
    device.SetIds(nullptr, "0001");
    EXPECT_STREQ(device.ProductId(), "5D01");
}
