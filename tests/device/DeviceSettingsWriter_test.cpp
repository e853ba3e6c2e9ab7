#include "device/DeviceSettingsWriter.h"

#include "platform/sys/Files.h"
#include "tests/device/WorkoutImportTestSupport.h"
#include "tests/support/sim_hid/SimHidMonitor.h"

#include <cstdio>

using namespace importtest;
using vxtest::SimHidMonitor;
using vxtest::WorkoutFileBuilder;

namespace
{
constexpr std::uint8_t kReadRecords = 0x6E;
constexpr std::uint8_t kWriteRecords = 0x1C;

std::string Hex(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// The monitor's file: its own settings and owner, a reserved byte, two records and some trailing bytes.
Bytes MonitorFile(bool extended)
{
    WorkoutFileBuilder builder(extended);
    builder.FirstName(u"Old").LastName(u"Owner").Profile(20, 0, 150, 50).HeaderByte(206, 3);
    if (extended)
    {
        const std::uint8_t settings[] = {1, 80, 15, 2, 2, 9, 4, 0xAA, 0xBB, 0x2F, 2, 2};
        for (std::size_t i = 0; i < sizeof settings; ++i)
            builder.HeaderByte(208 + i, settings[i]);
    }
    builder.AddRecord(Workout(2012, 5, 1, 7, 15, 30, 100)).AddRecord(Workout(2012, 6, 1, 8, 0, 0, 200));
    return builder.Trailing(7, 0x5A).Build();
}

class SettingsWriteFixture : public ::testing::Test
{
  protected:
    SettingsWriteFixture() : m_dir(vxtest::MakeTempDir("settings"))
    {
        context.owner = WorkoutProfile{u"Anna", u"Berg", 34, 1, 172, 64};
        context.dataFolder = vxsys::Utf8ToUtf16(m_dir);
        context.metricUnits = false;
        context.profile = UserProfileSettings{1, 1, 1, 2, 76, 101};
        context.settings = DeviceSettings{1, 0, 1, 0, 2, 3, 0x11, 0x22};
        context.firmware = FirmwareVersion{2, 3, 4};
    }
    ~SettingsWriteFixture() override { SetWorkoutFileSystemCalls({}); }

    bool Write(bool fresh = false) { return WriteDeviceSettings(context, fresh); }
    std::string LocalCopy() const { return m_dir + "/FR.TMP"; }

    // What the write should have made of a header: the owner and the context's settings.
    void ExpectPatchedHeader(const Bytes &image, bool extended) const
    {
        ASSERT_GE(image.size(), extended ? 220u : 208u);
        EXPECT_EQ(HeaderName(image, 1), u"Anna");
        EXPECT_EQ(HeaderName(image, 101), u"Berg");
        EXPECT_EQ(image[201], 34);
        EXPECT_EQ(image[202], 1);
        EXPECT_EQ(image[203] | (image[204] << 8), 172);
        EXPECT_EQ(image[205], 64);
        if (!extended)
            return;
        const std::uint8_t settings[] = {1, 76, 25, 2, 3, 4, 3, 0x11, 0x22, 0x25, 2, 2};
        EXPECT_EQ(Bytes(image.begin() + 208, image.begin() + 220), Bytes(settings, settings + 12))
            << "bit 4 (units) clear for an inch user, whatever the profile record said";
    }

    std::string m_dir;
    DeviceSettingsWriteContext context;
};

// ---- HID ----

class HidSettingsWrite : public SettingsWriteFixture
{
  protected:
    static SimHidMonitor::Options Options()
    {
        SimHidMonitor::Options options;
        options.vendorId = Hex(kVendor);
        options.productId = Hex(0x5D03);
        return options;
    }

    HidSettingsWrite() : monitor(Options())
    {
        session.SetIds(Hex(kVendor).c_str(), Hex(0x5D03).c_str());
        context.deviceType = DeviceType::Hid;
        context.hidSession = &session;
        context.extendedHeader = true;
        image = MonitorFile(true);
        image.resize(880, 0);
        monitor.SetReadData(kReadRecords, image);
    }

    std::vector<SimHidMonitor::Command> CommandsOf(std::uint8_t command)
    {
        EXPECT_TRUE(monitor.WaitUntilAllClosed());
        std::vector<SimHidMonitor::Command> found;
        for (const SimHidMonitor::Command &c : monitor.Commands())
            if (c.command == command)
                found.push_back(c);
        return found;
    }

    static Bytes Block(const SimHidMonitor::Command &write)
    {
        return Bytes(write.received.begin(),
                     write.received.begin() + std::min<std::size_t>(220, write.received.size()));
    }

    SimHidMonitor monitor;
    DeviceCommandSession session;
    Bytes image;
};

TEST_F(HidSettingsWrite, ReadsTheImageAndSendsBackItsHeaderWithANewCheckByte)
{
    ASSERT_TRUE(Write());
    EXPECT_EQ(context.profile.metric, 0u) << "the units flag is copied into the profile record";

    EXPECT_EQ(CommandsOf(kReadRecords).size(), 1u);
    const auto writes = CommandsOf(kWriteRecords);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].length, 220);
    const Bytes block = Block(writes[0]);
    ExpectPatchedHeader(block, true);
    EXPECT_EQ(block[206], 3) << "the reserved byte is kept";
    EXPECT_EQ(block[207], 2) << "the records still count";
    EXPECT_EQ(vxtest::ImageSum(block), 0);
}

