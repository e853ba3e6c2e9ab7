#include "tests/device/WorkoutImportTestSupport.h"

#include "device/DeviceCommandSession.h"
#include "tests/support/sim_hid/SimHidMonitor.h"

#include <algorithm>
#include <cstdio>

using namespace importtest;
using vxtest::SimHidMonitor;
using vxtest::WorkoutFileBuilder;
using vxtest::WorkoutRecordSpec;

namespace
{
constexpr std::uint8_t kReadRecords = 0x6E;
constexpr std::uint8_t kWriteRecords = 0x1C;
constexpr std::uint8_t kLanguages = 0x0F;

std::string Hex(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

SimHidMonitor::Options MonitorOptions(std::uint16_t product)
{
    SimHidMonitor::Options options;
    options.vendorId = Hex(kVendor);
    options.productId = Hex(product);
    return options;
}

class HidImport : public ImportFixture
{
  protected:
    explicit HidImport(std::uint16_t product = 0x5D03) : monitor(MonitorOptions(product))
    {
        session.SetIds(Hex(kVendor).c_str(), Hex(product).c_str());
        context.deviceType = DeviceType::Hid;
        context.hidSession = &session;
        context.extendedHeader = true;
        context.firmware = FirmwareVersion{2, 2, 6};
        records = {Workout(2012, 5, 1, 7, 15, 30, 100), Workout(2012, 6, 1, 8, 0, 0, 200)};
        image = Image(0x10);
        monitor.SetReadData(kReadRecords, image);
    }

    // The 880 bytes the monitor sends: its settings in the extended header (the flags byte given),
    // the records, zeros up to the end.
    Bytes Image(std::uint8_t flags) const
    {
        WorkoutFileBuilder builder(true);
        builder.FirstName(u"Old").Profile(20, 0, 150, 50).HeaderByte(206, 3);
        const std::uint8_t settings[] = {1, 80, 15, 2, 2, 9, 4, 0xAA, 0xBB, flags, 2, 2};
        for (std::size_t i = 0; i < sizeof settings; ++i)
            builder.HeaderByte(208 + i, settings[i]);
        for (const WorkoutRecordSpec &r : records)
            builder.AddRecord(r);
        return builder.Trailing(880 - 220 - 33 * records.size()).Build();
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

    // The block of a write command as the monitor took it.
    static Bytes Block(const SimHidMonitor::Command &write)
    {
        return Bytes(write.received.begin(),
                     write.received.begin() + std::min<std::size_t>(220, write.received.size()));
    }

    SimHidMonitor monitor;
    DeviceCommandSession session;
    std::vector<WorkoutRecordSpec> records;
    Bytes image;
};

TEST_F(HidImport, StoresTheRecordsAndSendsBackTheHeaderBlock)
{
    ASSERT_EQ(Import(), kImportDone);

    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 2u);
    ExpectRun(runs[0], records[0]);
    ExpectRun(runs[1], records[1]);

    const auto writes = CommandsOf(kWriteRecords);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].length, 220);
    const Bytes block = Block(writes[0]);
    ASSERT_EQ(block.size(), 220u);
    EXPECT_EQ(vxtest::ImageSum(block), 0) << "the check byte covers the 220 bytes";
    EXPECT_EQ(block[206], 0);
    EXPECT_EQ(block[207], 0);
    EXPECT_EQ(HeaderName(block, 1), u"Anna");
    EXPECT_EQ(HeaderName(block, 101), u"Berg");
    EXPECT_EQ(block[201], 34);
    EXPECT_EQ(block[203] | (block[204] << 8), 172);
    EXPECT_FALSE(m_db.InTransaction());
}

