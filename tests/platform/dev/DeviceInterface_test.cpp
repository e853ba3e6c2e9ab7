#include "platform/dev/DevRoots.h"
#include "platform/dev/DeviceInterface.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Sysfs.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <unistd.h>

using vxdev::InterfaceClass;

namespace
{
vxtest::FakeUsbDevice Monitor(const char *serial)
{
    vxtest::FakeUsbDevice spec;
    spec.vid = 0x3a7e;
    spec.pid = 0x0001;
    if (serial != nullptr)
        spec.serial = serial;
    return spec;
}
} // namespace

TEST(DevRootsTest, RootsAreReadOnEveryCall)
{
    unsetenv("VORMATIK_SYSFS_ROOT");
    unsetenv("VORMATIK_DEV_ROOT");
    unsetenv("VORMATIK_PROC_ROOT");
    EXPECT_EQ(vxdev::SysfsRoot(), "/sys");
    EXPECT_EQ(vxdev::DevRoot(), "/dev");
    EXPECT_EQ(vxdev::ProcRoot(), "/proc");
    setenv("VORMATIK_SYSFS_ROOT", "/tmp/a/", 1);
    EXPECT_EQ(vxdev::SysfsRoot(), "/tmp/a");
    setenv("VORMATIK_SYSFS_ROOT", "/tmp/b", 1);
    EXPECT_EQ(vxdev::SysfsRoot(), "/tmp/b");
    unsetenv("VORMATIK_SYSFS_ROOT");
}

TEST(SysfsTest, NaturalOrderAndAttributes)
{
    EXPECT_TRUE(vxdev::NaturalLess("1-9", "1-10"));
    EXPECT_FALSE(vxdev::NaturalLess("1-10", "1-9"));
    EXPECT_TRUE(vxdev::NaturalLess("1-2", "1-2.1"));
    EXPECT_TRUE(vxdev::NaturalLess("hidraw2", "hidraw10"));
    EXPECT_FALSE(vxdev::NaturalLess("usb1", "usb1"));

    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string dev = sysfs.DeviceDir(sysfs.AddUsbDevice("usb1", 2, Monitor("SER42")));
    EXPECT_EQ(vxdev::ReadAttr(dev, "idVendor"), "3a7e");
    EXPECT_EQ(vxdev::ReadHexAttr(dev, "idVendor"), 0x3a7eu);
    EXPECT_EQ(vxdev::ReadDecAttr(dev, "bNumInterfaces"), 1);
    EXPECT_EQ(vxdev::ReadAttr(dev, "missing"), std::nullopt);
    EXPECT_EQ(vxdev::ReadHexAttr(dev, "serial"), std::nullopt);
}

TEST(UsbEnumerationTest, DeviceRecordHasWindowsStyleIdentities)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string name = sysfs.AddUsbDevice("usb1", 2, Monitor("Ser42"));

    const auto devices = vxdev::EnumerateInterfaces(InterfaceClass::UsbDevice);
    ASSERT_EQ(devices.size(), 1u);
    const auto &d = devices[0];
    EXPECT_EQ(d.instanceId, "USB\\VID_3A7E&PID_0001\\SER42");
    EXPECT_EQ(d.interfacePath, "\\\\?\\usb#vid_3a7e&pid_0001#ser42#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_TRUE(std::regex_match(d.parentInstanceId, std::regex(R"(USB\\ROOT_HUB20\\4&[0-9A-F]{8}&0)")))
        << d.parentInstanceId;
    EXPECT_EQ(d.sysfsDir, sysfs.DeviceDir(name));
    EXPECT_EQ(d.devNode, sysfs.UsbNode(name));
    EXPECT_EQ(d.devNode, sysfs.DevRoot() + "/bus/usb/001/002");
}

