// What the store and the monitor hold after the import failed at each point, on each of the three
// transports. Every test here is one row of the no-data-loss table in docs/architecture.md.

#include "tests/device/WorkoutImportTestSupport.h"

#include "device/DeviceCommandSession.h"
#include "platform/mtp/PtpCodec.h"
#include "platform/sys/Files.h"
#include "tests/support/sim_hid/SimHidMonitor.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

using namespace importtest;
using vxtest::WorkoutFileBuilder;
using vxtest::WorkoutRecordSpec;

namespace
{
constexpr std::uint8_t kHidReadRecords = 0x6E;
constexpr std::uint8_t kHidWriteRecords = 0x1C;

// One monitor behind one transport, with the faults the table needs.
class Transport
{
  public:
    virtual ~Transport() = default;
    virtual void Configure(WorkoutImportContext &context) = 0;
    // The monitor's file holding the records, as this kind of monitor keeps it.
    virtual Bytes FileWith(const std::vector<WorkoutRecordSpec> &records) const = 0;
    virtual void Put(const Bytes &file) = 0;
    // What the monitor holds now (empty: no file).
    virtual Bytes Held() const = 0;
    // The monitor goes away once its file has been read, and comes back.
    virtual void VanishAfterRead() = 0;
    virtual void ComeBack() = 0;
    // The emptied file does not go through; putting the original back does.
    virtual void RefuseWriteBack() = 0;
    // Neither the emptied file nor the original goes through.
    virtual void RefuseWriteBackAndRestore() = 0;
};

class DriveTransport : public Transport
{
  public:
    void Configure(WorkoutImportContext &context) override
    {
        context.deviceType = DeviceType::MassStorage;
        context.driveLetter = m_drive.Letter();
    }
    Bytes FileWith(const std::vector<WorkoutRecordSpec> &records) const override
    {
        WorkoutFileBuilder builder;
        builder.FirstName(u"Old").HeaderByte(206, 0x5A);
        for (const WorkoutRecordSpec &r : records)
            builder.AddRecord(r);
        return builder.Trailing(3, 0xEE).Build();
    }
    void Put(const Bytes &file) override { WriteFile(m_drive.Path("FR.DAT"), file); }
    Bytes Held() const override { return ReadFile(m_drive.Path("FR.DAT")); }
    // Pulled out as the write-back starts: every call on the drive fails from then on.
    void VanishAfterRead() override
    {
        auto gone = std::make_shared<bool>(false);
        SetWorkoutFileSystemCalls(
            {[gone](int fd, void *data, std::size_t length, std::int64_t offset) -> std::int64_t {
                 if (*gone)
                     return Fail(ENODEV);
                 return ::pread(fd, data, length, offset);
             },
             [gone](int, const void *, std::size_t, std::int64_t) -> std::int64_t {
                 *gone = true;
                 return Fail(ENODEV);
             },
             [gone](int fd) { return *gone ? static_cast<int>(Fail(ENODEV)) : ::fsync(fd); },
             [gone](int fd) { return *gone ? static_cast<int>(Fail(ENODEV)) : vxsys::DropCachedPages(fd); }});
    }
    void ComeBack() override { SetWorkoutFileSystemCalls({}); }
    // The write-back's first part reaches the drive, then the drive is full; the original goes back.
    void RefuseWriteBack() override
    {
        auto writes = std::make_shared<int>(0);
        SetWorkoutFileSystemCalls(
            {{},
             [writes](int fd, const void *data, std::size_t length, std::int64_t offset) -> std::int64_t {
                 ++*writes;
                 if (*writes == 1)
                     return ::pwrite(fd, data, std::min<std::size_t>(length, 100), offset);
                 if (*writes == 2)
                     return Fail(ENOSPC);
                 return ::pwrite(fd, data, length, offset);
             },
             {},
             {}});
    }
    // Every flush fails: nothing written can be known to be on the drive, the original included.
    void RefuseWriteBackAndRestore() override
    {
        SetWorkoutFileSystemCalls({{}, {}, [](int) { return static_cast<int>(Fail(EIO)); }, {}});
    }

  private:
    static std::int64_t Fail(int error)
    {
        errno = error;
        return -1;
    }