// The monitor's settings reach the main dialog's records, and go back as they came, except the unit
// bit, which follows the user's weight unit whatever the monitor had stored.
TEST_F(HidImport, TakesTheMonitorsSettingsAndWritesTheUnitOfTheUser)
{
    const struct
    {
        const char16_t *user;
        std::uint8_t storedFlags;
        std::uint8_t sentFlags;
        std::uint32_t metric;
    } cases[] = {
        {u"anna", 0x2A, 0x3A, 1}, // kilograms: bit 4 set
        {u"ben", 0x3A, 0x2A, 0},  // pounds: bit 4 cleared
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(vxsys::Utf16ToUtf8(c.user));
        ASSERT_EQ(1, m_db.Login(c.user, u"pw"));
        monitor.SetReadData(kReadRecords, Image(c.storedFlags));
        monitor.ClearRecords();
        context.profile = UserProfileSettings{};
        context.settings = DeviceSettings{};

        ASSERT_EQ(Import(), kImportDone);

        EXPECT_EQ(context.profile.placement, 1u);
        EXPECT_EQ(context.profile.walkingStep, 80);
        EXPECT_EQ(context.profile.runningStep, 95);
        EXPECT_EQ(context.profile.doubleTapOff, 1u);
        EXPECT_EQ(context.profile.doubleTapSpeed, 2u);
        EXPECT_EQ(context.profile.metric, c.metric);
        EXPECT_EQ(context.firmware.major, 2);
        EXPECT_EQ(context.firmware.minor, 2);
        EXPECT_EQ(context.firmware.build, 9);
        EXPECT_EQ(context.settings.language, 4);
        EXPECT_EQ(context.settings.deviceValueA, 0xAAu);
        EXPECT_EQ(context.settings.deviceValueB, 0xBBu);
        EXPECT_EQ(context.settings.showTime, 0u);
        EXPECT_EQ(context.settings.showDistance, 1u);
        EXPECT_EQ(context.settings.showSteps, 0u);
        EXPECT_EQ(context.settings.showCalories, 1u);
        EXPECT_EQ(context.settings.volume, 2u);

        const auto writes = CommandsOf(kWriteRecords);
        ASSERT_EQ(writes.size(), 1u);
        const Bytes block = Block(writes[0]);
        const Bytes expected = {1, 80, 15, 2, 2, 9, 4, 0xAA, 0xBB, c.sentFlags, 2, 2};
        EXPECT_EQ(Bytes(block.begin() + 208, block.end()), expected);
    }
}

