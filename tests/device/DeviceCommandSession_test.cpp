#include "device/DeviceCommandSession.h"

#include "device/DeviceMutex.h"
#include "platform/sys/LocalTime.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/sim_hid/SimHidMonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <string>
#include <vector>

namespace
{
using vxtest::SimHidMonitor;
using Transcript = std::vector<std::string>;

constexpr auto kSilent = SimHidMonitor::kSilent;
// Long enough for the monitor thread to answer on a loaded machine, short enough that
// the cases that wait for silence stay quick.
constexpr int kShortTimeoutMs = 300;

class SessionTest : public ::testing::Test
{
  protected:
    SessionTest() { session.SetIds("3a7e", "0001"); }

    // What the monitor saw, once the session has closed the device.
    Transcript Seen()
    {
        EXPECT_TRUE(monitor.WaitUntilAllClosed());
        return monitor.Transcript();
    }

    SimHidMonitor monitor;
    DeviceCommandSession session;
};

TEST(DeviceCommandSessionIds, NewSessionHasNothingDoneAndNoIds)
{
    DeviceCommandSession session;
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kNothingDone);
    char vendor[5], product[5];
    EXPECT_FALSE(session.GetIds(vendor, product));
}

TEST(DeviceCommandSessionIds, IdsOfFourCharactersRoundTrip)
{
    DeviceCommandSession session;
    session.SetIds("3a7e", "00AB");
    char vendor[5] = "xxxx", product[5] = "xxxx";
    ASSERT_TRUE(session.GetIds(vendor, product));
    EXPECT_STREQ(vendor, "3a7e");
    EXPECT_STREQ(product, "00AB");
    EXPECT_FALSE(session.GetIds(nullptr, product));

    // Without both texts nothing changes.
    session.SetIds(nullptr, "0002");
    ASSERT_TRUE(session.GetIds(vendor, product));
    EXPECT_STREQ(product, "00AB");
}

TEST(DeviceCommandSessionIds, IdsOfOtherLengthsAreInvalid)
{
    const std::pair<const char *, const char *> cases[] = {
        {"3a7", "0001"}, {"3a7e", "001"}, {"3a7e0", "0001"}, {"3a7e", "00010"}, {"", "0001"}};
    for (const auto &[vendor, product] : cases)
    {
        DeviceCommandSession session;
        session.SetIds("3a7e", "0001");
        session.SetIds(vendor, product);
        char v[5], p[5];
        EXPECT_FALSE(session.GetIds(v, p)) << vendor << " " << product;
    }
}

TEST_F(SessionTest, LongIdReachesNoDevice)
{
    // "3a7e0" must not be cut to the monitor's "3a7e".
    session.SetIds("3a7e0", "0001");
    std::vector<std::uint8_t> image;
    std::size_t length = 1;
    EXPECT_FALSE(session.ReadRecordBlock(image, length));
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kBusy);
    EXPECT_EQ(monitor.Opens(), 0);
}

TEST_F(SessionTest, WriteRecordBlockPadsTo220Bytes)
{
    std::vector<std::uint8_t> block(208);
    std::iota(block.begin(), block.end(), 1);
    ASSERT_TRUE(session.WriteRecordBlock(block.data(), block.size()));
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kReady);
    EXPECT_EQ(Seen(), (Transcript{"mode 01", "mode-status 00", "command 1c send 220", "data-in 220",
                                  "final-status 00"}));

    const auto commands = monitor.Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].frame, (std::array<std::uint8_t, 8>{0xAB, 0x00, 0xDC, 0x00, 0x1C, 0, 0, 0}));
    const std::vector<std::uint8_t> &data = commands[0].received;
    ASSERT_EQ(data.size(), 256u); // four reports of 64
    EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin()));
    EXPECT_EQ(std::count(data.begin() + 208, data.end(), 0), 48); // 12 zero bytes, then padding

    // Every report went out with report ID 0 and the full report length.
    for (const auto &report : monitor.OutputReports())
    {
        EXPECT_EQ(report.size(), 65u);
        EXPECT_EQ(report[0], 0);
    }
    // The mode step: its frame, then the mode byte alone in a report.
    const auto reports = monitor.OutputReports();
    EXPECT_EQ(std::vector<std::uint8_t>(reports[0].begin(), reports[0].begin() + 9),
              (std::vector<std::uint8_t>{0, 0xAB, 0x00, 0x01, 0x00, 0x01, 0, 0, 0}));
    EXPECT_EQ(reports[1][1], 0x01);
    EXPECT_EQ(std::count(reports[1].begin(), reports[1].end(), 0), 64);
    EXPECT_EQ(monitor.Pauses(), std::vector<unsigned>{50});
}