    MonitorDrive m_drive;
};

class MtpTransport : public Transport
{
  public:
    void Configure(WorkoutImportContext &context) override
    {
        context.deviceType = DeviceType::Mtp;
        context.usbIds.SetFromHex("3A7E", "5D01");
    }
    Bytes FileWith(const std::vector<WorkoutRecordSpec> &records) const override
    {
        WorkoutFileBuilder builder;
        builder.FirstName(u"Old");
        for (const WorkoutRecordSpec &r : records)
            builder.AddRecord(r);
        return builder.Build();
    }
    void Put(const Bytes &file) override { m_monitor.PutFile(file); }
    Bytes Held() const override { return m_monitor.File(); }
    // The read is the import's first device lookup; the write-back's is the second.
    void VanishAfterRead() override { m_monitor.VanishAfterLookups(1); }
    void ComeBack() override { m_monitor.ComeBack(); }
    // The emptied file fails on the bus. The transfer sends a new file before it removes the old one,
    // so the monitor keeps its file; the import then puts the original back over it all the same.
    void RefuseWriteBack() override { m_monitor.sim.InjectFailedSend(vxmtp::kOpSendObject); }
    // ...and the import's own attempt fails as well: the monitor still holds its original, but it
    // was never read back as such.
    void RefuseWriteBackAndRestore() override
    {
        RefuseWriteBack();
        m_monitor.sim.InjectFailedSend(vxmtp::kOpSendObject);
    }

