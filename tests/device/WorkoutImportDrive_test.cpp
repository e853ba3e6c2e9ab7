#include "tests/device/WorkoutImportTestSupport.h"

#include "device/WorkoutFileAccess.h"

#include <cerrno>
#include <unistd.h>

using namespace importtest;
using vxtest::WorkoutFileBuilder;
using vxtest::WorkoutRecordSpec;

namespace
{
class DriveImport : public ImportFixture
{
  protected:
    DriveImport()
    {
        context.deviceType = DeviceType::MassStorage;
        context.driveLetter = drive.Letter();
        records = {Workout(2012, 5, 1, 7, 15, 30, 100), Workout(2012, 5, 3, 18, 0, 0, 200),
                   Workout(2012, 6, 14, 21, 45, 59, 300)};
    }

    // The monitor's file as it ships: an old owner, the reserved byte set, three records and a few
    // bytes behind them.
    Bytes MonitorFile() const
    {
        WorkoutFileBuilder builder;
        builder.FirstName(u"Old").LastName(u"Owner").Profile(20, 0, 150, 50).HeaderByte(206, 0x5A);
        for (const WorkoutRecordSpec &r : records)
            builder.AddRecord(r);
        return builder.Trailing(5, 0xEE).Build();
    }

    MonitorDrive drive;
    std::vector<WorkoutRecordSpec> records;
};

TEST_F(DriveImport, DriveHasALetter)
{
    ASSERT_NE(drive.Letter(), 0);
}

// The whole road on a drive: the runs are stored field by field, and the monitor's file keeps its
// length with its records behind a count of 0, the new owner in the header and a valid check byte.
TEST_F(DriveImport, StoresEveryRecordAndEmptiesTheFileWhereverItLies)
{
    for (const char *where : {"FR.DAT", "workout/FR.DAT"})
    {
        SCOPED_TRACE(where);
        fs::remove(drive.Path("FR.DAT"));
        fs::remove_all(drive.Path("workout"));
        ExecOnSecondConnection(u"Delete from RunInfo");
        ExecOnSecondConnection(u"Delete from Run");
        const Bytes original = MonitorFile();
        WriteFile(drive.Path(where), original);

        ASSERT_EQ(Import(), kImportDone);

        const std::vector<StoredRun> runs = StoredRuns();
        ASSERT_EQ(runs.size(), 3u);
        for (std::size_t i = 0; i < runs.size(); ++i)
            ExpectRun(runs[i], records[i]);

        const Bytes after = ReadFile(drive.Path(where));
        ASSERT_EQ(after.size(), original.size());
        EXPECT_EQ(after[206], 0);
        EXPECT_EQ(after[207], 0);
        EXPECT_EQ(vxtest::ImageSum(after), 0) << "the check byte covers the whole file";
        EXPECT_EQ(HeaderName(after, 1), u"Anna");
        EXPECT_EQ(HeaderName(after, 101), u"Berg");
        EXPECT_EQ(after[201], 34);
        EXPECT_EQ(after[202], 1);
        EXPECT_EQ(after[203] | (after[204] << 8), 172);
        EXPECT_EQ(after[205], 64);
        EXPECT_TRUE(std::equal(after.begin() + 208, after.end(), original.begin() + 208))
            << "the records stay as bytes behind the count";
        if (std::string(where) != "FR.DAT")
        {
            EXPECT_FALSE(fs::exists(drive.Path("FR.DAT"))) << "no file is created in the root";
        }
        EXPECT_FALSE(m_db.InTransaction());
    }
}

TEST_F(DriveImport, ASecondImportAddsNothing)
{
    WriteFile(drive.Path("FR.DAT"), MonitorFile());
    ASSERT_EQ(Import(), kImportDone);
    const Bytes emptied = ReadFile(drive.Path("FR.DAT"));

    EXPECT_EQ(Import(), kImportDone);
    EXPECT_EQ(StoredRuns().size(), 3u);
    EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), emptied);
    EXPECT_FALSE(m_db.InTransaction());
}

TEST_F(DriveImport, TheRootFileWinsOverTheWorkoutFolder)
{
    WriteFile(drive.Path("fr.dat"), MonitorFile()); // the drive is matched without regard to case
    const Bytes other = WorkoutFileBuilder().AddRecord(Workout(2012, 1, 1, 1, 0, 0, 900)).Build();
    WriteFile(drive.Path("workout/FR.DAT"), other);

    ASSERT_EQ(Import(), kImportDone);
    EXPECT_EQ(StoredRuns().size(), 3u);
    EXPECT_EQ(ReadFile(drive.Path("workout/FR.DAT")), other);
    EXPECT_EQ(ReadFile(drive.Path("fr.dat"))[207], 0);
}

