// The wrapper over the real libulvex.so, against fixture sysfs, device and mount trees. The
// library keeps its own copy of the device layer; both copies find the fixture trees through
// the environment, so the program's and the library's view of the drives can be compared.
#include "device/DeviceSettingsWriter.h"
#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"
#include "device/WorkoutFileAccess.h"
#include "platform/dev/Storage.h"
#include "platform/sys/TextConvert.h"
#include "tests/device/UlvexTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/workout/WorkoutFileBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
const SupportedDeviceEntry &Entry(std::size_t index)
{
    return kSupportedDevices[index];
}
} // namespace

TEST(UlvexLibraryBindingTest, AMassStorageMonitorWithItsDriveAndIdentity)
{
    vxtest::MonitorDrive drive;
    ASSERT_EQ(drive.letter, 'D'); // C: is the internal disk
    drive.WriteFile("Settings.dat", vxtest::SettingsImage(300, 150, "VMB3"));

    UlvexDevice device(ULVEX_LIBRARY_PATH);
    ASSERT_TRUE(device.IsLoaded());
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
    ASSERT_TRUE(device.IsPresent());
    device.DetectType();
    ASSERT_EQ(device.GetDeviceType(), DeviceType::MassStorage);

    // The library's drive letter is the program's: the file was found through it.
    EXPECT_EQ(device.DriveLetter(), drive.letter);
    char letter = 0;
    ASSERT_TRUE(device.GetDriveLetter(&letter));
    EXPECT_EQ(letter, drive.letter);
    EXPECT_EQ(
        vxdev::TranslateDrivePath(std::u16string(1, static_cast<char16_t>(letter)) + u":\\Settings.dat"),
        drive.mountPoint + "/Settings.dat");

    char identity[UlvexDevice::kIdentitySize];
    ASSERT_TRUE(device.GetSerial(identity));
    EXPECT_STREQ(identity, "SER42#{A5DCBF10-6530-11D2-901F-0");
}

TEST(UlvexLibraryBindingTest, TheWorkoutFileIsReadFromTheDriveTheLibraryNames)
{
    // A temporary folder mounted as the monitor's drive, holding what a monitor holds.
    vxtest::MonitorDrive drive;
    drive.WriteFile("Settings.dat", vxtest::SettingsImage(300, 20, vxtest::ModelCodeText(0).c_str()));
    vxtest::WorkoutFileBuilder builder;
    builder.FirstName(u"Anna").AddRecord(vxtest::RecordAt(2012, 5, 1, 7, 15, 30));
    const std::vector<std::uint8_t> file = builder.Build();
    std::filesystem::create_directories(drive.mountPoint + "/workout");
    drive.WriteFile("workout/FR.DAT", file);

    UlvexDevice device(ULVEX_LIBRARY_PATH);
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
    device.DetectType();
    ASSERT_EQ(device.GetDeviceType(), DeviceType::MassStorage);
    const std::u16string root(1, static_cast<char16_t>(device.DriveLetter()));
    // The name matches without regard to case, as on the monitor's own file system.
    std::vector<std::uint8_t> read;
    ASSERT_TRUE(ReadWorkoutFileAt(vxdev::TranslateDrivePath(root + u":\\WORKOUT\\fr.dat"), read, 64 * 1024));
    EXPECT_EQ(read, file);
    EXPECT_EQ(vxdev::TranslateDrivePath(root + u":\\FR.DAT"), drive.mountPoint + "/FR.DAT");
}

