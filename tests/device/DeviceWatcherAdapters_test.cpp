#include "device/DeviceWatcherAdapters.h"

#include "device/DeviceCommandSession.h"
#include "device/DeviceWatcher.h"
#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"
#include "tests/device/UlvexTestSupport.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <vector>

using vxtest::FakeUlvexLibrary;

namespace
{
constexpr std::uint32_t kBound = 30000;

// The program's own device objects with the watcher over them, the way the main dialog holds them.
struct WatchedDevices
{
    explicit WatchedDevices(const std::string &libraryPath)
        : device(libraryPath),
          watcher(std::make_shared<UlvexWatcherBinding>(device, ids),
                  std::make_shared<SessionWatcherHid>(session), std::make_shared<WmdmWatcherMtp>(),
                  [this](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
                      std::lock_guard<std::mutex> lock(mutex);
                      messages.push_back(msg);
                  })
    {
    }

    // Runs the start-up check on the watcher thread and ends the thread.
    void RunStartUpCheck()
    {
        ASSERT_TRUE(watcher.Start());
        ASSERT_TRUE(watcher.WaitUntilIdle(kBound));
        ASSERT_TRUE(watcher.Stop(kBound));
    }

    UlvexDevice device;
    UsbIdPair ids;
    DeviceCommandSession session;
    std::mutex mutex;
    std::vector<std::uint32_t> messages;
    DeviceWatcher watcher;
};
} // namespace

// With no library to bind nothing is found and nothing is posted, whatever the machine has plugged in;
// the table was walked to its end, so every device object holds the last entry's IDs.
TEST(DeviceWatcherAdapters, WithoutTheLibraryNothingIsFound)
{
    WatchedDevices devices("/nonexistent/libulvex.so");
    ASSERT_FALSE(devices.device.IsLoaded());
    devices.RunStartUpCheck();
    EXPECT_TRUE(devices.messages.empty());
    const FoundDevice found = devices.watcher.Found();
    EXPECT_FALSE(found.bDeviceFound);
    EXPECT_EQ(found.chDriveLetter, kNoDriveLetter);
    EXPECT_EQ(found.nHidState, kHidStateNothingFound);

    const SupportedDeviceEntry &last = kSupportedDevices.back();
    EXPECT_STREQ(devices.device.ProductId(), last.szProductId);
    EXPECT_EQ(devices.ids.ProductId(), HexToU16(last.szProductId));
    char vendor[5] = {}, product[5] = {};
    ASSERT_TRUE(devices.session.GetIds(vendor, product));
    EXPECT_STREQ(vendor, last.szVendorId);
    EXPECT_STREQ(product, last.szProductId);
}

// A removable drive without "Settings.dat" answers under every ID: the two entries that need a
// model code pass it by, and the HID model's entry takes it as a mass-storage monitor.
TEST(DeviceWatcherAdapters, MassStorageMonitorFoundThroughTheBinding)
{
    vxtest::MonitorDrive drive;
    ASSERT_NE(drive.letter, 0);
    FakeUlvexLibrary lib;
    lib.State().usbOpens = true;
    lib.State().driveFound = true;
    lib.State().driveLetter = drive.letter;
    lib.State().usbPathFound = true;
    std::snprintf(lib.State().usbDevicePath, sizeof lib.State().usbDevicePath, "%s",
                  "\\\\?\\usb#vid_3a7e&pid_5d03#0123456789abcdef0123456789abcdef#{x}");

    WatchedDevices devices(lib.Path());
    ASSERT_TRUE(devices.device.IsLoaded());
    devices.RunStartUpCheck();
    EXPECT_EQ(devices.messages, std::vector<std::uint32_t>{WM_KVT_DEVICE_ARRIVED});
    const FoundDevice found = devices.watcher.Found();
    EXPECT_TRUE(found.bDeviceFound);
    EXPECT_EQ(found.nDeviceType, DeviceType::MassStorage);
    EXPECT_EQ(found.chDriveLetter, static_cast<std::uint8_t>(drive.letter));
    EXPECT_STREQ(found.szDeviceId, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_STREQ(found.szProductId, kSupportedDevices[kHidEntry].szProductId);
    EXPECT_EQ(found.nDeviceTableFlag, 1u);
    EXPECT_EQ(devices.ids.ProductId(), HexToU16(kSupportedDevices[kHidEntry].szProductId));
    EXPECT_EQ(lib.OpenHandles(), 0);
}