// A day past the month's end is taken as the validation took it: carried into the next month.
TEST_F(DriveImport, ADayPastTheMonthsEndIsStoredAtTheCarriedOverDate)
{
    WriteFile(drive.Path("FR.DAT"), WorkoutFileBuilder()
                                        .AddRecord(Workout(2011, 2, 31, 9, 0, 0, 1))
                                        .AddRecord(Workout(2012, 2, 30, 9, 0, 0, 2))
                                        .AddRecord(Workout(2012, 4, 31, 23, 59, 59, 3))
                                        .Build());
    ASSERT_EQ(Import(), kImportDone);
    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 3u);
    const DateParts expected[] = {{3, 3, 2011}, {1, 3, 2012}, {1, 5, 2012}};
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(runs[i].date.day, expected[i].day) << i;
        EXPECT_EQ(runs[i].date.month, expected[i].month) << i;
        EXPECT_EQ(runs[i].date.year, expected[i].year) << i;
    }
    EXPECT_EQ(runs[2].time.hour, 23);
    EXPECT_EQ(runs[2].time.second, 59);
}

// The date prompt's re-dating: the runs are stored where the validation moved them, and a record that
// it dropped is not stored.
TEST_F(DriveImport, RedatedRecordsAreStoredAtTheirNewDates)
{
    WriteFile(drive.Path("FR.DAT"), WorkoutFileBuilder()
                                        .AddRecord(Workout(1970, 1, 1, 5, 0, 0, 1))
                                        .AddRecord(Workout(1970, 1, 1, 5, 0, 0, 2))
                                        .AddRecord(Workout(1970, 1, 1, 6, 0, 0, 3))
                                        .AddRecord(Workout(1970, 1, 1, 7, 0, 0, 4))
                                        .Build());
    context.validation.userDateSet = true;
    context.validation.userDate = DateParts{10, 6, 2012};

    ASSERT_EQ(Import(), kImportDone);
    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 3u);
    // The first record has no gap to the next one and is dropped; the others keep their hour apart,
    // the newest at the current time of day.
    const int hours[] = {8, 9, 10};
    for (std::size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(runs[i].date.day, 10);
        EXPECT_EQ(runs[i].date.month, 6);
        EXPECT_EQ(runs[i].time.hour, hours[i]);
        EXPECT_EQ(runs[i].time.minute, 30);
    }
    EXPECT_EQ(runs[0].calories, 2 + 6);
    EXPECT_EQ(runs[1].calories, 3 + 6);
    EXPECT_EQ(runs[2].calories, 4 + 6);
    EXPECT_EQ(ReadFile(drive.Path("FR.DAT"))[207], 0);
}

// A rejected file stays on the monitor exactly as it was, so the user can retry; the transaction the
// validation opened is closed.
TEST_F(DriveImport, ARejectedFileIsLeftUntouched)
{
    const struct
    {
        const char *what;
        Bytes file;
        int expected;
    } cases[] = {
        {"bad check byte",
         WorkoutFileBuilder().AddRecord(Workout(2012, 5, 1, 0, 0, 0, 1)).WrongCheckByte().Build(),
         kImportMalformed},
        {"month 13", WorkoutFileBuilder().AddRecord(Workout(2012, 13, 1, 0, 0, 0, 1)).Build(),
         kImportMalformed},
        {"count beyond the file",
         WorkoutFileBuilder().AddRecord(Workout(2012, 5, 1, 0, 0, 0, 1)).RecordCount(2).Build(),
         kImportMalformed},
        {"before 2009",
         WorkoutFileBuilder()
             .AddRecord(Workout(2012, 5, 1, 0, 0, 0, 1))
             .AddRecord(Workout(2008, 12, 31, 23, 59, 59, 2))
             .Build(),
         kImportDatesRejected},
        {"a day ahead", WorkoutFileBuilder().AddRecord(Workout(2012, 6, 16, 10, 30, 0, 1)).Build(),
         kImportDatesRejected},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        WriteFile(drive.Path("FR.DAT"), c.file);
        EXPECT_EQ(Import(), c.expected);
        EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), c.file);
        EXPECT_TRUE(StoredRuns().empty());
        EXPECT_FALSE(m_db.InTransaction());
    }
}