TEST_F(SessionTest, WriteRecordBlockRejectsBadBlocksWithoutTouchingTheDevice)
{
    std::vector<std::uint8_t> block(221, 1);
    EXPECT_FALSE(session.WriteRecordBlock(nullptr, 10));
    EXPECT_FALSE(session.WriteRecordBlock(block.data(), 0));
    EXPECT_FALSE(session.WriteRecordBlock(block.data(), 221));
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kNothingDone);
    EXPECT_EQ(monitor.Opens(), 0);
    EXPECT_TRUE(session.WriteRecordBlock(block.data(), 220));
}

// The simulated monitor keeps what it is written: the header block lands over its image (also when
// the monitor then refuses it), the records behind stay, and the whole image sums to zero again.
TEST_F(SessionTest, AWrittenBlockIsWhatTheMonitorThenHolds)
{
    std::vector<std::uint8_t> image(880);
    std::iota(image.begin(), image.end(), 3);
    monitor.SetReadData(0x6E, image);
    std::vector<std::uint8_t> block(220, 0x11);
    for (const int status : {0, 2})
    {
        SCOPED_TRACE(status);
        block[5] = static_cast<std::uint8_t>(status + 1);
        monitor.QueueFinalStatus(status);
        EXPECT_EQ(session.WriteRecordBlock(block.data(), block.size()), status == 0);

        std::vector<std::uint8_t> read;
        std::size_t length = 0;
        ASSERT_TRUE(session.ReadRecordBlock(read, length));
        ASSERT_EQ(read, monitor.RecordImage());
        EXPECT_TRUE(std::equal(block.begin() + 1, block.end(), read.begin() + 1));
        EXPECT_TRUE(std::equal(image.begin() + 220, image.end(), read.begin() + 220));
        EXPECT_EQ(std::accumulate(read.begin(), read.end(), 0u) % 256, 0u);
    }
}

TEST_F(SessionTest, ReadRecordBlockGivesTheImage)
{
    std::vector<std::uint8_t> image(880);
    std::iota(image.begin(), image.end(), 3);
    monitor.SetReadData(0x6E, image);
    std::vector<std::uint8_t> out;
    std::size_t length = 0;
    ASSERT_TRUE(session.ReadRecordBlock(out, length));
    EXPECT_EQ(length, 880u);
    EXPECT_EQ(out, image);
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kReady);
    EXPECT_EQ(Seen(), (Transcript{"mode 00", "mode-status 00", "command 6e read 880", "data-out 880",
                                  "final-status 00"}));
    EXPECT_EQ(monitor.Commands()[0].frame,
              (std::array<std::uint8_t, 8>{0xAB, 0x01, 0x70, 0x03, 0x6E, 0, 0, 0}));
}