TEST_F(HidSettingsWrite, AFreshHeaderIsNotReadAndCountsNoRecords)
{
    context.metricUnits = true;
    ASSERT_TRUE(Write(true));
    EXPECT_EQ(context.profile.metric, 1u);

    EXPECT_TRUE(CommandsOf(kReadRecords).empty());
    const auto writes = CommandsOf(kWriteRecords);
    ASSERT_EQ(writes.size(), 1u);
    const Bytes block = Block(writes[0]);
    EXPECT_EQ(HeaderName(block, 1), u"Anna");
    EXPECT_EQ(block[206], 0);
    EXPECT_EQ(block[207], 0);
    EXPECT_EQ(block[217], 0x35) << "bit 4 set for a metric user";
    EXPECT_EQ(vxtest::ImageSum(block), 0);
}

TEST_F(HidSettingsWrite, AFailedReadOrWriteIsAFailure)
{
    monitor.QueueFinalStatus(2); // the read
    EXPECT_FALSE(Write());
    EXPECT_TRUE(CommandsOf(kWriteRecords).empty()) << "nothing is sent without the monitor's header";

    monitor.ClearRecords();
    monitor.QueueFinalStatus(0); // the read
    monitor.QueueFinalStatus(2); // the write
    EXPECT_FALSE(Write());

    context.hidSession = nullptr;
    EXPECT_FALSE(Write(true));
}

// ---- mass storage ----

class DriveSettingsWrite : public SettingsWriteFixture
{
  protected:
    DriveSettingsWrite() { context.deviceType = DeviceType::MassStorage; }

    void SetUp() override
    {
        ASSERT_NE(drive.Letter(), 0);
        context.driveLetter = drive.Letter();
    }

    MonitorDrive drive;
};

// The file is found where the monitor keeps it, and keeps its length, records and record count: only the
// header and the check byte change.
TEST_F(DriveSettingsWrite, RewritesTheHeaderWhereverTheFileLies)
{
    for (const char *where : {"FR.DAT", "workout/FR.DAT"})
    {
        SCOPED_TRACE(where);
        for (bool extended : {false, true})
        {
            context.extendedHeader = extended;
            const Bytes file = MonitorFile(extended);
            WriteFile(drive.Path(where), file);
            ASSERT_TRUE(Write());
            const Bytes now = ReadFile(drive.Path(where));
            ASSERT_EQ(now.size(), file.size());
            ExpectPatchedHeader(now, extended);
            EXPECT_EQ(now[206], 3);
            EXPECT_EQ(now[207], 2);
            const std::size_t h = extended ? 220 : 208;
            EXPECT_EQ(Bytes(now.begin() + h, now.end()), Bytes(file.begin() + h, file.end()));
            EXPECT_EQ(vxtest::ImageSum(now), 0) << "the check byte covers the whole file";
        }
        fs::remove(drive.Path(where));
    }
}

