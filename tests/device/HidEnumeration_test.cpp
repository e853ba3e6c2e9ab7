#include "device/HidEnumeration.h"
#include "device/HidReport.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

vxtest::FakeUsbDevice UsbDevice(std::uint16_t vid, std::uint16_t pid, const std::string &serial,
                                int interfaces = 1)
{
    vxtest::FakeUsbDevice device;
    device.vid = vid;
    device.pid = pid;
    device.serial = serial;
    device.numInterfaces = interfaces;
    return device;
}

std::string Narrow(const std::u16string &text)
{
    return vxsys::Utf16ToUtf8(text);
}

// The path of a HID interface on a USB device: "\\?\hid#vid_…&pid_…[&mi_xx]#7&<hash>&0&0000#{hid}".
std::regex HidPath(const std::string &vidPid)
{
    return std::regex(R"(\\\\\?\\hid#)" + vidPid +
                      R"(#7&[0-9a-f]{8}&0&0000#\{4d1e55b2-f16f-11cf-88cb-001111000030\})");
}

TEST(HidEnumerationTest, ListsUsbHidrawNodesInNumberOrderWithWindowsStylePaths)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 12);
    // Bluetooth: not a USB interface.
    EXPECT_EQ(sysfs.AddNonUsbHidraw(0x0005, 0x3a7e, 0x0001), "hidraw0");
    // Enough nodes that "hidraw10" would sort before "hidraw2" by name.
    std::vector<std::string> nodes;
    for (int port = 1; port <= 10; ++port)
    {
        const std::string device =
            sysfs.AddUsbDevice("usb1", port, UsbDevice(0x046d, 0xc300 + port, "K" + std::to_string(port)));
        nodes.push_back(sysfs.AddHidraw(device, 0, {0x05, 0x01}));
    }
    const std::string monitor = sysfs.AddUsbDevice("usb1", 11, UsbDevice(0x3a7e, 0x00ab, "M1"));
    EXPECT_EQ(sysfs.AddHidraw(monitor, 0, {0x06, 0x00, 0xff}), "hidraw11");
    nodes.push_back("hidraw11");

    // Roots given with a trailing slash still give clean node paths.
    setenv("VORMATIK_SYSFS_ROOT", (sysfs.SysRoot() + "/").c_str(), 1);
    setenv("VORMATIK_DEV_ROOT", (sysfs.DevRoot() + "/").c_str(), 1);

    const std::vector<HidInterfaceRecord> records = EnumerateHidrawInterfaces();
    ASSERT_EQ(records.size(), 11u);
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        EXPECT_EQ(records[i].deviceNode, sysfs.DevRoot() + "/" + nodes[i]) << i;
        EXPECT_FALSE(records[i].sysfsDir.empty()) << i;
    }
    EXPECT_TRUE(std::regex_match(Narrow(records[0].interfacePath), HidPath("vid_046d&pid_c301")))
        << Narrow(records[0].interfacePath);
    EXPECT_TRUE(std::regex_match(Narrow(records[9].interfacePath), HidPath("vid_046d&pid_c30a")))
        << Narrow(records[9].interfacePath);
    EXPECT_TRUE(std::regex_match(Narrow(records[10].interfacePath), HidPath("vid_3a7e&pid_00ab")))
        << Narrow(records[10].interfacePath);
}

TEST(HidEnumerationTest, CompositeDeviceInterfaceCarriesItsInterfaceNumber)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string device = sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0001, "C1", 2));
    sysfs.AddHidraw(device, 1, {0x06, 0x00, 0xff});

    const std::vector<HidInterfaceRecord> records = EnumerateHidrawInterfaces();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(std::regex_match(Narrow(records[0].interfacePath), HidPath("vid_3a7e&pid_0001&mi_01")))
        << Narrow(records[0].interfacePath);
}

TEST(HidEnumerationTest, MissingClassFolderGivesNothing)
{
    vxtest::FakeSysfs sysfs;
    fs::remove_all(sysfs.SysRoot() + "/class/hidraw");
    EXPECT_TRUE(EnumerateHidrawInterfaces().empty());
}

TEST(HidEnumerationTest, ReportDescriptorComesFromSysfs)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::vector<std::uint8_t> bytes = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0};
    sysfs.AddHidraw(sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "A")), 0, bytes);
    sysfs.AddHidraw(sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0002, "B")), 0, {});
    sysfs.AddHidraw(sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0003, "C")), 0, {0x06});

    const std::vector<HidInterfaceRecord> records = EnumerateHidrawInterfaces();
    ASSERT_EQ(records.size(), 3u);
    std::vector<std::uint8_t> descriptor;
    ASSERT_TRUE(ReadHidrawReportDescriptor(records[0], -1, descriptor));
    EXPECT_EQ(descriptor, bytes);
    // An empty attribute, or none at all, and no open device to ask.
    EXPECT_FALSE(ReadHidrawReportDescriptor(records[1], -1, descriptor));
    EXPECT_TRUE(descriptor.empty());
    ASSERT_TRUE(fs::remove(records[2].sysfsDir + "/report_descriptor"));
    EXPECT_FALSE(ReadHidrawReportDescriptor(records[2], -1, descriptor));
    EXPECT_TRUE(descriptor.empty());
}

// The default hooks end to end on a fixture tree: the node is a plain file, so what the
// layer writes can be read back.
TEST(HidEnumerationTest, DefaultHooksOpenTheEnumeratedNode)
{
    const std::vector<std::uint8_t> descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
                                                  0x95, 0x40, 0x81, 0x02, 0x95, 0x40, 0x91, 0x02, 0xC0};
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    sysfs.AddHidraw(sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x046d, 0xc31c, "K")), 0, {0x05, 0x01});
    // The monitor as the second interface of a composite device.
    const std::string node =
        sysfs.AddHidraw(sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "M", 2)), 1, descriptor);
    HidHooks hooks; // defaults, but no real pause
    std::vector<unsigned> pauses;
    hooks.sleep = [&pauses](unsigned ms) { pauses.push_back(ms); };
    SetHidHooks(hooks);

    EXPECT_TRUE(IsHidDeviceConnected(u"3a7e", u"0001"));
    EXPECT_FALSE(IsHidDeviceConnected(u"3a7e", u"0002"));
    char16_t path[260] = {};
    const HidHandle found = FindHidDevice(u"3A7E", u"0001", kHidInterfaceClassGuid, path, 260);
    ASSERT_NE(found, kInvalidHidHandle);
    ::close(found);
    EXPECT_TRUE(std::regex_match(Narrow(path), HidPath("vid_3a7e&pid_0001&mi_01"))) << Narrow(path);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    EXPECT_EQ(HidInputReportLength(), 65u);
    EXPECT_EQ(HidOutputReportLength(), 65u);
    const std::uint8_t frame[8] = {0xAB, 0x00, 0x01, 0x00, 0x01, 0, 0, 0};
    EXPECT_EQ(HidWrite(frame, sizeof frame, 0), 8u);
    HidClose();
    ResetHidHooks();
    EXPECT_EQ(pauses, std::vector<unsigned>{50});

    std::ifstream in(sysfs.DevRoot() + "/" + node, std::ios::binary);
    const std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    ASSERT_EQ(written.size(), 65u);
    EXPECT_EQ(written[0], 0);
    EXPECT_TRUE(std::equal(std::begin(frame), std::end(frame), written.begin() + 1));
}
} // namespace
