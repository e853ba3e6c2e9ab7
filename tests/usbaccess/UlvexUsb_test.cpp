#include "usbaccess/ulvex_api.h"

#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using vxtest::UsbDevice;

namespace
{
constexpr const char *kUsbGuid = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

struct PathResult
{
    int ok = 0;
    std::string path;
    std::string parent;
};

PathResult UsbPath(const char *vid, const char *pid)
{
    char path[512];
    char parent[512];
    PathResult r;
    r.ok = GetUSBDevicePath(vid, pid, path, sizeof path, parent, sizeof parent);
    if (r.ok)
    {
        r.path = path;
        r.parent = parent;
    }
    return r;
}
} // namespace

TEST(GetUSBDevicePathTest, FindsTheDeviceWithItsParentHub)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x1111, 0x2222, "OTHER"));
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "Ser42"));

    for (const auto &ids : {std::pair{"3a7e", "0001"}, std::pair{"3A7E", "0001"}})
    {
        const PathResult r = UsbPath(ids.first, ids.second);
        ASSERT_EQ(r.ok, 1);
        EXPECT_EQ(r.path, std::string("\\\\?\\usb#vid_3a7e&pid_0001#ser42#") + kUsbGuid);
        EXPECT_EQ(r.parent.rfind("USB\\ROOT_HUB20\\4&", 0), 0u) << r.parent;
    }
    EXPECT_EQ(IsUSBDevice("3a7e", "0001"), 1);
    EXPECT_EQ(IsUSBDevice("3a7e", "0002"), 0);
    EXPECT_EQ(IsUSBDevice("3a7e", "00011"), 0);
    EXPECT_EQ(IsUSBDevice(nullptr, "0001"), 0);
    EXPECT_EQ(IsUSBDevice("3a7e", nullptr), 0);
    EXPECT_EQ(UsbPath("3a7e", "0002").ok, 0);
}

TEST(GetUSBDevicePathTest, TwoDevicesWithTheSameIdsGiveTheFirstPort)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0001, "ON-PORT-3"));
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "ON-PORT-2"));
    const PathResult r = UsbPath("3A7E", "0001");
    ASSERT_EQ(r.ok, 1);
    EXPECT_NE(r.path.find("#on-port-2#"), std::string::npos) << r.path;
}

TEST(GetUSBDevicePathTest, LooksAtNoMoreThan128Interfaces)
{
    for (const int total : {128, 129})
    {
        vxtest::FakeSysfs sysfs;
        sysfs.AddRootHub(1, 255);
        for (int port = 1; port < total; ++port)
            sysfs.AddUsbDevice("usb1", port, UsbDevice(0x1111, 0x2222, "FILL" + std::to_string(port)));
        sysfs.AddUsbDevice("usb1", total, UsbDevice(0x3a7e, 0x0001, "LAST"));
        EXPECT_EQ(IsUSBDevice("3a7e", "0001"), total == 128 ? 1 : 0) << total;
    }
}

TEST(GetUSBDevicePathTest, OutputsAreBoundedAndCleared)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    // A serial long enough to make a path longer than 260 characters.
    const std::string serial(250, 'Q');
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, serial));

    const std::string expected = "\\\\?\\usb#vid_3a7e&pid_0001#" + std::string(250, 'q') + "#" + kUsbGuid;
    ASSERT_GT(expected.size(), 260u);
    char path[400];
    char parent[400];
    ASSERT_EQ(GetUSBDevicePath("3a7e", "0001", path, sizeof path, parent, sizeof parent), 1);
    EXPECT_EQ(std::string(path), expected);

    char small[16 + 4];
    char smallParent[8 + 4];
    std::memset(small, '#', sizeof small);
    std::memset(smallParent, '#', sizeof smallParent);
    ASSERT_EQ(GetUSBDevicePath("3a7e", "0001", small, 16, smallParent, 8), 1);
    EXPECT_EQ(std::string(small), expected.substr(0, 15));
    EXPECT_EQ(std::string(smallParent), "USB\\ROO");
    EXPECT_EQ(small[16], '#');
    EXPECT_EQ(smallParent[8], '#');

    // Cleared before the copy: nothing of an earlier text remains.
    std::memset(path, 'Z', sizeof path);
    ASSERT_EQ(GetUSBDevicePath("3a7e", "0001", path, sizeof path, nullptr, 0), 1);
    for (std::size_t i = expected.size(); i < sizeof path; ++i)
        ASSERT_EQ(path[i], '\0') << i;

    // A null path output (or one without room) fails; a null parent output is skipped.
    EXPECT_EQ(GetUSBDevicePath("3a7e", "0001", nullptr, 100, parent, sizeof parent), 0);
    EXPECT_EQ(GetUSBDevicePath("3a7e", "0001", path, 0, parent, sizeof parent), 0);
}