  private:
    MtpMonitor m_monitor;
};

std::string Hex(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

vxtest::SimHidMonitor::Options HidOptions()
{
    vxtest::SimHidMonitor::Options options;
    options.vendorId = Hex(kVendor);
    options.productId = "5d03";
    return options;
}

class HidTransport : public Transport
{
  public:
    HidTransport() : m_monitor(HidOptions()) { m_session.SetIds(Hex(kVendor).c_str(), "5d03"); }
    void Configure(WorkoutImportContext &context) override
    {
        context.deviceType = DeviceType::Hid;
        context.hidSession = &m_session;
        context.extendedHeader = true;
        context.firmware = FirmwareVersion{2, 2, 6};
    }
    Bytes FileWith(const std::vector<WorkoutRecordSpec> &records) const override
    {
        WorkoutFileBuilder builder(true);
        builder.FirstName(u"Old");
        const std::uint8_t settings[] = {1, 80, 15, 2, 2, 9, 4, 0xAA, 0xBB, 0x10, 2, 2};
        for (std::size_t i = 0; i < sizeof settings; ++i)
            builder.HeaderByte(208 + i, settings[i]);
        for (const WorkoutRecordSpec &r : records)
            builder.AddRecord(r);
        return builder.Trailing(880 - 220 - 33 * records.size()).Build();
    }
    void Put(const Bytes &file) override { m_monitor.SetReadData(kHidReadRecords, file); }
    Bytes Held() const override { return m_monitor.RecordImage(); }
    void VanishAfterRead() override { m_monitor.PullOutAfter(kHidReadRecords); }
    void ComeBack() override { m_monitor.SetPresent(true); }
    // The monitor takes the emptied block and then reports a failure; the original block goes back.
    void RefuseWriteBack() override
    {
        m_monitor.QueueFinalStatus(0); // the read
        m_monitor.QueueFinalStatus(2); // the emptied block, taken and refused
    }
    // The same, and the monitor is gone before its own header block can go back: it holds the emptied
    // block, and the stored runs are the only copy of its records.
    void RefuseWriteBackAndRestore() override
    {
        RefuseWriteBack();
        m_monitor.PullOutAfter(kHidWriteRecords);
    }

  private:
    vxtest::SimHidMonitor m_monitor;
    DeviceCommandSession m_session;
};

enum class Kind
{
    Mtp,
    Drive,
    Hid,
};

std::string KindText(Kind kind)
{
    switch (kind)
    {
    case Kind::Mtp:
        return "Mtp";
    case Kind::Drive:
        return "MassStorage";
    case Kind::Hid:
        return "Hid";
    }
    return "?";
}

std::string KindName(const ::testing::TestParamInfo<Kind> &info)
{
    return KindText(info.param);
}

void PrintTo(Kind kind, std::ostream *out)
{
    *out << KindText(kind);
}

std::unique_ptr<Transport> MakeTransport(Kind kind)
{
    switch (kind)
    {
    case Kind::Mtp:
        return std::make_unique<MtpTransport>();
    case Kind::Drive:
        return std::make_unique<DriveTransport>();
    case Kind::Hid:
        return std::make_unique<HidTransport>();
    }
    return nullptr;
}

class NoDataLoss : public ImportFixture, public ::testing::WithParamInterface<Kind>
{
  protected:
    NoDataLoss() : transport(MakeTransport(GetParam()))
    {
        transport->Configure(context);
        records = {Workout(2012, 5, 1, 7, 15, 30, 100), Workout(2012, 5, 3, 18, 0, 0, 200),
                   Workout(2012, 6, 14, 21, 45, 59, 300)};
        file = transport->FileWith(records);
        transport->Put(file);
    }
    ~NoDataLoss() override { SetWorkoutFileSystemCalls({}); }

    void ExpectAllStored()
    {
        const std::vector<StoredRun> runs = StoredRuns();
        ASSERT_EQ(runs.size(), records.size());
        for (std::size_t i = 0; i < runs.size(); ++i)
            ExpectRun(runs[i], records[i]);
    }

    // The emptied file: the new owner, a record count of 0, and an image that still sums to zero.
    static void ExpectEmptied(const Bytes &held)
    {
        ASSERT_GT(held.size(), 207u);
        EXPECT_EQ(held[207], 0);
        EXPECT_EQ(vxtest::ImageSum(held), 0);
        EXPECT_EQ(HeaderName(held, 1), u"Anna");
    }

    std::unique_ptr<Transport> transport;
    std::vector<WorkoutRecordSpec> records;
    Bytes file;
};

INSTANTIATE_TEST_SUITE_P(Transports, NoDataLoss, ::testing::Values(Kind::Mtp, Kind::Drive, Kind::Hid),
                         KindName);

// Row "import completes": every run stored, the monitor's file emptied.
TEST_P(NoDataLoss, ACompleteImportStoresEveryRunAndEmptiesTheMonitor)
{
    ASSERT_EQ(Import(), kImportDone);
    ExpectAllStored();
    ExpectEmptied(transport->Held());
    EXPECT_FALSE(m_db.InTransaction());
}

// Row "the latest stored run cannot be read": the store holds a run newer than every record on the
// monitor, and reading run times fails while the statement runs. Taken as "no runs", the records
// would pass as new, be stored a second time and be erased from the monitor.
TEST_P(NoDataLoss, AStoreReadFailureImportsNothingAndLeavesTheMonitor)
{
    RunRecord stored{};
    stored.date = DateParts{14, 6, 2012};
    stored.time = TimeParts{22, 0, 0};
    stored.calories = 77;
    ASSERT_EQ(1, m_db.AddRun(&stored));
    ASSERT_EQ(1, m_db.Commit());
    // Run times are read through a view whose every row overflows; runs are still written through it.
    ExecOnSecondConnection(u"Alter table RunInfo rename to RunInfoRows");
    ExecOnSecondConnection(
        u"Create view RunInfo as select RunID, RunDateTime + abs( -9223372036854775807 - 1 ) "
        u"as RunDateTime, RunDuration, RunStepWalk, RunStepRun, RunDistanceRun, "
        u"RunDistanceWalk, RunCalories, RunTemperature, RunHeartBeatBeforeRun, "
        u"RunHeartBeatAfterRun from RunInfoRows");
    ExecOnSecondConnection(
        u"Create trigger RunInfoWrite instead of insert on RunInfo begin insert into "
        u"RunInfoRows values ( new.RunID, new.RunDateTime, new.RunDuration, new.RunStepWalk, "
        u"new.RunStepRun, new.RunDistanceRun, new.RunDistanceWalk, new.RunCalories, "
        u"new.RunTemperature, new.RunHeartBeatBeforeRun, new.RunHeartBeatAfterRun ); end");

    EXPECT_EQ(Import(), kImportStoreFailed);
    EXPECT_EQ(transport->Held(), file);
    EXPECT_FALSE(m_db.InTransaction());

    ExecOnSecondConnection(u"Drop view RunInfo");
    ExecOnSecondConnection(u"Alter table RunInfoRows rename to RunInfo");
    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].calories, 77);
}