// The letter the library gave at detection still names the monitor at the write-back, though a disk
// with a lower device number was mounted in between: nothing is written to that disk.
TEST(UlvexLibraryBindingTest, ADiskMountedBetweenDetectionAndWriteBackIsNotWritten)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string other = sysfs.AddInternalDisk(); // the lower device number, not mounted yet
    const std::string usb = sysfs.AddUsbDevice(
        "usb1", 1, vxtest::UsbDevice(VORMATIK_MONITOR_VENDOR_ID, HexToU16(Entry(0).szProductId), "Ser42"));
    const std::string partition = sysfs.AddPartition(sysfs.AddUsbDisk(usb, 0), 1);
    ASSERT_LT(sysfs.BlockDevNumbers(other), sysfs.BlockDevNumbers(partition));
    vxdev::ForgetDriveLetters(); // as in a fresh process

    vxtest::WorkoutFileBuilder builder;
    builder.FirstName(u"Old").AddRecord(vxtest::RecordAt(2012, 5, 1, 7, 15, 30));
    const std::vector<std::uint8_t> file = builder.Build();
    const auto fill = [&](const std::string &mount) {
        std::filesystem::create_directories(mount + "/workout");
        vxtest::WriteFile(mount + "/Settings.dat", vxtest::SettingsImage(300, 20, vxtest::ModelCodeText(0).c_str()));
        vxtest::WriteFile(mount + "/workout/FR.DAT", file);
    };
    const std::string monitorMount = sysfs.Root() + "/media/MONITOR";
    const std::string otherMount = sysfs.Root() + "/media/OTHER";
    fill(monitorMount);
    fill(otherMount);
    sysfs.AddMount(partition, monitorMount);

    // The watcher asks the library for the monitor's letter, as it does on every check; the program
    // itself has not looked at the drives yet.
    UlvexDevice device(ULVEX_LIBRARY_PATH);
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
    char detected = 0;
    ASSERT_TRUE(device.GetDriveLetter(&detected));
    ASSERT_EQ(detected, 'C');

    sysfs.AddMount(other, otherMount, "ext4");
    // The library still gives the monitor that letter, and the program's paths agree with it; the
    // newcomer has the next one.
    char letter = 0;
    ASSERT_TRUE(device.GetDriveLetter(&letter));
    EXPECT_EQ(letter, 'C');
    EXPECT_EQ(vxdev::TranslateDrivePath(u"D:\\workout\\FR.DAT"), otherMount + "/workout/FR.DAT");

    DeviceSettingsWriteContext context;
    context.deviceType = DeviceType::MassStorage;
    context.driveLetter = detected;
    context.owner = WorkoutProfile{u"Anna", u"Berg", 34, 1, 172, 64};
    context.dataFolder = vxsys::Utf8ToUtf16(vxtest::MakeTempDir("copy"));
    ASSERT_TRUE(WriteDeviceSettings(context, false));
    EXPECT_EQ(vxtest::ReadFile(otherMount + "/workout/FR.DAT"), file);
    EXPECT_NE(vxtest::ReadFile(monitorMount + "/workout/FR.DAT"), file);
}

TEST(UlvexLibraryBindingTest, WithoutSettingsTheHidInterfaceDecides)
{
    vxtest::MonitorDrive drive(HexToU16(Entry(1).szProductId), 2);
    drive.sysfs.AddHidraw(drive.usbDevice, 1, {0x06, 0x00, 0xff, 0x09, 0x01});

    UlvexDevice device(ULVEX_LIBRARY_PATH);
    device.SetIds(Entry(1).szVendorId, Entry(1).szProductId);
    ASSERT_TRUE(device.IsPresent());
    device.DetectType();
    EXPECT_EQ(device.GetDeviceType(), DeviceType::Hid);
    // The drive was seen on the way.
    EXPECT_EQ(device.DriveLetter(), drive.letter);
    char identity[UlvexDevice::kIdentitySize];
    EXPECT_FALSE(device.GetSerial(identity));
}

TEST(UlvexLibraryBindingTest, AnUncheckedEntryNeedsNoSettings)
{
    vxtest::MonitorDrive drive(HexToU16(Entry(3).szProductId));
    UlvexDevice device(ULVEX_LIBRARY_PATH);
    device.SetIds(Entry(3).szVendorId, Entry(3).szProductId);
    device.DetectType();
    EXPECT_EQ(device.GetDeviceType(), DeviceType::MassStorage);
    EXPECT_EQ(device.DriveLetter(), drive.letter);
}

TEST(UlvexLibraryBindingTest, AnAbsentMonitorIsNotFound)
{
    vxtest::MonitorDrive drive; // the first entry's product only
    UlvexDevice device(ULVEX_LIBRARY_PATH);
    for (std::size_t i = 1; i < kSupportedDevices.size(); ++i)
    {
        SCOPED_TRACE(i);
        device.SetIds(Entry(i).szVendorId, Entry(i).szProductId);
        EXPECT_FALSE(device.IsPresent());
        device.DetectType();
        EXPECT_EQ(device.GetDeviceType(), DeviceType::None);
    }
}

namespace
{
std::size_t OpenDescriptors()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}
} // namespace

TEST(UlvexLibraryBindingTest, TheScsiClockLeavesNoDescriptorOpen)
{
    // The fixture's disk node is a plain file: the library opens it and the pass-through
    // fails, as on a system that refuses the vendor command.
    vxtest::MonitorDrive drive;
    UlvexDevice device(ULVEX_LIBRARY_PATH);
    device.SetIds(Entry(0).szVendorId, Entry(0).szProductId);
    const std::size_t before = OpenDescriptors();
    EXPECT_FALSE(device.SetClockScsi());
    EXPECT_FALSE(device.SetClockScsi());
    EXPECT_EQ(OpenDescriptors(), before);
}
