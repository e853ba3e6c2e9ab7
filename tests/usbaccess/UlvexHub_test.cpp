#include "usbaccess/ulvex_api.h"

#include "platform/dev/DeviceOpen.h"
#include "platform/dev/UsbControl.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using vxtest::UsbDevice;
using vxtest::UsbHubDevice;

namespace
{
constexpr const char *kHubGuid = "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

std::string ParentOf(const char *vid, const char *pid)
{
    char path[300];
    char parent[300];
    if (!GetUSBDevicePath(vid, pid, path, sizeof path, parent, sizeof parent))
        return {};
    return parent;
}

std::string HubPathOf(const std::string &parentId)
{
    char hub[300];
    if (!GetUSBHubDevicePath(parentId.c_str(), static_cast<unsigned>(parentId.size()), hub, sizeof hub))
        return {};
    return hub;
}

// Opens the hub a device hangs on, found the way the string-descriptor request finds it:
// device path and parent ID, then the hub whose ID that is.
int OpenParentHub(const char *vid, const char *pid)
{
    const std::string hubPath = HubPathOf(ParentOf(vid, pid));
    if (hubPath.empty())
        return -1;
    return vxdev::OpenInterface(vxdev::InterfaceClass::UsbHub, hubPath, vxdev::OpenAccess::None);
}

// A simulated device answering string-descriptor requests with a fixed reply.
struct DescriptorReply
{
    std::vector<unsigned char> bytes;
    int count; // what the transfer reports
};

struct ScopedReply
{
    explicit ScopedReply(DescriptorReply reply, std::vector<vxdev::UsbControlSetup> *seen = nullptr)
    {
        vxdev::SetUsbControlTransfer(
            [reply, seen](const std::string &, const vxdev::UsbControlSetup &setup, unsigned char *data) {
                if (seen != nullptr)
                    seen->push_back(setup);
                if (!reply.bytes.empty())
                    std::memcpy(data, reply.bytes.data(),
                                std::min<std::size_t>(reply.bytes.size(), setup.wLength));
                return reply.count;
            });
    }
    ~ScopedReply() { vxdev::SetUsbControlTransfer({}); }
};

DescriptorReply StringDescriptor(const std::u16string &text)
{
    DescriptorReply reply;
    reply.bytes.push_back(static_cast<unsigned char>(2 + 2 * text.size()));
    reply.bytes.push_back(3);
    for (const char16_t c : text)
    {
        reply.bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        reply.bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    reply.count = static_cast<int>(reply.bytes.size());
    return reply;
}
} // namespace

TEST(GetUSBHubDevicePathTest, ParentAndHubRoundTrip)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4);
    sysfs.AddRootHub(2, 4, 5000);
    const std::string hub = sysfs.AddUsbDevice("usb2", 1, UsbHubDevice(4, "HUBSER"));
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "A"));
    sysfs.AddUsbDevice(hub, 3, UsbDevice(0x3a7e, 0x0002, "B"));

    const std::string rootParent = ParentOf("3a7e", "0001");
    const std::string rootHubPath = HubPathOf(rootParent);
    ASSERT_FALSE(rootHubPath.empty()) << rootParent;
    EXPECT_EQ(rootHubPath.rfind("\\\\?\\usb#root_hub20#4&", 0), 0u) << rootHubPath;
    EXPECT_EQ(rootHubPath.substr(rootHubPath.size() - std::strlen(kHubGuid)), kHubGuid);

    const std::string hubParent = ParentOf("3a7e", "0002");
    EXPECT_EQ(hubParent, "USB\\VID_05E3&PID_0610\\HUBSER");
    EXPECT_EQ(HubPathOf(hubParent), std::string("\\\\?\\usb#vid_05e3&pid_0610#hubser#") + kHubGuid);
    // The ID is matched without regard to case.
    EXPECT_EQ(HubPathOf("usb\\vid_05e3&pid_0610\\hubser"), HubPathOf(hubParent));
}

