// End to end through the Ulvex library's exported functions: the device wrapper, built as the main
// dialog builds it (no path), loads the test-only variant of the library that the environment
// names, finds a simulated monitor of each transport, reads its workout file the way the import
// does, and sets its clock. MTP and SCSI run inside the library against its simulated monitors;
// USB, HID and drive lookups against fixture trees; the HID exchanges against the simulated HID
// monitor behind the program's report layer.
#include "device/DeviceClock.h"
#include "device/DeviceCommandSession.h"
#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"
#include "device/WmdmTransfer.h"
#include "device/WorkoutFileAccess.h"
#include "platform/dev/Storage.h"
#include "platform/sys/LocalTime.h"
#include "tests/device/UlvexTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/sim_hid/SimHidMonitor.h"
#include "tests/support/sim_ulvex/SimUlvex.h"
#include "tests/support/workout/WorkoutFileBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

// 2010-12-31 23:59:30 UTC.
constexpr std::int64_t kNewYearsEve = 1293839970;
constexpr std::uint16_t kVendor = VORMATIK_MONITOR_VENDOR_ID;

class SimulatedMonitorTest : public testing::Test
{
  protected:
    SimulatedMonitorTest()
    {
        vxsys::SetCurrentTimeSource([] { return kNewYearsEve; });
        EXPECT_TRUE(sim.Loaded()) << vxtest::SimUlvexLibrary::Path();
    }
    ~SimulatedMonitorTest() override { vxsys::SetCurrentTimeSource({}); }

    // The wrapper as the program makes it, after detection for one supported entry.
    void Detect(std::size_t entry, DeviceType expected)
    {
        const SupportedDeviceEntry &e = kSupportedDevices[entry];
        device.SetIds(e.szVendorId, e.szProductId);
        session.SetIds(e.szVendorId, e.szProductId);
        ASSERT_TRUE(device.IsLoaded());
        ASSERT_TRUE(device.IsPresent());
        device.DetectType();
        ASSERT_EQ(device.GetDeviceType(), expected);
    }

    static Bytes Workout(bool extended)
    {
        vxtest::WorkoutFileBuilder builder(extended);
        builder.FirstName(u"Anna").Profile(30, 1, 170, 60);
        builder.AddRecord(vxtest::RecordAt(2010, 12, 30, 7, 15, 30));
        builder.AddRecord(vxtest::RecordAt(2010, 12, 31, 8, 0, 0));
        return builder.Build();
    }

    vxtest::ScopedTimeZone zone{"UTC"};
    vxtest::SimUlvexLibrary sim;
    UlvexDevice device;
    DeviceCommandSession session;
};
} // namespace

TEST_F(SimulatedMonitorTest, AnMtpMonitorIsFoundReadAndGetsItsClockThroughTheLibrary)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::uint16_t product = HexToU16(kSupportedDevices[0].szProductId);
    sysfs.AddUsbDevice("usb1", 1, vxtest::UsbDevice(kVendor, product, "SER42"));
    const Bytes file = Workout(false);
    const int monitor =
        sim.AddMtpMonitor(kVendor, product, "SER42", vxtest::ModelCodeText(0) + "-2.1.0", 1, file);
    Detect(0, DeviceType::Mtp);

    // The program's own transfer reaches the monitor the library found.
    const std::string local = vxtest::MakeTempDir("mtp") + "/FR.TMP";
    ASSERT_TRUE(WmdmReadFile(kVendor, product, local, u"FR.DAT"));
    EXPECT_EQ(vxtest::ReadFile(local), file);

    ASSERT_TRUE(SetDeviceClock(device, session));
    const auto calls = sim.MtpVendorCalls(monitor);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].operation, 0x9D04);
    EXPECT_TRUE(calls[0].data.empty());
    EXPECT_EQ(calls[1].operation, 0x9D03);
    // 2010, December counted from 0, the 31st, 23:59:30, then twelve zero bytes.
    Bytes record = {0xDA, 0x07, 0, 0, 11, 0, 0, 0, 31, 0, 0, 0, 23, 0, 0, 0, 59, 0, 0, 0, 30, 0, 0, 0};
    record.resize(36, 0);
    EXPECT_EQ(calls[1].data, record);
    EXPECT_EQ(sim.MtpWorkoutFile(monitor), file);
    EXPECT_TRUE(sim.ScsiCommands().empty());
}

TEST_F(SimulatedMonitorTest, AMassStorageMonitorIsFoundReadAndGetsItsClockThroughTheLibrary)
{
    vxtest::MonitorDrive drive(HexToU16(kSupportedDevices[1].szProductId));
    ASSERT_NE(drive.letter, 0);
    drive.WriteFile("Settings.dat", vxtest::SettingsImage(300, 150, vxtest::ModelCodeText(2).c_str()));
    const Bytes file = Workout(false);
    drive.WriteFile("FR.DAT", file);
    Detect(1, DeviceType::MassStorage);
    EXPECT_EQ(device.DriveLetter(), drive.letter);

    Bytes read;
    const std::string path =
        vxdev::TranslateDrivePath(std::u16string(1, static_cast<char16_t>(drive.letter)) + u":\\FR.DAT");
    ASSERT_TRUE(ReadWorkoutFileAt(path, read, 64 * 1024));
    EXPECT_EQ(read, file);

    ASSERT_TRUE(SetDeviceClock(device, session));
    const auto commands = sim.ScsiCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].cdb, (Bytes{0xE0, 0x01, 0xDA, 0x07, 11, 31, 23, 59, 30}));
    EXPECT_FALSE(commands[0].toDevice);
    EXPECT_EQ(commands[0].length, 2u);
}

TEST_F(SimulatedMonitorTest, AHidMonitorIsFoundThroughTheLibraryAndReadAndSetOverHid)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::uint16_t product = HexToU16(kSupportedDevices[kHidEntry].szProductId);
    const std::string usb = sysfs.AddUsbDevice("usb1", 1, vxtest::UsbDevice(kVendor, product, "SER42"));
    sysfs.AddHidraw(usb, 0, vxtest::SimHidMonitor::ReportDescriptor(65, 65, false));
    vxtest::SimHidMonitor::Options options;
    options.vendorId = "3a7e";
    options.productId = "5d03";
    vxtest::SimHidMonitor monitor(options);
    Bytes image = Workout(true);
    image.resize(880, 0);
    monitor.SetReadData(0x6E, image);
    Detect(kHidEntry, DeviceType::Hid);

    Bytes read;
    std::size_t length = 0;
    ASSERT_TRUE(session.ReadRecordBlock(read, length));
    EXPECT_EQ(Bytes(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(std::min(length, read.size()))),
              image);

    ASSERT_TRUE(SetDeviceClock(device, session));
    ASSERT_TRUE(monitor.WaitUntilAllClosed());
    const auto commands = monitor.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().command, 0x01);
    ASSERT_GE(commands.back().received.size(), 7u);
    // The HID clock counts months from 1.
    EXPECT_EQ(Bytes(commands.back().received.begin(), commands.back().received.begin() + 7),
              (Bytes{0xDA, 0x07, 12, 31, 23, 59, 30}));
    EXPECT_TRUE(sim.ScsiCommands().empty());
}