// The language list is asked for only on the HID model with firmware 2.2.7 or later; otherwise, or
// when the monitor names no language, it is English and Mandarin Chinese. The firmware that decides is
// the one known before the import (the header's version is taken afterwards).
TEST_F(HidImport, RefreshesTheLanguageListByFirmware)
{
    const struct
    {
        FirmwareVersion firmware;
        std::vector<std::uint8_t> offered;
        bool asked;
        std::vector<std::uint8_t> list;
    } cases[] = {
        {{2, 2, 6}, {0, 1, 4, 5}, false, {0, 1}}, {{2, 2, 7}, {0, 1, 4, 5}, true, {0, 1, 4, 5}},
        {{2, 3, 0}, {2, 3}, true, {2, 3}},        {{3, 0, 0}, {}, true, {0, 1}},
        {{1, 9, 9}, {0, 1, 4}, false, {0, 1}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(std::to_string(c.firmware.major) + "." + std::to_string(c.firmware.minor) + "." +
                     std::to_string(c.firmware.build));
        monitor.SetReadData(kLanguages, SimHidMonitor::LanguageBlock(0, c.offered));
        monitor.ClearRecords();
        context.firmware = c.firmware;
        context.languages = DeviceLanguageList{3, {7, 8, 9}};
        // The simulated monitor keeps its records: start each round without the runs of the last.
        ExecOnSecondConnection(u"Delete from RunInfo");
        ExecOnSecondConnection(u"Delete from Run");

        ASSERT_EQ(Import(), kImportDone);
        EXPECT_EQ(CommandsOf(kLanguages).size(), c.asked ? 1u : 0u);
        EXPECT_EQ(context.languages.codes, c.list);
        EXPECT_EQ(context.languages.count, c.list.size());
        EXPECT_EQ(context.firmware.build, 9) << "the header's version is kept afterwards";
    }
}

TEST_F(HidImport, ALanguageQueryThatFailsGivesTheTwoDefaultCodes)
{
    context.firmware = FirmwareVersion{2, 2, 7};
    monitor.SetReadData(kLanguages, SimHidMonitor::LanguageBlock(1, {0, 1, 4}));
    ASSERT_EQ(Import(), kImportDone);
    EXPECT_EQ(CommandsOf(kLanguages).size(), 1u);
    EXPECT_EQ(context.languages.codes, (std::vector<std::uint8_t>{0, 1}));
}

class OtherHidProduct : public HidImport
{
  protected:
    OtherHidProduct() : HidImport(0x5D04) {}
};

TEST_F(OtherHidProduct, IsNotAskedForItsLanguages)
{
    context.firmware = FirmwareVersion{2, 2, 7};
    ASSERT_EQ(Import(), kImportDone);
    EXPECT_TRUE(CommandsOf(kLanguages).empty());
    EXPECT_EQ(context.languages.codes, (std::vector<std::uint8_t>{0, 1}));
}

TEST_F(HidImport, ABusyMonitorIsNoDeviceOtherReadFailuresAreReadFailures)
{
    const struct
    {
        const char *what;
        int modeStatus;
        int finalStatus;
        int expected;
    } cases[] = {
        {"busy at the mode step", 1, 0, kImportNoDevice},
        {"busy at the end", 0, 1, kImportNoDevice},
        {"bad mode status", 2, 0, kImportReadFailed},
        {"failed after the data", 0, 2, kImportReadFailed},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        monitor.SetModeStatus(c.modeStatus);
        monitor.SetFinalStatus(c.finalStatus);
        monitor.ClearRecords();
        EXPECT_EQ(Import(), c.expected);
        EXPECT_TRUE(CommandsOf(kWriteRecords).empty());
        EXPECT_TRUE(StoredRuns().empty());
        EXPECT_FALSE(m_db.InTransaction());
    }
}

TEST_F(HidImport, AnAbsentMonitorIsNoDevice)
{
    monitor.SetPresent(false);
    EXPECT_EQ(Import(), kImportNoDevice);
    context.hidSession = nullptr;
    EXPECT_EQ(Import(), kImportNoDevice);
}

TEST_F(HidImport, ARejectedImageIsNotWrittenBack)
{
    records = {Workout(2008, 5, 1, 7, 15, 30, 100)};
    monitor.SetReadData(kReadRecords, Image(0));
    EXPECT_EQ(Import(), kImportDatesRejected);
    EXPECT_TRUE(CommandsOf(kWriteRecords).empty());
    EXPECT_FALSE(m_db.InTransaction());
}

// The monitor refuses the emptied header: its own header block goes back, the image is read again to
// see that every record is there, and then the runs come out of the store.
TEST_F(HidImport, AFailedWriteBackRestoresTheHeaderAndTakesTheRunsOut)
{
    monitor.QueueFinalStatus(0); // the read
    monitor.QueueFinalStatus(2); // the write-back fails
    ASSERT_EQ(Import(), kImportWriteBackFailed);

    EXPECT_TRUE(StoredRuns().empty());
    EXPECT_FALSE(m_db.InTransaction());
    const auto writes = CommandsOf(kWriteRecords);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(Block(writes[0])[207], 0);
    EXPECT_EQ(Block(writes[1]), Bytes(image.begin(), image.begin() + 220)) << "the original header block";
    EXPECT_EQ(CommandsOf(kReadRecords).size(), 2u);
}

// The monitor refuses the emptied block and then its own header block too, although both landed: it
// reads back as it was, but the restore was never confirmed, so the runs stay. The monitor shows what
// it holds, and a second import of the same records adds nothing.
TEST_F(HidImport, ARefusedRestoreKeepsTheRunsEvenWhenTheImageReadsBack)
{
    monitor.QueueFinalStatus(0); // the read
    monitor.QueueFinalStatus(2); // the emptied block
    monitor.QueueFinalStatus(2); // the original block
    EXPECT_EQ(Import(), kImportWriteBackFailed);
    EXPECT_EQ(monitor.RecordImage(), image);
    EXPECT_EQ(StoredRuns().size(), 2u);
    EXPECT_FALSE(m_db.InTransaction());

    EXPECT_EQ(Import(), kImportDatesRejected);
    EXPECT_EQ(StoredRuns().size(), 2u);
    EXPECT_EQ(monitor.RecordImage(), image);
}
} // namespace