TEST(GetUSBHubDevicePathTest, EmptyOrPrefixIdsMatchNoHub)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4);
    sysfs.AddUsbDevice("usb1", 1, UsbHubDevice(4, "HUB10"));
    sysfs.AddUsbDevice("usb1", 2, UsbHubDevice(4, "HUB1"));

    const std::string exact = HubPathOf("USB\\VID_05E3&PID_0610\\HUB1");
    EXPECT_NE(exact.find("#hub1#"), std::string::npos) << exact;

    for (const char *id : {"", "U", "USB", "USB\\", "USB\\ROOT_HUB20", "USB\\VID_05E3&PID_0610",
                           "USB\\VID_05E3&PID_0610\\HUB", "USB\\VID_05E3&PID_0610\\HUB1\\{F18A0E88"})
        EXPECT_EQ(HubPathOf(id), "") << id;

    // Only the given length of the ID counts.
    const char *longer = "USB\\VID_05E3&PID_0610\\HUB10";
    char hub[300];
    ASSERT_EQ(GetUSBHubDevicePath(longer, 26, hub, sizeof hub), 1);
    EXPECT_NE(std::string(hub).find("#hub1#"), std::string::npos) << hub;
    EXPECT_EQ(GetUSBHubDevicePath(longer, 0, hub, sizeof hub), 0);

    EXPECT_EQ(GetUSBHubDevicePath(nullptr, 5, hub, sizeof hub), 0);
    EXPECT_EQ(GetUSBHubDevicePath(longer, 27, nullptr, 100), 0);

    char small[10 + 2];
    std::memset(small, '#', sizeof small);
    ASSERT_EQ(GetUSBHubDevicePath(longer, 27, small, 10), 1);
    EXPECT_STREQ(small, "\\\\?\\usb#v");
    EXPECT_EQ(small[10], '#');
}

TEST(HubPortTest, PortCountAndFirstMatchingPort)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 6);
    const std::string ext = sysfs.AddUsbDevice("usb1", 1, UsbHubDevice(7, "H"));
    sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0001, "ON3"));
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "ON2"));
    sysfs.AddUsbDevice("usb1", 5, UsbDevice(0x3a7e, 0x0009, "ON5"));
    sysfs.AddUsbDevice(ext, 7, UsbDevice(0x3a7e, 0x0007, "EXT7"));

    const int root = OpenParentHub("3a7e", "0001");
    ASSERT_GE(root, 0);
    unsigned int ports = 99;
    ASSERT_EQ(GetNumPort(root, &ports), 1);
    EXPECT_EQ(ports, 6u);

    unsigned int port = 0;
    ASSERT_EQ(GetPortIndex(0x3a7e, 0x0001, root, ports, &port), 1);
    EXPECT_EQ(port, 2u);
    ASSERT_EQ(GetPortIndex(0x3a7e, 0x0009, root, ports, &port), 1);
    EXPECT_EQ(port, 5u);
    EXPECT_EQ(GetPortIndex(0x3a7e, 0x0009, root, 4, &port), 0); // beyond the count given
    EXPECT_EQ(GetPortIndex(0x3a7e, 0x0007, root, ports, &port), 0);
    // Asking a port the hub does not have ends the search.
    EXPECT_EQ(GetPortIndex(0x3a7e, 0x0007, root, 7, &port), 0);
    EXPECT_EQ(GetPortIndex(0x3a7e, 0x0001, root, ports, nullptr), 0);
    close(root);

    const int hub = OpenParentHub("3a7e", "0007");
    ASSERT_GE(hub, 0);
    ASSERT_EQ(GetNumPort(hub, &ports), 1);
    EXPECT_EQ(ports, 7u);
    ASSERT_EQ(GetPortIndex(0x3a7e, 0x0007, hub, ports, &port), 1);
    EXPECT_EQ(port, 7u);
    close(hub);
}

TEST(HubPortTest, APortThatCannotBeReadEndsTheSearch)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4);
    sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0001, "ON3"));
    // Something on port 2 whose descriptor cannot be read.
    sysfs.MakeDirs(sysfs.DeviceDir("usb1") + "/1-2");

    const int root = OpenParentHub("3a7e", "0001");
    ASSERT_GE(root, 0);
    unsigned int port = 0;
    EXPECT_EQ(GetPortIndex(0x3a7e, 0x0001, root, 4, &port), 0);
    EXPECT_EQ(port, 0u);
    close(root);
}

