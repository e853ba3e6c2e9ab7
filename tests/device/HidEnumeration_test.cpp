#include "device/HidEnumeration.h"
#include "device/HidReport.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace
{
namespace fs = std::filesystem;

class ScopedEnv
{
  public:
    ScopedEnv(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old, m_hadOld = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_hadOld)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

  private:
    const char *m_name;
    std::string m_old;
    bool m_hadOld = false;
};

class HidEnumerationTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_root = vxtest::MakeTempDir("sysfs");
        m_dev = vxtest::MakeTempDir("dev");
    }

    void AddHidraw(const std::string &name, const std::string &hidId, const std::string &descriptor = "")
    {
        const fs::path device = fs::path(m_root) / "class/hidraw" / name / "device";
        fs::create_directories(device);
        std::ofstream(device / "uevent")
            << "DRIVER=hid-generic\nHID_ID=" << hidId
            << "\nHID_NAME=Sim Monitor\nMODALIAS=hid:b0003g0001v00003A7Ep00000001\n";
        if (!descriptor.empty())
            std::ofstream(device / "report_descriptor", std::ios::binary) << descriptor;
    }

    std::string m_root;
    std::string m_dev;
};

TEST_F(HidEnumerationTest, ListsUsbHidrawNodesInNumberOrderWithWindowsStylePaths)
{
    AddHidraw("hidraw10", "0003:0000046D:0000C31C");
    AddHidraw("hidraw2", "0003:00003A7E:000000AB");
    AddHidraw("hidraw3", "0005:00003A7E:00000001"); // Bluetooth: not a USB interface
    AddHidraw("hidrawx", "0003:00003A7E:00000001"); // not a hidraw node name
    ScopedEnv sysfs("VORMATIK_SYSFS_ROOT", m_root);
    ScopedEnv dev("VORMATIK_DEV_ROOT", m_dev + "/");

    const std::vector<HidInterfaceRecord> records = EnumerateHidrawInterfaces();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].interfacePath,
              u"\\\\?\\hid#vid_3a7e&pid_00ab#hidraw2#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(records[0].deviceNode, m_dev + "/hidraw2");
    EXPECT_EQ(records[1].interfacePath,
              u"\\\\?\\hid#vid_046d&pid_c31c#hidraw10#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(records[1].deviceNode, m_dev + "/hidraw10");
}

TEST_F(HidEnumerationTest, MissingClassFolderGivesNothing)
{
    ScopedEnv sysfs("VORMATIK_SYSFS_ROOT", m_root);
    EXPECT_TRUE(EnumerateHidrawInterfaces().empty());
}

TEST_F(HidEnumerationTest, ReportDescriptorComesFromSysfs)
{
    const std::string bytes("\x06\x00\xFF\x09\x01\xA1\x01\xC0", 8);
    AddHidraw("hidraw0", "0003:00003A7E:00000001", bytes);
    AddHidraw("hidraw1", "0003:00003A7E:00000002");
    ScopedEnv sysfs("VORMATIK_SYSFS_ROOT", m_root);
    ScopedEnv dev("VORMATIK_DEV_ROOT", m_dev);

    const std::vector<HidInterfaceRecord> records = EnumerateHidrawInterfaces();
    ASSERT_EQ(records.size(), 2u);
    std::vector<std::uint8_t> descriptor;
    ASSERT_TRUE(ReadHidrawReportDescriptor(records[0], -1, descriptor));
    EXPECT_EQ(descriptor, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    // No attribute and no open device to ask.
    EXPECT_FALSE(ReadHidrawReportDescriptor(records[1], -1, descriptor));
    EXPECT_TRUE(descriptor.empty());
}

// The default hooks end to end on a fixture tree: the node is a plain file, so what the
// layer writes can be read back.
TEST_F(HidEnumerationTest, DefaultHooksOpenTheEnumeratedNode)
{
    const std::vector<std::uint8_t> descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
                                                  0x95, 0x40, 0x81, 0x02, 0x95, 0x40, 0x91, 0x02, 0xC0};
    AddHidraw("hidraw0", "0003:0000046D:0000C31C");
    AddHidraw("hidraw1", "0003:00003A7E:00000001", std::string(descriptor.begin(), descriptor.end()));
    std::ofstream(fs::path(m_dev) / "hidraw0");
    std::ofstream(fs::path(m_dev) / "hidraw1");
    ScopedEnv sysfs("VORMATIK_SYSFS_ROOT", m_root);
    ScopedEnv dev("VORMATIK_DEV_ROOT", m_dev);
    HidHooks hooks; // defaults, but no real pause
    std::vector<unsigned> pauses;
    hooks.sleep = [&pauses](unsigned ms) { pauses.push_back(ms); };
    SetHidHooks(hooks);

    EXPECT_TRUE(IsHidDeviceConnected(u"3a7e", u"0001"));
    EXPECT_FALSE(IsHidDeviceConnected(u"3a7e", u"0002"));
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    EXPECT_EQ(HidInputReportLength(), 65u);
    EXPECT_EQ(HidOutputReportLength(), 65u);
    const std::uint8_t frame[8] = {0xAB, 0x00, 0x01, 0x00, 0x01, 0, 0, 0};
    EXPECT_EQ(HidWrite(frame, sizeof frame, 0), 8u);
    HidClose();
    ResetHidHooks();
    EXPECT_EQ(pauses, std::vector<unsigned>{50});

    std::ifstream in(fs::path(m_dev) / "hidraw1", std::ios::binary);
    const std::vector<std::uint8_t> written((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    ASSERT_EQ(written.size(), 65u);
    EXPECT_EQ(written[0], 0);
    EXPECT_TRUE(std::equal(std::begin(frame), std::end(frame), written.begin() + 1));
}
} // namespace