TEST(UsbEnumerationTest, UnusableSerialGivesStableHashedSerialWithPort)
{
    struct Case
    {
        const char *serial; // nullptr: no serial attribute
    };
    for (const Case c : {Case{nullptr}, Case{""}, Case{"A,B"}, Case{"A#B"}, Case{"A\\B"}, Case{"A\x7f"},
                         Case{"caf\xc3\xa9"}})
    {
        std::string first;
        for (int round = 0; round < 2; ++round)
        {
            vxtest::FakeSysfs sysfs;
            sysfs.AddRootHub(1);
            sysfs.AddUsbDevice("usb1", 3, Monitor(c.serial));
            const auto devices = vxdev::EnumerateUsbDevices();
            ASSERT_EQ(devices.size(), 1u);
            const std::string &id = devices[0].instanceId;
            EXPECT_TRUE(std::regex_match(id, std::regex(R"(USB\\VID_3A7E&PID_0001\\5&[0-9A-F]{8}&0&3)")))
                << id;
            if (round == 0)
                first = id;
            else
                EXPECT_EQ(id, first) << "the hashed serial must not depend on where the tree lies";
        }
    }
}

TEST(UsbEnumerationTest, SkipsRootHubsAndInterfacesAndSortsByBusAndPort)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(2);
    sysfs.AddRootHub(1);
    sysfs.AddUsbDevice("usb1", 10, Monitor("TEN"));
    sysfs.AddUsbDevice("usb2", 1, Monitor("TWO"));
    sysfs.AddUsbDevice("usb1", 9, Monitor("NINE"));

    const auto devices = vxdev::EnumerateUsbDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].instanceId, "USB\\VID_3A7E&PID_0001\\NINE");
    EXPECT_EQ(devices[1].instanceId, "USB\\VID_3A7E&PID_0001\\TEN");
    EXPECT_EQ(devices[2].instanceId, "USB\\VID_3A7E&PID_0001\\TWO");
}

TEST(UsbEnumerationTest, HubsAreRootHubsAndClass09Devices)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4, 480);
    sysfs.AddRootHub(2, 4, 5000);
    const std::string hubName = sysfs.AddUsbDevice("usb1", 1, vxtest::UsbHubDevice(4));
    const std::string dev = sysfs.AddUsbDevice(hubName, 3, Monitor("S1"));
    EXPECT_EQ(dev, "1-1.3");

    const auto hubs = vxdev::EnumerateUsbHubs();
    ASSERT_EQ(hubs.size(), 3u);
    EXPECT_EQ(hubs[0].instanceId.rfind("USB\\VID_05E3&PID_0610\\5&", 0), 0u) << hubs[0].instanceId;
    EXPECT_EQ(hubs[0].interfacePath.find("#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"),
              hubs[0].interfacePath.size() - 39);
    EXPECT_EQ(hubs[1].instanceId.rfind("USB\\ROOT_HUB20\\", 0), 0u) << hubs[1].instanceId;
    EXPECT_EQ(hubs[2].instanceId.rfind("USB\\ROOT_HUB30\\", 0), 0u) << hubs[2].instanceId;
    EXPECT_EQ(hubs[1].parentInstanceId, "");

    // The device behind the external hub names that hub as its parent.
    const auto devices = vxdev::EnumerateUsbDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].instanceId, "USB\\VID_3A7E&PID_0001\\S1");
    EXPECT_EQ(devices[1].parentInstanceId, hubs[0].instanceId);
    EXPECT_EQ(devices[0].parentInstanceId, hubs[1].instanceId);
}