TEST_F(DriveImport, AFileThatCannotBeReadWholeGivesMinusOne)
{
    // No file at all, and no drive.
    EXPECT_EQ(Import(), kImportReadFailed);
    context.driveLetter = 'Z';
    EXPECT_EQ(Import(), kImportReadFailed);
    context.driveLetter = drive.Letter();

    WriteFile(drive.Path("FR.DAT"), Bytes{});
    EXPECT_EQ(Import(), kImportReadFailed) << "an empty file";

    // The drive delivers part of the file, then reports its end: that is no image, not one padded with
    // zeros that fails its check byte and leads the user to erase the monitor.
    const Bytes file = MonitorFile();
    WriteFile(drive.Path("FR.DAT"), file);
    for (const bool error : {false, true})
    {
        SCOPED_TRACE(error ? "read error" : "early end");
        int calls = 0;
        SetWorkoutFileSystemCalls({[&](int fd, void *data, std::size_t length, off_t offset) -> ssize_t {
                                       if (++calls == 1)
                                           return ::pread(fd, data, std::min<std::size_t>(length, 100),
                                                          offset);
                                       errno = EIO;
                                       return error ? -1 : 0;
                                   },
                                   {},
                                   {},
                                   {}});
        EXPECT_EQ(Import(), kImportReadFailed);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), file);
        EXPECT_TRUE(StoredRuns().empty());
        EXPECT_FALSE(m_db.InTransaction());
    }
}

TEST_F(DriveImport, AFileLargerThanAnyMonitorWritesIsMalformed)
{
    const Bytes file = WorkoutFileBuilder().Trailing(kWorkoutFileMaxLength).Build();
    WriteFile(drive.Path("FR.DAT"), file);
    EXPECT_EQ(Import(), kImportMalformed);
    EXPECT_EQ(ReadFile(drive.Path("FR.DAT")).size(), file.size());
    EXPECT_FALSE(m_db.InTransaction());
}

TEST_F(DriveImport, WithoutDeviceOrUserNothingIsTouched)
{
    const Bytes file = MonitorFile();
    WriteFile(drive.Path("FR.DAT"), file);

    context.deviceFound = false;
    EXPECT_EQ(Import(), kImportNoDevice);
    context.loggedIn = false;
    EXPECT_EQ(Import(), kImportNoDevice) << "no device comes first";

    context.deviceFound = true;
    EXPECT_EQ(Import(), kImportMalformed);
    context.loggedIn = true;
    ASSERT_EQ(1, m_db.Logout());
    EXPECT_EQ(Import(), kImportMalformed) << "the store has nobody logged in";

    EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), file);
    EXPECT_FALSE(m_db.InTransaction());
}

// Storing the second of three runs fails: nothing is stored and the monitor keeps every record.
TEST_F(DriveImport, AStoreFailureKeepsTheMonitorsRecords)
{
    ExecOnSecondConnection(u"Create trigger refuse_second before insert on RunInfo when ( select count(*) "
                           u"from RunInfo ) >= 1 begin select raise(abort, 'store refused'); end");
    const Bytes file = MonitorFile();
    WriteFile(drive.Path("FR.DAT"), file);

    EXPECT_EQ(Import(), kImportStoreFailed);
    EXPECT_TRUE(StoredRuns().empty());
    EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), file);
    EXPECT_FALSE(m_db.InTransaction());
}

// The engine refuses the COMMIT (another connection holds a read lock): the runs were never stored,
// so the monitor's file must still hold them.
TEST_F(DriveImport, ARefusedCommitKeepsTheMonitorsRecords)
{
    const Bytes file = MonitorFile();
    WriteFile(drive.Path("FR.DAT"), file);
    SQLiteDatabase reader;
    ASSERT_EQ(1, reader.Open(m_db.GetPath().c_str()));
    CellTable table;
    ASSERT_EQ(1, reader.Query(u"BEGIN", &table));
    ASSERT_EQ(1, reader.Query(u"Select count(*) from Run", &table));

    EXPECT_EQ(Import(), kImportStoreFailed);
    EXPECT_FALSE(m_db.InTransaction());
    EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), file);

    ASSERT_EQ(1, reader.Query(u"ROLLBACK", &table));
    EXPECT_TRUE(StoredRuns().empty());

    // Once the lock is gone the same file imports.
    EXPECT_EQ(Import(), kImportDone);
    EXPECT_EQ(StoredRuns().size(), 3u);
}

// The drive fails part-way through the write-back: the monitor gets its own file back and the runs
// come out of the store, so the next import finds the same records again.
TEST_F(DriveImport, AFailedWriteBackPutsTheFileBackAndTakesTheRunsOut)
{
    const Bytes file = MonitorFile();
    const struct
    {
        const char *what;
        bool shortWrite;
        bool flushFails;
    } cases[] = {{"short write", true, false}, {"flush fails", false, true}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        WriteFile(drive.Path("FR.DAT"), file);
        int writes = 0, flushes = 0;
        SetWorkoutFileSystemCalls(
            {{},
             [&](int fd, const void *data, std::size_t length, off_t offset) -> ssize_t {
                 ++writes;
                 if (c.shortWrite && writes == 1)
                     return ::pwrite(fd, data, std::min<std::size_t>(length, 100), offset);
                 if (c.shortWrite && writes == 2)
                 {
                     errno = ENOSPC;
                     return -1;
                 }
                 return ::pwrite(fd, data, length, offset);
             },
             [&](int fd) {
                 if (c.flushFails && ++flushes == 1)
                 {
                     errno = EIO;
                     return -1;
                 }
                 return ::fsync(fd);
             },
             {}});

        EXPECT_EQ(Import(), kImportWriteBackFailed);
        EXPECT_EQ(ReadFile(drive.Path("FR.DAT")), file);
        EXPECT_TRUE(StoredRuns().empty());
        EXPECT_FALSE(m_db.InTransaction());
        SetWorkoutFileSystemCalls({});
    }

    EXPECT_EQ(Import(), kImportDone);
    EXPECT_EQ(StoredRuns().size(), 3u);
}