TEST_F(DriveSettingsWrite, AFreshHeaderKeepsTheFileButCountsNoRecords)
{
    context.extendedHeader = true;
    WriteFile(drive.Path("FR.DAT"), MonitorFile(true));
    ASSERT_TRUE(Write(true));
    const Bytes now = ReadFile(drive.Path("FR.DAT"));
    EXPECT_EQ(now.size(), MonitorFile(true).size());
    EXPECT_EQ(now[207], 0);
    EXPECT_EQ(vxtest::ImageSum(now), 0);
}

TEST_F(DriveSettingsWrite, AMissingFileIsCreatedInTheWorkoutFolderOnly)
{
    context.extendedHeader = true;
    EXPECT_FALSE(Write()) << "without a workout folder there is nowhere to put it";
    EXPECT_FALSE(fs::exists(drive.Path("FR.DAT")));
    EXPECT_FALSE(fs::exists(drive.Path("workout")));

    fs::create_directories(drive.Path("workout"));
    ASSERT_TRUE(Write());
    const Bytes made = ReadFile(drive.Path("workout/FR.DAT"));
    ASSERT_EQ(made.size(), 220u);
    ExpectPatchedHeader(made, true);
    EXPECT_EQ(made[207], 0);
    EXPECT_EQ(vxtest::ImageSum(made), 0);
    EXPECT_FALSE(fs::exists(drive.Path("FR.DAT")));
}

TEST_F(DriveSettingsWrite, AFileShorterThanItsHeaderIsLeftAlone)
{
    for (bool extended : {false, true})
    {
        context.extendedHeader = extended;
        const Bytes file(extended ? 219 : 207, 0x41);
        WriteFile(drive.Path("FR.DAT"), file);
        EXPECT_FALSE(Write());
        EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), file);
    }
}