TEST_F(SessionTest, ModeStatusDecidesWhetherTheCommandRuns)
{
    struct Case
    {
        int status;
        std::int32_t state;
        const char *seen;
    };
    const Case cases[] = {
        {1, DeviceCommandSession::kBusy, "mode-status 01"},
        {5, DeviceCommandSession::kBadModeStatus, "mode-status 05"},
        {2, DeviceCommandSession::kBadModeStatus, "mode-status 02"},
        {kSilent, DeviceCommandSession::kBadModeStatus, "mode-status silent"},
    };
    monitor.SetReportTimeoutMs(kShortTimeoutMs);
    for (const Case &c : cases)
    {
        monitor.ClearRecords();
        monitor.SetModeStatus(c.status);
        std::vector<std::uint8_t> image(5);
        std::size_t length = 9;
        EXPECT_FALSE(session.ReadRecordBlock(image, length)) << c.status;
        EXPECT_TRUE(image.empty());
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(session.GetState(), c.state) << c.status;
        // No command after a mode status other than 0, and the device is closed.
        EXPECT_EQ(Seen(), (Transcript{"mode 00", c.seen})) << c.status;
        EXPECT_EQ(monitor.Pauses(), std::vector<unsigned>{50});
    }
}

TEST_F(SessionTest, FinalStatusDecidesTheResult)
{
    struct Case
    {
        int status;
        bool ok;
        std::int32_t state;
    };
    const Case cases[] = {
        {0, true, DeviceCommandSession::kReady},
        {1, false, DeviceCommandSession::kBusy},
        {2, false, DeviceCommandSession::kFailedAfterData},
        {7, false, DeviceCommandSession::kFailedAfterData},
        {kSilent, false, DeviceCommandSession::kFailedAfterData},
    };
    monitor.SetReportTimeoutMs(kShortTimeoutMs);
    for (const Case &c : cases)
    {
        monitor.SetFinalStatus(c.status);
        std::vector<std::uint8_t> image;
        std::size_t length = 0;
        EXPECT_EQ(session.ReadRecordBlock(image, length), c.ok) << c.status;
        EXPECT_EQ(length, c.ok ? 880u : 0u);
        EXPECT_EQ(session.GetState(), c.state) << c.status;

        const std::uint8_t block[3] = {1, 2, 3};
        EXPECT_EQ(session.WriteRecordBlock(block, 3), c.ok) << c.status;
        EXPECT_EQ(session.GetState(), c.state) << c.status;
    }
    EXPECT_TRUE(monitor.WaitUntilAllClosed());
}

TEST_F(SessionTest, ShortImageFailsThoughTheMonitorEndsReady)
{
    monitor.SetReportTimeoutMs(kShortTimeoutMs);
    monitor.SetReadData(0x6E, std::vector<std::uint8_t>(440, 0x11));
    std::vector<std::uint8_t> image;
    std::size_t length = 0;
    EXPECT_FALSE(session.ReadRecordBlock(image, length));
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kReady);
    EXPECT_EQ(Seen(), (Transcript{"mode 00", "mode-status 00", "command 6e read 880", "data-out 440",
                                  "final-status 00"}));
}

TEST_F(SessionTest, BusyMonitorThenReadyMonitor)
{
    monitor.QueueModeStatus(1);
    std::vector<std::uint8_t> image;
    std::size_t length = 0;
    EXPECT_FALSE(session.ReadRecordBlock(image, length));
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kBusy);
    EXPECT_TRUE(session.ReadRecordBlock(image, length));
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kReady);
}

TEST_F(SessionTest, MissingDeviceLeavesTheStateBusy)
{
    monitor.SetPresent(false);
    std::vector<std::uint8_t> image;
    std::size_t length = 0;
    EXPECT_FALSE(session.ReadRecordBlock(image, length));
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kBusy);
    EXPECT_FALSE(session.SetClock());
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kBusy);

    monitor.SetPresent(true);
    monitor.SetOpenFails(true);
    std::uint16_t state = 9;
    DeviceLanguageList list;
    EXPECT_FALSE(session.ReadLanguageList(state, list));
    EXPECT_EQ(state, 1);
    EXPECT_TRUE(monitor.Transcript().empty());
}