// When the monitor's file cannot be put back either, its records may be gone from it: the stored runs
// are then the only copy and stay.
TEST_F(DriveImport, RunsStayWhenTheMonitorCannotGetItsFileBack)
{
    const Bytes file = MonitorFile();
    WriteFile(drive.Path("FR.DAT"), file);
    int writes = 0;
    SetWorkoutFileSystemCalls({{},
                               [&](int fd, const void *data, std::size_t length, off_t offset) -> ssize_t {
                                   if (++writes == 1)
                                       return ::pwrite(fd, data, std::min<std::size_t>(length, 100), offset);
                                   errno = EIO;
                                   return -1;
                               },
                               {},
                               {}});

    EXPECT_EQ(Import(), kImportWriteBackFailed);
    EXPECT_NE(ReadFile(drive.Path("FR.DAT")), file);
    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 3u);
    ExpectRun(runs[0], records[0]);
    EXPECT_FALSE(m_db.InTransaction());
}
} // namespace

namespace
{
// A drive behind the system's cache, in one file: what is written lands in memory and is read back
// from there until the cached pages are dropped. Its first flush fails after part of the write-back
// reached the medium; later flushes report success without the medium taking anything more (a
// drive that lost the data on the way). Only a read past the cache shows what the drive holds.
struct CachedDrive
{
    Bytes cache;
    bool cached = false;
    int flushes = 0;

    WorkoutFileSystemCalls Calls()
    {
        return {[this](int fd, void *data, std::size_t length, std::int64_t offset) -> std::int64_t {
                    if (!cached)
                        return ::pread(fd, data, length, offset);
                    const std::size_t at = static_cast<std::size_t>(offset);
                    const std::size_t n = at < cache.size() ? std::min(length, cache.size() - at) : 0;
                    std::copy_n(cache.begin() + static_cast<std::ptrdiff_t>(at), n,
                                static_cast<std::uint8_t *>(data));
                    return static_cast<std::int64_t>(n);
                },
                [this](int fd, const void *data, std::size_t length, std::int64_t offset) -> std::int64_t {
                    if (!cached)
                    {
                        cache = Bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
                        if (::pread(fd, cache.data(), cache.size(), 0) != static_cast<ssize_t>(cache.size()))
                            return -1;
                        cached = true;
                    }
                    const std::size_t at = static_cast<std::size_t>(offset);
                    if (at + length > cache.size())
                        cache.resize(at + length);
                    std::copy_n(static_cast<const std::uint8_t *>(data), length,
                                cache.begin() + static_cast<std::ptrdiff_t>(at));
                    if (flushes == 0)
                        ::pwrite(fd, data, std::min<std::size_t>(length, 100), offset);
                    return static_cast<std::int64_t>(length);
                },
                [this](int) {
                    if (++flushes == 1)
                    {
                        errno = EIO;
                        return -1;
                    }
                    return 0;
                },
                [this](int) {
                    cached = false;
                    return 0;
                }};
    }
};
} // namespace

// The write-back fails with part of it on the drive; putting the original back is reported done, but
// the drive holds the broken header. Read back from the cache, the original seems to be there and the
// runs would be deleted; read from the drive, it is not, and the runs stay.
TEST_F(DriveImport, TheRestoreIsCheckedOnTheDriveNotInTheCache)
{
    const Bytes file = MonitorFile();
    WriteFile(drive.Path("FR.DAT"), file);
    CachedDrive cachedDrive;
    SetWorkoutFileSystemCalls(cachedDrive.Calls());

    EXPECT_EQ(Import(), kImportWriteBackFailed);
    EXPECT_EQ(cachedDrive.flushes, 3) << "write-back, restore, and the read from the drive";
    const Bytes held = ReadFile(drive.Path("FR.DAT"));
    ASSERT_EQ(held.size(), file.size());
    EXPECT_NE(held, file) << "part of the emptied file reached the drive";
    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 3u);
    for (std::size_t i = 0; i < runs.size(); ++i)
        ExpectRun(runs[i], records[i]);
    EXPECT_FALSE(m_db.InTransaction());
}