TEST(HubPortTest, HandlesThatAreNoHubs)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4);
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "A"));

    unsigned int ports = 99;
    EXPECT_EQ(GetNumPort(ULVEX_INVALID_HANDLE_VALUE, &ports), 0);
    EXPECT_EQ(ports, 0u);
    EXPECT_EQ(GetNumPort(0, nullptr), 0);

    const int device = OpenUSBDevice("3a7e", "0001");
    ASSERT_GE(device, 0);
    ports = 99;
    EXPECT_EQ(GetNumPort(device, &ports), 0);
    EXPECT_EQ(ports, 0u);
    unsigned int port = 0;
    EXPECT_EQ(GetPortIndex(0x3a7e, 0x0001, device, 4, &port), 0);
    close(device);

    // A descriptor of something that is not a device node at all.
    const int other = open(sysfs.Root().c_str(), O_PATH | O_CLOEXEC);
    EXPECT_EQ(GetNumPort(other, &ports), 0);
    close(other);
}

TEST(GetStringDescriptorTest, ReadsTheTextThroughTheDevicesPort)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4);
    const std::string hub = sysfs.AddUsbDevice("usb1", 1, UsbHubDevice(4, "H"));
    sysfs.AddUsbDevice(hub, 3, UsbDevice(0x3a7e, 0x0001, "A"));

    std::vector<vxdev::UsbControlSetup> seen;
    ScopedReply reply(StringDescriptor(u"Step Monitor \u00e9"), &seen);
    char16_t text[64];
    ASSERT_EQ(GetStringDescriptor("3a7e", "0001", 2, text, 64), 1);
    EXPECT_EQ(std::u16string(text), u"Step Monitor \u00e9");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wValue, 0x0302);
    EXPECT_EQ(seen[0].wIndex, 0x0409);
    EXPECT_EQ(seen[0].wLength, 255);

    // Cut to the capacity less one, the rest cleared.
    char16_t small[6];
    std::fill(std::begin(small), std::end(small), u'#');
    ASSERT_EQ(GetStringDescriptor("3a7e", "0001", 2, small, 5), 1);
    EXPECT_EQ(std::u16string(small), u"Step");
    EXPECT_EQ(small[5], u'#');
}

TEST(GetStringDescriptorTest, RefusesMalformedDescriptorsAndBadArguments)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1, 4);
    sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0001, "A"));

    struct Case
    {
        const char *what;
        DescriptorReply reply;
    };
    const Case cases[] = {
        {"transfer failed", {{4, 3, 'A', 0}, -1}},
        {"no bytes", {{}, 0}},
        {"one byte", {{1}, 1}},
        {"length byte 1", {{1, 3}, 2}},
        {"length byte 0", {{0, 3}, 2}},
        {"odd length", {{5, 3, 'A', 0, 'B'}, 5}},
        {"not a string descriptor", {{4, 1, 'A', 0}, 4}},
        {"length byte disagrees with the count", {{8, 3, 'A', 0}, 4}},
        {"count longer than the length byte", {{4, 3, 'A', 0, 'B', 0}, 6}},
    };
    for (const Case &c : cases)
    {
        ScopedReply reply(c.reply);
        char16_t text[8] = u"keep";
        EXPECT_EQ(GetStringDescriptor("3a7e", "0001", 1, text, 8), 0) << c.what;
        EXPECT_EQ(std::u16string(text), u"keep") << c.what;
    }

    // The smallest valid one: no characters.
    {
        ScopedReply reply({{2, 3}, 2});
        char16_t text[8] = u"keep";
        EXPECT_EQ(GetStringDescriptor("3a7e", "0001", 1, text, 8), 1);
        EXPECT_EQ(std::u16string(text), u"");
    }

    ScopedReply reply(StringDescriptor(u"X"));
    char16_t text[8];
    EXPECT_EQ(GetStringDescriptor(nullptr, "0001", 1, text, 8), 0);
    EXPECT_EQ(GetStringDescriptor("3a7e", nullptr, 1, text, 8), 0);
    EXPECT_EQ(GetStringDescriptor("3a7e", "0001", 0, text, 8), 0);
    EXPECT_EQ(GetStringDescriptor("3a7e", "0001", 1, nullptr, 8), 0);
    EXPECT_EQ(GetStringDescriptor("3a7e", "0001", 1, text, 0), 0);
    EXPECT_EQ(GetStringDescriptor("3a7e", "0002", 1, text, 8), 0);
}