TEST_F(SessionTest, SetClockSendsTheLocalTime)
{
    struct Case
    {
        const char *tz;
        std::array<std::uint8_t, 7> data;
    };
    // 2010-12-31 23:59:30 UTC.
    vxsys::SetCurrentTimeSource([] { return int64_t{1293839970}; });
    const Case cases[] = {
        {"UTC0", {0xDA, 0x07, 12, 31, 23, 59, 30}},
        {"JST-9", {0xDB, 0x07, 1, 1, 8, 59, 30}}, // already the next year there
    };
    for (const Case &c : cases)
    {
        vxtest::ScopedTimeZone zone(c.tz);
        monitor.ClearRecords();
        ASSERT_TRUE(session.SetClock()) << c.tz;
        EXPECT_EQ(Seen(), (Transcript{"mode 02", "mode-status 00", "command 01 send 7", "data-in 7",
                                      "final-status 00"}));
        const auto commands = monitor.Commands();
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].frame, (std::array<std::uint8_t, 8>{0xAB, 0x00, 0x07, 0x00, 0x01, 0, 0, 0}));
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), commands[0].received.begin())) << c.tz;
    }
    vxsys::SetCurrentTimeSource({});
}

TEST_F(SessionTest, SetClockFailsWhenTheMonitorEndsBusy)
{
    monitor.SetFinalStatus(1);
    EXPECT_FALSE(session.SetClock());
    EXPECT_EQ(session.GetState(), DeviceCommandSession::kBusy);
}

TEST_F(SessionTest, ReadDeviceInfoGivesVersionAndIdentityHighByteFirst)
{
    std::array<std::uint8_t, 16> identity;
    std::iota(identity.begin(), identity.end(), 0);
    monitor.SetReadData(0x05, SimHidMonitor::DeviceInfoBlock(0, 2, 2, 7, 0x1234, identity));

    std::uint16_t state = 9, value = 9;
    std::uint8_t major = 9, minor = 9, build = 9;
    char id[33];
    ASSERT_TRUE(session.ReadDeviceInfo(state, major, minor, build, value, id));
    EXPECT_EQ(state, 0);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 2);
    EXPECT_EQ(build, 7);
    EXPECT_EQ(value, 0x1234);
    EXPECT_STREQ(id, "0F0E0D0C0B0A09080706050403020100");
    // No closing exchange: the block carries the status.
    EXPECT_EQ(Seen(), (Transcript{"mode 1f", "mode-status 00", "command 05 read 38", "data-out 38"}));
}

TEST_F(SessionTest, ReadDeviceInfoFailuresTable)
{
    struct Case
    {
        const char *name;
        int modeStatus;
        std::vector<std::uint8_t> block;
        std::uint16_t state;
    };
    std::array<std::uint8_t, 16> identity;
    identity.fill(0xAA);
    const Case cases[] = {
        {"busy block", 0, SimHidMonitor::DeviceInfoBlock(1, 2, 2, 7, 1, identity), 1},
        {"error in block", 0, SimHidMonitor::DeviceInfoBlock(2, 2, 2, 7, 1, identity), 2},
        {"unknown status in block", 0, SimHidMonitor::DeviceInfoBlock(9, 2, 2, 7, 1, identity), 2},
        {"no block", 0, {}, 2},
        {"busy mode status", 1, SimHidMonitor::DeviceInfoBlock(0, 2, 2, 7, 1, identity), 1},
        {"bad mode status", 4, SimHidMonitor::DeviceInfoBlock(0, 2, 2, 7, 1, identity), 3},
    };
    monitor.SetReportTimeoutMs(kShortTimeoutMs);
    for (const Case &c : cases)
    {
        monitor.SetModeStatus(c.modeStatus);
        monitor.SetReadData(0x05, c.block);
        std::uint16_t state = 9, value = 9;
        std::uint8_t major = 9, minor = 9, build = 9;
        char id[33];
        std::fill(std::begin(id), std::end(id), 'x');
        EXPECT_FALSE(session.ReadDeviceInfo(state, major, minor, build, value, id)) << c.name;
        EXPECT_EQ(state, c.state) << c.name;
        EXPECT_EQ(session.GetState(), c.state) << c.name;
        EXPECT_EQ(major + minor + build + value, 0) << c.name;
        EXPECT_STREQ(id, "") << c.name;
        EXPECT_TRUE(monitor.WaitUntilAllClosed()) << c.name;
    }
}