TEST(HidEnumerationTest, HidrawNodesOnTheUsbBus)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string single = sysfs.AddUsbDevice("usb1", 1, Monitor("ONE"));
    vxtest::FakeUsbDevice composite = Monitor("TWO");
    composite.pid = 0x0003;
    composite.numInterfaces = 2;
    const std::string multi = sysfs.AddUsbDevice("usb1", 2, composite);
    sysfs.AddNonUsbHidraw(0x0005, 0x3a7e, 0x0009);
    EXPECT_EQ(sysfs.AddHidraw(single, 0, {0x06, 0x00, 0xff}), "hidraw1");
    EXPECT_EQ(sysfs.AddHidraw(multi, 1, {0x06, 0x00, 0xff}), "hidraw2");

    const auto hids = vxdev::EnumerateInterfaces(InterfaceClass::Hid);
    ASSERT_EQ(hids.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(hids[0].instanceId, std::regex(R"(HID\\VID_3A7E&PID_0001\\7&[0-9A-F]{8}&0&0000)")))
        << hids[0].instanceId;
    EXPECT_EQ(hids[0].parentInstanceId, "USB\\VID_3A7E&PID_0001\\ONE");
    EXPECT_EQ(hids[0].devNode, sysfs.DevRoot() + "/hidraw1");
    EXPECT_EQ(hids[0].interfacePath.rfind("\\\\?\\hid#vid_3a7e&pid_0001#7&", 0), 0u);
    EXPECT_NE(hids[0].interfacePath.find("#{4d1e55b2-f16f-11cf-88cb-001111000030}"), std::string::npos);

    EXPECT_TRUE(std::regex_match(hids[1].instanceId,
                                 std::regex(R"(HID\\VID_3A7E&PID_0003&MI_01\\7&[0-9A-F]{8}&0&0000)")))
        << hids[1].instanceId;
    EXPECT_TRUE(std::regex_match(hids[1].parentInstanceId,
                                 std::regex(R"(USB\\VID_3A7E&PID_0003&MI_01\\6&[0-9A-F]{8}&0&0001)")))
        << hids[1].parentInstanceId;
    EXPECT_EQ(vxdev::ReadBinaryAttr(hids[1].sysfsDir, "report_descriptor"),
              (std::vector<unsigned char>{0x06, 0x00, 0xff}));
}

TEST(HidEnumerationTest, HidSequenceNumbersBeyondFourDigits)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string monitor = sysfs.AddUsbDevice("usb1", 1, Monitor("ONE"));
    sysfs.SetNextHidSequence(0x1000A);
    sysfs.AddHidraw(monitor, 0, {0x06, 0x00, 0xff});
    const auto hids = vxdev::EnumerateInterfaces(InterfaceClass::Hid);
    ASSERT_EQ(hids.size(), 1u);
    EXPECT_EQ(vxdev::BaseName(hids[0].sysfsDir), "0003:3A7E:0001.1000A");
    EXPECT_EQ(hids[0].instanceId.rfind("HID\\VID_3A7E&PID_0001\\7&", 0), 0u) << hids[0].instanceId;
}

TEST(DeviceOpenTest, OpensByExactPathAndMapsHandleBack)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string name = sysfs.AddUsbDevice("usb1", 2, Monitor("SER42"));
    sysfs.AddHidraw(name, 0, {0x06});
    const auto device = vxdev::EnumerateUsbDevices().at(0);

    const int fd =
        vxdev::OpenInterface(InterfaceClass::UsbDevice, device.interfacePath, vxdev::OpenAccess::None);
    ASSERT_GE(fd, 0);
    const auto back = vxdev::InterfaceOfHandle(fd);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->instanceId, device.instanceId);
    EXPECT_EQ(back->sysfsDir, sysfs.DeviceDir(name));
    close(fd);

    const auto hid = vxdev::EnumerateHidDevices().at(0);
    const int hidFd =
        vxdev::OpenInterface(InterfaceClass::Hid, hid.interfacePath, vxdev::OpenAccess::ReadWrite);
    ASSERT_GE(hidFd, 0);
    EXPECT_EQ(vxdev::InterfaceOfHandle(hidFd)->interfacePath, hid.interfacePath);
    close(hidFd);

    // Only an exact path of the right class opens.
    EXPECT_EQ(vxdev::OpenInterface(InterfaceClass::UsbDevice, vxdev::ToUpperAscii(device.interfacePath),
                                   vxdev::OpenAccess::None),
              -1);
    EXPECT_EQ(vxdev::OpenInterface(InterfaceClass::Hid, device.interfacePath, vxdev::OpenAccess::None), -1);
    EXPECT_EQ(vxdev::OpenInterface(InterfaceClass::UsbDevice, device.interfacePath.substr(0, 20),
                                   vxdev::OpenAccess::None),
              -1);
    EXPECT_FALSE(vxdev::InterfaceOfHandle(-1).has_value());
}