// The drive takes part of a write, or refuses the flush, or gives a short read: a failure every time.
TEST_F(DriveSettingsWrite, AnyFailedStepOfTheDriveIsAFailure)
{
    context.extendedHeader = true;
    const struct
    {
        const char *what;
        WorkoutFileSystemCalls calls;
    } cases[] = {
        {"short read",
         {[](int fd, void *data, std::size_t length, std::int64_t offset) -> std::int64_t {
              return offset > 0 ? 0 : vxsys::ReadFileAt(fd, data, length / 2, offset);
          },
          {},
          {},
          {}}},
        {"drive full half-way",
         {{},
          [](int fd, const void *data, std::size_t length, std::int64_t offset) -> std::int64_t {
              return offset > 0 ? 0 : vxsys::WriteFileAt(fd, data, length / 2, offset);
          },
          {},
          {}}},
        {"failed write",
         {{}, [](int, const void *, std::size_t, std::int64_t) -> std::int64_t { return -1; }, {}, {}}},
        {"failed flush", {{}, {}, [](int) { return -1; }, {}}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        WriteFile(drive.Path("FR.DAT"), MonitorFile(true));
        SetWorkoutFileSystemCalls(c.calls);
        EXPECT_FALSE(Write());
        SetWorkoutFileSystemCalls({});
    }
}

TEST_F(DriveSettingsWrite, ADriveWithoutALetterIsAFailure)
{
    context.driveLetter = 0;
    EXPECT_FALSE(Write());
}

// ---- MTP ----

class MtpSettingsWrite : public SettingsWriteFixture
{
  protected:
    MtpSettingsWrite()
    {
        context.deviceType = DeviceType::Mtp;
        context.extendedHeader = true;
        context.usbIds.SetFromHex(Hex(kVendor).c_str(), Hex(MtpMonitor::kProduct).c_str());
        file = MonitorFile(true);
    }

    bool FileHidden() const
    {
        const std::uint32_t handle = monitor.sim.FindChild(MtpMonitor::kStorage, monitor.workout, u"FR.DAT");
        const vxsim::SimObject *object = handle ? monitor.sim.Find(handle) : nullptr;
        return object && object->hidden;
    }

    MtpMonitor monitor;
    Bytes file;
};

TEST_F(MtpSettingsWrite, RewritesTheHeaderAndKeepsTheRecords)
{
    monitor.PutFile(file);
    ASSERT_TRUE(Write());
    const Bytes now = monitor.File();
    ASSERT_EQ(now.size(), file.size());
    ExpectPatchedHeader(now, true);
    EXPECT_EQ(now[206], 3);
    EXPECT_EQ(now[207], 2);
    EXPECT_EQ(Bytes(now.begin() + 220, now.end()), Bytes(file.begin() + 220, file.end()));
    EXPECT_EQ(vxtest::ImageSum(now), 0);
    EXPECT_TRUE(FileHidden());
    EXPECT_FALSE(fs::exists(LocalCopy()));
}

TEST_F(MtpSettingsWrite, AMissingFileInTheWorkoutFolderIsCreated)
{
    ASSERT_TRUE(Write());
    const Bytes made = monitor.File();
    ASSERT_EQ(made.size(), 220u);
    ExpectPatchedHeader(made, true);
    EXPECT_EQ(made[207], 0);
    EXPECT_EQ(vxtest::ImageSum(made), 0);
    EXPECT_TRUE(FileHidden());
    EXPECT_FALSE(fs::exists(LocalCopy()));
}

// A file that could not be downloaded is not a missing one: a fresh header over it would wipe the
// monitor's records.
TEST_F(MtpSettingsWrite, ADownloadErrorWritesNothing)
{
    monitor.PutFile(file);
    monitor.sim.ScriptResponse(vxmtp::kOpGetObject, vxmtp::kRespGeneralError);
    EXPECT_FALSE(Write());
    EXPECT_EQ(monitor.File(), file);
    EXPECT_FALSE(fs::exists(LocalCopy()));
}

TEST_F(MtpSettingsWrite, AFailedUploadIsAFailureAndKeepsTheMonitorsFile)
{
    monitor.PutFile(file);
    monitor.sim.InjectFailedSend(vxmtp::kOpSendObject);
    EXPECT_FALSE(Write());
    EXPECT_EQ(monitor.File(), file);
    EXPECT_FALSE(fs::exists(LocalCopy()));
}

TEST_F(MtpSettingsWrite, AFileShorterThanItsHeaderOrAGoneMonitorIsAFailure)
{
    const Bytes shortFile(100, 0x41);
    monitor.PutFile(shortFile);
    EXPECT_FALSE(Write());
    EXPECT_EQ(monitor.File(), shortFile);
    EXPECT_FALSE(fs::exists(LocalCopy()));

    monitor.sim.SetUnplugged(true);
    EXPECT_FALSE(Write());
    EXPECT_FALSE(fs::exists(LocalCopy()));
}

// An old local copy left by anything else is never sent to the monitor.
TEST_F(MtpSettingsWrite, AStaleLocalCopyIsNeverUsed)
{
    WriteFile(LocalCopy(), Bytes(300, 0x77));
    monitor.PutFile(file);
    monitor.sim.ScriptResponse(vxmtp::kOpGetObject, vxmtp::kRespGeneralError);
    EXPECT_FALSE(Write());
    EXPECT_EQ(monitor.File(), file);
    EXPECT_FALSE(fs::exists(LocalCopy()));
}
} // namespace