TEST_F(SessionTest, ReadLanguageListTurnsFlagsIntoCodes)
{
    monitor.SetReadData(0x0F, SimHidMonitor::LanguageBlock(0, {0, 1, 4}));
    std::uint16_t state = 9;
    DeviceLanguageList list;
    list.count = 7;
    ASSERT_TRUE(session.ReadLanguageList(state, list));
    EXPECT_EQ(state, 0);
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.codes, (std::vector<std::uint8_t>{0, 1, 4}));
    EXPECT_EQ(Seen(), (Transcript{"mode 03", "mode-status 00", "command 0f read 118", "data-out 118"}));

    // Only a flag of exactly 1 counts, and the last position gives code 116.
    std::vector<std::uint8_t> block = SimHidMonitor::LanguageBlock(0, {116});
    block[3] = 2;
    monitor.SetReadData(0x0F, block);
    ASSERT_TRUE(session.ReadLanguageList(state, list));
    EXPECT_EQ(list.codes, (std::vector<std::uint8_t>{116}));
}

TEST_F(SessionTest, ReadLanguageListFailures)
{
    struct Case
    {
        const char *name;
        std::vector<std::uint8_t> block;
        std::uint16_t state;
    };
    const Case cases[] = {
        // A status up to 2 in the block becomes the state, as the device information's does: a busy
        // monitor reads as busy, never as ready. Only 0 gives a list.
        {"busy block", SimHidMonitor::LanguageBlock(1, {0, 1}), 1},
        {"failed block", SimHidMonitor::LanguageBlock(2, {0, 1}), 2},
        {"error block", SimHidMonitor::LanguageBlock(5, {0, 1}), 2},
        {"short block", std::vector<std::uint8_t>(64, 0), 2},
    };
    monitor.SetReportTimeoutMs(kShortTimeoutMs);
    for (const Case &c : cases)
    {
        monitor.SetReadData(0x0F, c.block);
        std::uint16_t state = 9;
        DeviceLanguageList list;
        list.count = 2;
        list.codes = {0, 1};
        EXPECT_FALSE(session.ReadLanguageList(state, list)) << c.name;
        EXPECT_EQ(state, c.state) << c.name;
        EXPECT_EQ(session.GetState(), c.state) << c.name;
        EXPECT_EQ(list.count, 0) << c.name;
        EXPECT_TRUE(list.codes.empty()) << c.name;
    }
}

TEST_F(SessionTest, EveryExchangeHappensUnderTheDeviceMutex)
{
    std::atomic<int> reports{0}, unguarded{0};
    monitor.SetObserver([&](const std::vector<std::uint8_t> &) {
        ++reports;
        if (DeviceMutex().try_lock())
        {
            ++unguarded;
            DeviceMutex().unlock();
        }
    });
    std::uint16_t state;
    std::uint8_t major, minor, build;
    std::uint16_t value;
    char id[33];
    ASSERT_TRUE(session.ReadDeviceInfo(state, major, minor, build, value, id));
    const std::uint8_t block[1] = {1};
    ASSERT_TRUE(session.WriteRecordBlock(block, 1));
    EXPECT_TRUE(session.SetClock());
    EXPECT_GT(reports.load(), 10);
    EXPECT_EQ(unguarded.load(), 0);

    // The mutex is recursive: a caller may hold it around several operations.
    DeviceLock lock(DeviceMutex());
    EXPECT_TRUE(session.WriteRecordBlock(block, 1));
}
} // namespace