TEST(OpenUSBDeviceTest, OpensThePresentDeviceOnly)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string name = sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "S"));

    const int fd = OpenUSBDevice("3a7e", "0001");
    ASSERT_NE(fd, ULVEX_INVALID_HANDLE_VALUE);
    char target[512] = {};
    ASSERT_GT(readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sysfs.UsbNode(name));
    // No access rights: the descriptor cannot be read from.
    char byte = 0;
    EXPECT_EQ(read(fd, &byte, 1), -1);
    close(fd);

    EXPECT_EQ(OpenUSBDevice("3a7e", "0002"), ULVEX_INVALID_HANDLE_VALUE);
    ASSERT_EQ(unlink(sysfs.UsbNode(name).c_str()), 0);
    EXPECT_EQ(OpenUSBDevice("3a7e", "0001"), ULVEX_INVALID_HANDLE_VALUE);
}

TEST(HidDeviceTest, PathAndOpenOverTheHidClass)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string plain = sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "NOHID"));
    vxtest::FakeUsbDevice composite = UsbDevice(0x3a7e, 0x0003, "HIDDEV");
    composite.numInterfaces = 2;
    const std::string dongle = sysfs.AddUsbDevice("usb1", 2, composite);
    const std::string node = sysfs.AddHidraw(dongle, 1, {0x06, 0x00, 0xff, 0x09, 0x01});
    (void)plain;

    char path[300];
    char parent[300];
    ASSERT_EQ(GetHIDDevicePath("3A7E", "0003", path, sizeof path, parent, sizeof parent), 1);
    EXPECT_EQ(std::string(path).rfind("\\\\?\\hid#vid_3a7e&pid_0003&mi_01#7&", 0), 0u) << path;
    EXPECT_NE(std::string(path).find("#{4d1e55b2-f16f-11cf-88cb-001111000030}"), std::string::npos);
    EXPECT_EQ(std::string(parent).rfind("USB\\VID_3A7E&PID_0003&MI_01\\6&", 0), 0u) << parent;

    // A USB device without a hidraw node is no HID device.
    EXPECT_EQ(GetHIDDevicePath("3a7e", "0001", path, sizeof path, parent, sizeof parent), 0);
    EXPECT_EQ(OpenHIDDevice("3a7e", "0001"), ULVEX_INVALID_HANDLE_VALUE);

    const int fd = OpenHIDDevice("3a7e", "0003");
    ASSERT_NE(fd, ULVEX_INVALID_HANDLE_VALUE);
    // Opened for reading and writing.
    EXPECT_EQ(write(fd, "x", 1), 1);
    close(fd);
    EXPECT_EQ(GetHIDDevicePath("3a7e", "0003", nullptr, 10, parent, sizeof parent), 0);
}

TEST(RealRootsTest, ThisMachineHasNoMonitorAndNothingFails)
{
    unsetenv("VORMATIK_SYSFS_ROOT");
    unsetenv("VORMATIK_DEV_ROOT");
    unsetenv("VORMATIK_PROC_ROOT");
    char path[300] = "untouched";
    char parent[300] = "untouched";
    EXPECT_EQ(IsUSBDevice("3a7e", "0001"), 0);
    EXPECT_EQ(GetUSBDevicePath("3a7e", "0001", path, sizeof path, parent, sizeof parent), 0);
    EXPECT_EQ(GetHIDDevicePath("3a7e", "0001", path, sizeof path, parent, sizeof parent), 0);
    EXPECT_STREQ(path, "untouched");
    EXPECT_STREQ(parent, "untouched");
    EXPECT_EQ(OpenUSBDevice("3a7e", "0001"), ULVEX_INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenHIDDevice("3a7e", "0001"), ULVEX_INVALID_HANDLE_VALUE);
    const char *rootHub = "USB\\ROOT_HUB30\\4&00000000&0";
    EXPECT_EQ(GetUSBHubDevicePath(rootHub, static_cast<unsigned>(std::strlen(rootHub)), path, sizeof path),
              0);
    char16_t text[64] = u"untouched";
    EXPECT_EQ(GetStringDescriptor("3a7e", "0001", 2, text, 64), 0);
    EXPECT_EQ(std::u16string(text), u"untouched");
}
