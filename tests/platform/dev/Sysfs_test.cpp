#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Sysfs.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// A private folder with links of every kind a resolution can meet, removed at the end.
class LinkTree : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vx-sysfs-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root + "/devices/pci0/usb1/1-1");
        fs::create_directories(m_root + "/bus/usb/devices");
        fs::create_directories(m_root + "/class");
        std::ofstream(m_root + "/devices/pci0/usb1/1-1/serial") << "SER42\n";
        std::ofstream(m_root + "/file") << "x";
        Link("../../../devices/pci0/usb1/1-1", "bus/usb/devices/1-1"); // sysfs's relative kind
        Link(m_root + "/devices/pci0/usb1", "bus/usb/devices/usb1");   // absolute
        Link("devices/1-1", "bus/usb/chain");                          // a link to a link
        Link("..", "devices/up");                                      // only climbing
        Link("../class/", "devices/slash");                            // trailing slash
        Link("pci0/../pci0/usb1", "devices/inner");                    // ".." after a name
        Link("./pci0", "devices/dot");                                 // "."
        Link("loop-b", "loop-a");
        Link("loop-a", "loop-b");
        Link("nowhere", "dangling");
        Link("file/below", "through-file");
        Link("/", "to-root");
    }

    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    void Link(const std::string &target, const std::string &at)
    {
        ASSERT_EQ(::symlink(target.c_str(), (m_root + "/" + at).c_str()), 0) << at;
    }

    static std::optional<std::string> RealPath(const std::string &path)
    {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr)
            return std::nullopt;
        return std::string(resolved);
    }

    std::string m_root;
};
} // namespace

// Within a call, paths are resolved from what the call learnt so far; the answer must be realpath()'s
// for every shape of path and link, the second time as the first.
TEST_F(LinkTree, ResolutionWithinACallIsRealpaths)
{
    const std::vector<std::string> paths = {
        "/",
        "//",
        m_root,
        m_root + "/",
        m_root + "//bus///usb/devices/1-1",
        m_root + "/bus/usb/devices/1-1",
        m_root + "/bus/usb/devices/1-1/serial",
        m_root + "/bus/usb/devices/1-1/serial/",
        m_root + "/bus/usb/devices/1-1/../1-1",
        m_root + "/bus/usb/devices/usb1/1-1",
        m_root + "/bus/usb/chain/serial",
        m_root + "/devices/up/devices/up/file",
        m_root + "/devices/slash",
        m_root + "/devices/slash/",
        m_root + "/devices/inner",
        m_root + "/devices/dot",
        m_root + "/./devices",
        m_root + "/devices/..",
        m_root + "/loop-a",
        m_root + "/dangling",
        m_root + "/through-file",
        m_root + "/file/below",
        m_root + "/missing/below",
        m_root + "/to-root/" + m_root.substr(1) + "/file",
        "relative/path",
        "",
        "/proc/self/fd/0",
        "/proc/self",
    };
    std::vector<std::optional<std::string>> outside;
    for (const std::string &path : paths)
    {
        outside.push_back(vxdev::Canonical(path));
        EXPECT_EQ(outside.back(), RealPath(path)) << path;
    }
    ASSERT_EQ(outside[5], m_root + "/devices/pci0/usb1/1-1");
    ASSERT_EQ(outside[18], std::nullopt); // the loop
    const vxdev::SysfsCallScope scope;
    for (int round = 0; round < 2; ++round)
    {
        for (std::size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(vxdev::Canonical(paths[i]), outside[i]) << paths[i] << " round " << round;
    }
}

// What a call learnt is its own: inside it a changed attribute, listing or link still reads as it did
// (one consistent view), a nested call shares that view, and the next call sees the tree as it is then.
TEST_F(LinkTree, NothingLearntOutlivesTheOutermostCall)
{
    const std::string device = m_root + "/bus/usb/devices/1-1";
    const std::string folder = m_root + "/devices/pci0/usb1/1-1";
    {
        const vxdev::SysfsCallScope outer;
        EXPECT_EQ(vxdev::ReadAttr(device, "serial"), "SER42");
        EXPECT_EQ(vxdev::ListDir(folder), std::vector<std::string>{"serial"});
        EXPECT_FALSE(vxdev::Exists(folder + "/product"));
        EXPECT_EQ(vxdev::Canonical(device), folder);

        std::ofstream(folder + "/serial") << "OTHER\n";
        std::ofstream(folder + "/product") << "Step Monitor\n";
        fs::remove(device);
        {
            const vxdev::SysfsCallScope inner;
            EXPECT_EQ(vxdev::ReadAttr(device, "serial"), "SER42");
            EXPECT_FALSE(vxdev::Exists(folder + "/product"));
        }
        // The inner call ending forgets nothing of the outer one's.
        EXPECT_EQ(vxdev::ReadAttr(device, "serial"), "SER42");
        EXPECT_EQ(vxdev::ListDir(folder), std::vector<std::string>{"serial"});
        EXPECT_EQ(vxdev::Canonical(device), folder);
    }
    EXPECT_EQ(vxdev::ReadAttr(folder, "serial"), "OTHER");
    EXPECT_EQ(vxdev::ReadAttr(device, "serial"), std::nullopt);
    EXPECT_TRUE(vxdev::Exists(folder + "/product"));
    EXPECT_EQ(vxdev::ListDir(folder).size(), 2u);
    EXPECT_EQ(vxdev::Canonical(device), std::nullopt);
    const vxdev::SysfsCallScope next;
    EXPECT_EQ(vxdev::ReadAttr(folder, "serial"), "OTHER");
    EXPECT_EQ(vxdev::Canonical(device), std::nullopt);
}

// A descriptor's link under /proc names another file once its number is reused within the same call:
// it is asked afresh every time.
TEST_F(LinkTree, DescriptorLinksAreNeverRemembered)
{
    const vxdev::SysfsCallScope scope;
    const int first = ::open((m_root + "/file").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(first, 0);
    const std::string link = "/proc/self/fd/" + std::to_string(first);
    EXPECT_EQ(vxdev::Canonical(link), m_root + "/file");
    ::close(first);
    const int second = ::open((m_root + "/devices/pci0/usb1/1-1/serial").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(second, first);
    EXPECT_EQ(vxdev::Canonical(link), m_root + "/devices/pci0/usb1/1-1/serial");
    ::close(second);
}

// Enumerations one after another each see the tree as it is: a serial changed between two calls.
TEST(SysfsCallTest, EachEnumerationSeesTheTreeAfresh)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    vxtest::FakeUsbDevice monitor;
    monitor.vid = 0x3a7e;
    monitor.pid = 0x0001;
    monitor.serial = "SER42";
    const std::string dir = sysfs.DeviceDir(sysfs.AddUsbDevice("usb1", 2, monitor));
    auto records = vxdev::EnumerateUsbDevices();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].instanceId, "USB\\VID_3A7E&PID_0001\\SER42");
    std::ofstream(dir + "/serial") << "SER43\n";
    records = vxdev::EnumerateUsbDevices();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].instanceId, "USB\\VID_3A7E&PID_0001\\SER43");
}