// Row "a run cannot be stored": the second insert is refused; the first is rolled back with it.
TEST_P(NoDataLoss, AStoreWriteFailureImportsNothingAndLeavesTheMonitor)
{
    ExecOnSecondConnection(u"Create trigger refuse_second before insert on RunInfo when ( select count(*) "
                           u"from RunInfo ) >= 1 begin select raise(abort, 'store refused'); end");
    EXPECT_EQ(Import(), kImportStoreFailed);
    EXPECT_TRUE(StoredRuns().empty());
    EXPECT_EQ(transport->Held(), file);
    EXPECT_FALSE(m_db.InTransaction());
}

// Row "COMMIT refused": another connection reads the file, so the engine cannot commit. The runs
// were never stored, so the monitor keeps them; once the lock is gone the same file imports.
TEST_P(NoDataLoss, ARefusedCommitImportsNothingAndLeavesTheMonitor)
{
    SQLiteDatabase reader;
    ASSERT_EQ(1, reader.Open(m_db.GetPath().c_str()));
    CellTable table;
    ASSERT_EQ(1, reader.Query(u"BEGIN", &table));
    ASSERT_EQ(1, reader.Query(u"Select count(*) from Run", &table));

    EXPECT_EQ(Import(), kImportStoreFailed);
    EXPECT_FALSE(m_db.InTransaction());
    EXPECT_EQ(transport->Held(), file);
    ASSERT_EQ(1, reader.Query(u"ROLLBACK", &table));
    EXPECT_TRUE(StoredRuns().empty());

    ASSERT_EQ(Import(), kImportDone);
    ExpectAllStored();
}

// Row "monitor gone between COMMIT and write-back": the runs are committed first, so they stay, and
// the monitor never saw a write. Importing the same file again adds nothing: its records are not
// newer than the last stored run. The monitor is still untouched afterwards.
TEST_P(NoDataLoss, AMonitorGoneBeforeTheWriteBackKeepsTheRunsAndTheMonitorsFile)
{
    transport->VanishAfterRead();
    EXPECT_EQ(Import(), kImportWriteBackFailed);
    ExpectAllStored();
    EXPECT_EQ(transport->Held(), file);
    EXPECT_FALSE(m_db.InTransaction());

    transport->ComeBack();
    EXPECT_EQ(Import(), kImportDatesRejected);
    ExpectAllStored();
    EXPECT_EQ(transport->Held(), file);
    EXPECT_FALSE(m_db.InTransaction());
}

// Row "write-back fails, original put back": the monitor holds its own file again (read back from
// it), so the runs come out and the next import finds the same records.
TEST_P(NoDataLoss, AWriteBackThatIsUndoneTakesTheRunsOutAgain)
{
    transport->RefuseWriteBack();
    EXPECT_EQ(Import(), kImportWriteBackFailed);
    EXPECT_EQ(transport->Held(), file);
    EXPECT_TRUE(StoredRuns().empty());
    EXPECT_FALSE(m_db.InTransaction());

    ASSERT_EQ(Import(), kImportDone);
    ExpectAllStored();
    ExpectEmptied(transport->Held());
}

// Row "write-back fails, original cannot be put back": whatever the monitor now holds (the original
// unconfirmed, nothing, or the emptied file), the stored runs stay: they may be the only copy.
TEST_P(NoDataLoss, AFailedRestoreKeepsTheRuns)
{
    transport->RefuseWriteBackAndRestore();
    EXPECT_EQ(Import(), kImportWriteBackFailed);
    ExpectAllStored();
    EXPECT_FALSE(m_db.InTransaction());
    const Bytes held = transport->Held();
    switch (GetParam())
    {
    case Kind::Mtp:
        EXPECT_EQ(held, file) << "the old file goes only once a new one is on the monitor";
        break;
    case Kind::Drive:
        EXPECT_EQ(held, file) << "written, but never known to be on the drive";
        break;
    case Kind::Hid:
        ExpectEmptied(held);
        break;
    }
}
} // namespace