TEST(DeviceOpenTest, MissingDeviceNodeDoesNotOpenOrCreate)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string name = sysfs.AddUsbDevice("usb1", 2, Monitor("SER42"));
    const std::string node = sysfs.UsbNode(name);
    ASSERT_EQ(unlink(node.c_str()), 0);
    const auto device = vxdev::EnumerateUsbDevices().at(0);
    EXPECT_EQ(
        vxdev::OpenInterface(InterfaceClass::UsbDevice, device.interfacePath, vxdev::OpenAccess::ReadWrite),
        -1);
    EXPECT_FALSE(vxdev::Exists(node));
}

TEST(DeviceOpenTest, NodesOpenByNameAndHandlesMoveUpAndClose)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string name = sysfs.AddUsbDevice("usb1", 2, Monitor("SER42"));
    const std::string node = sysfs.UsbNode(name);
    const auto device = vxdev::EnumerateUsbDevices().at(0);

    const int fd = vxdev::OpenDeviceNode(node, vxdev::OpenAccess::None);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(vxdev::InterfaceOfHandle(fd)->instanceId, device.instanceId);

    const int moved = vxdev::DuplicateHandleAbove(fd, 100);
    ASSERT_GE(moved, 100);
    EXPECT_EQ(vxdev::InterfaceOfHandle(moved)->instanceId, device.instanceId);
    EXPECT_TRUE(vxdev::CloseHandle(fd));
    EXPECT_EQ(vxdev::InterfaceOfHandle(moved)->instanceId, device.instanceId)
        << "the copy outlives the original";
    EXPECT_TRUE(vxdev::CloseHandle(moved));
    EXPECT_TRUE(vxdev::CloseHandle(-1)) << "no handle is nothing to close";
    EXPECT_EQ(vxdev::DuplicateHandleAbove(-1, 3), -1);

    const struct
    {
        vxdev::OpenAccess access;
        int accessMode; // O_PATH or the O_ACCMODE bits
        bool nonBlocking;
    } modes[] = {
        {vxdev::OpenAccess::None, O_PATH, false},
        {vxdev::OpenAccess::ReadWrite, O_RDWR, false},
        {vxdev::OpenAccess::ReadWriteNonBlocking, O_RDWR, true},
    };
    for (const auto &m : modes)
    {
        SCOPED_TRACE(static_cast<int>(m.access));
        const int opened = vxdev::OpenDeviceNode(node, m.access);
        ASSERT_GE(opened, 0);
        const int flags = fcntl(opened, F_GETFL);
        EXPECT_EQ(m.accessMode == O_PATH ? (flags & O_PATH) : (flags & O_ACCMODE), m.accessMode);
        EXPECT_EQ((flags & O_NONBLOCK) != 0, m.nonBlocking);
        EXPECT_TRUE(vxdev::CloseHandle(opened));
    }

    EXPECT_EQ(vxdev::OpenDeviceNode("", vxdev::OpenAccess::None), -1);
    ASSERT_EQ(unlink(node.c_str()), 0);
    EXPECT_EQ(vxdev::OpenDeviceNode(node, vxdev::OpenAccess::ReadWrite), -1);
    EXPECT_FALSE(vxdev::Exists(node)) << "a missing node is not created";
}

TEST(RealRootsTest, EnumerationOfThisMachineDoesNotFail)
{
    unsetenv("VORMATIK_SYSFS_ROOT");
    unsetenv("VORMATIK_DEV_ROOT");
    unsetenv("VORMATIK_PROC_ROOT");
    // Whatever this machine has, every record is complete and the device nodes lie below /dev.
    for (const InterfaceClass cls :
         {InterfaceClass::UsbDevice, InterfaceClass::UsbHub, InterfaceClass::Hid, InterfaceClass::Disk})
    {
        for (const auto &record : vxdev::EnumerateInterfaces(cls))
        {
            EXPECT_FALSE(record.instanceId.empty());
            EXPECT_EQ(record.interfacePath.rfind("\\\\?\\", 0), 0u);
            if (!record.devNode.empty())
            {
                EXPECT_EQ(record.devNode.rfind("/dev/", 0), 0u);
            }
        }
    }
    EXPECT_EQ(vxdev::OpenInterface(InterfaceClass::UsbDevice,
                                   "\\\\?\\usb#vid_3a7e&pid_0001#x#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                                   vxdev::OpenAccess::None),
              -1);
}
