#include "platform/dev/DeviceInterface.h"
#include "platform/dev/UsbControl.h"
#include "platform/dev/UsbHub.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
vxtest::FakeUsbDevice Device(std::uint16_t pid, const char *serial)
{
    vxtest::FakeUsbDevice spec = vxtest::UsbDevice(0x3a7e, pid, serial);
    spec.bcdDevice = 0x0212;
    return spec;
}

// Restores the real transfer when a test ends.
struct ControlSeam
{
    explicit ControlSeam(vxdev::UsbControlTransferFn fn) { vxdev::SetUsbControlTransfer(std::move(fn)); }
    ~ControlSeam() { vxdev::SetUsbControlTransfer({}); }
};
} // namespace

TEST(UsbHubTest, PortCountAndPortsOfRootAndExternalHubs)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 3);
    const std::string hub = sysfs.AddUsbDevice("usb1", 1, vxtest::UsbHubDevice(7));
    sysfs.AddUsbDevice("usb1", 3, Device(0x0001, "A"));
    sysfs.AddUsbDevice(hub, 7, Device(0x0002, "B"));

    const std::string root = sysfs.DeviceDir("usb1");
    EXPECT_EQ(vxdev::HubPortCount(root), 3);
    EXPECT_EQ(vxdev::HubPortCount(sysfs.DeviceDir(hub)), 7);
    EXPECT_EQ(vxdev::ChildNameOnPort(root, 2), "1-2");
    EXPECT_EQ(vxdev::ChildNameOnPort(sysfs.DeviceDir(hub), 2), "1-1.2");

    vxdev::UsbPortConnection c;
    ASSERT_TRUE(vxdev::QueryHubPort(root, 3, c));
    EXPECT_TRUE(c.connected);
    EXPECT_EQ(c.descriptor.idVendor, 0x3a7e);
    EXPECT_EQ(c.descriptor.idProduct, 0x0001);
    EXPECT_EQ(c.descriptor.bcdDevice, 0x0212);
    EXPECT_EQ(c.descriptor.bcdUSB, 0x0200);
    EXPECT_EQ(c.sysfsDir, sysfs.DeviceDir("1-3"));

    ASSERT_TRUE(vxdev::QueryHubPort(root, 1, c));
    EXPECT_EQ(c.descriptor.bDeviceClass, 0x09);

    // An empty port answers with a zeroed connection.
    c.connected = true;
    c.descriptor.idVendor = 1;
    ASSERT_TRUE(vxdev::QueryHubPort(root, 2, c));
    EXPECT_FALSE(c.connected);
    EXPECT_EQ(c.descriptor.idVendor, 0);
    EXPECT_EQ(c.descriptor.idProduct, 0);

    ASSERT_TRUE(vxdev::QueryHubPort(sysfs.DeviceDir(hub), 7, c));
    EXPECT_EQ(c.descriptor.idProduct, 0x0002);

    for (int bad : {0, -1, 4, 256})
        EXPECT_FALSE(vxdev::QueryHubPort(root, bad, c)) << bad;
    EXPECT_FALSE(vxdev::HubPortCount(sysfs.Root() + "/nowhere").has_value());
    EXPECT_FALSE(vxdev::QueryHubPort(sysfs.Root() + "/nowhere", 1, c));
}

TEST(UsbControlTest, StringDescriptorRequestGoesToTheDeviceOnThePort)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string dev = sysfs.AddUsbDevice("usb1", 2, Device(0x0001, "A"));

    std::string seenNode;
    vxdev::UsbControlSetup seen;
    ControlSeam seam([&](const std::string &node, const vxdev::UsbControlSetup &setup, unsigned char *data) {
        seenNode = node;
        seen = setup;
        const unsigned char reply[] = {6, 3, 'H', 0, 'i', 0};
        std::memcpy(data, reply, sizeof reply);
        return static_cast<int>(sizeof reply);
    });

    unsigned char buffer[255] = {};
    EXPECT_EQ(vxdev::GetStringDescriptorOnHubPort(sysfs.DeviceDir("usb1"), 2, 3, 0x0409, buffer), 6);
    EXPECT_EQ(seenNode, sysfs.UsbNode(dev));
    EXPECT_EQ(seen.bRequestType, 0x80);
    EXPECT_EQ(seen.bRequest, 0x06);
    EXPECT_EQ(seen.wValue, 0x0303);
    EXPECT_EQ(seen.wIndex, 0x0409);
    EXPECT_EQ(seen.wLength, 255);
    EXPECT_EQ(buffer[2], 'H');

    // Empty or missing ports send nothing.
    seenNode.clear();
    EXPECT_EQ(vxdev::GetStringDescriptorOnHubPort(sysfs.DeviceDir("usb1"), 1, 3, 0x0409, buffer), -1);
    EXPECT_EQ(vxdev::GetStringDescriptorOnHubPort(sysfs.DeviceDir("usb1"), 9, 3, 0x0409, buffer), -1);
    EXPECT_EQ(seenNode, "");
}

TEST(UsbControlTest, UsbfsTransferOnAPlainFileFails)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    sysfs.AddUsbDevice("usb1", 2, Device(0x0001, "A"));
    unsigned char buffer[255] = {};
    // No seam: the real ioctl on a fixture file is refused.
    EXPECT_EQ(vxdev::GetStringDescriptorOnHubPort(sysfs.DeviceDir("usb1"), 2, 1, 0x0409, buffer), -1);
}
