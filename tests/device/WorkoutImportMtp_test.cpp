#include "tests/device/WorkoutImportTestSupport.h"

#include "platform/mtp/PtpCodec.h"

using namespace importtest;
using vxtest::WorkoutFileBuilder;

namespace
{
class MtpImport : public ImportFixture
{
  protected:
    MtpImport()
    {
        context.deviceType = DeviceType::Mtp;
        context.usbIds.SetFromHex("3A7E", "5D01");
        file = WorkoutFileBuilder()
                   .FirstName(u"Old")
                   .HeaderByte(206, 9)
                   .AddRecord(Workout(2012, 5, 1, 7, 15, 30, 100))
                   .AddRecord(Workout(2012, 5, 2, 7, 15, 30, 200))
                   .Build();
    }

    MtpMonitor monitor;
    Bytes file;
};

TEST_F(MtpImport, StoresTheRecordsAndWritesTheWholeFileBack)
{
    monitor.PutFile(file);
    ASSERT_EQ(Import(), kImportDone);

    EXPECT_EQ(StoredRuns().size(), 2u);
    const Bytes after = monitor.File();
    ASSERT_EQ(after.size(), file.size());
    EXPECT_EQ(after[206], 0);
    EXPECT_EQ(after[207], 0);
    EXPECT_EQ(vxtest::ImageSum(after), 0);
    EXPECT_EQ(HeaderName(after, 1), u"Anna");
    EXPECT_TRUE(std::equal(after.begin() + 208, after.end(), file.begin() + 208));
    const vxsim::SimObject *object =
        monitor.sim.Find(monitor.sim.FindChild(MtpMonitor::kStorage, monitor.workout, u"FR.DAT"));
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->hidden);
    EXPECT_FALSE(fs::exists(LocalCopy())) << "the local copy is deleted";
    EXPECT_FALSE(m_db.InTransaction());
}

TEST_F(MtpImport, AMissingFileIsAReadFailureAndLeavesNoLocalCopy)
{
    WriteFile(LocalCopy(), file); // a stale copy of an earlier import
    EXPECT_EQ(Import(), kImportReadFailed);
    EXPECT_FALSE(fs::exists(LocalCopy()));
    EXPECT_TRUE(StoredRuns().empty());
}

TEST_F(MtpImport, WithoutADataFolderNothingIsCopied)
{
    monitor.PutFile(file);
    context.dataFolder.clear();
    EXPECT_EQ(Import(), kImportReadFailed);
    EXPECT_FALSE(fs::exists("FR.TMP"));
    EXPECT_EQ(monitor.File(), file);
}

TEST_F(MtpImport, ARejectedFileStaysAndLeavesNoLocalCopy)
{
    const Bytes bad =
        WorkoutFileBuilder().AddRecord(Workout(2012, 5, 1, 0, 0, 0, 1)).WrongCheckByte().Build();
    monitor.PutFile(bad);
    EXPECT_EQ(Import(), kImportMalformed);
    EXPECT_EQ(monitor.File(), bad);
    EXPECT_FALSE(fs::exists(LocalCopy()));
    EXPECT_FALSE(m_db.InTransaction());
}

// Sending the emptied file fails on the bus: the monitor keeps its file and the runs come out again.
TEST_F(MtpImport, AFailedWriteBackKeepsTheMonitorsFileAndTakesTheRunsOut)
{
    monitor.PutFile(file);
    monitor.sim.InjectFailedSend(vxmtp::kOpSendObject);

    EXPECT_EQ(Import(), kImportWriteBackFailed);
    EXPECT_EQ(monitor.File(), file);
    EXPECT_TRUE(StoredRuns().empty());
    EXPECT_FALSE(fs::exists(LocalCopy()));
    EXPECT_FALSE(m_db.InTransaction());

    EXPECT_EQ(Import(), kImportDone);
    EXPECT_EQ(StoredRuns().size(), 2u);
}

// Both storages hold workout/FR.DAT. Reading the first storage's file fails once, so the import takes
// the second's. The emptied file goes back over exactly that object: the first storage's file, whose
// records were never imported, is left as it was.
TEST_F(MtpImport, TheWriteBackGoesToTheObjectThatWasRead)
{
    constexpr std::uint32_t kCard = 0x00020001;
    monitor.PutFile(file);
    monitor.sim.AddStorage(kCard, u"Card");
    const std::uint32_t cardWorkout = monitor.sim.AddFolder(kCard, 0, u"workout");
    const Bytes cardFile = WorkoutFileBuilder().AddRecord(Workout(2012, 6, 1, 9, 0, 0, 900)).Build();
    monitor.sim.AddFile(kCard, cardWorkout, u"FR.DAT", cardFile, true);
    monitor.sim.ScriptResponse(vxmtp::kOpGetObject, vxmtp::kRespGeneralError);

    ASSERT_EQ(Import(), kImportDone);
    EXPECT_EQ(monitor.File(), file) << "never imported, never written";
    const std::vector<StoredRun> runs = StoredRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].calories, 906);
    const vxsim::SimObject *written = monitor.sim.Find(monitor.sim.FindChild(kCard, cardWorkout, u"FR.DAT"));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->bytes.size(), cardFile.size());
    EXPECT_EQ(written->bytes[207], 0);
    EXPECT_EQ(vxtest::ImageSum(written->bytes), 0);
    EXPECT_FALSE(fs::exists(LocalCopy()));
}

// The monitor replaced its file by another object between the import's read and the write-back (the
// write-back's device lookup is the second). Neither the emptied image nor the import's copy of the
// original may land over a file whose records were never read: the monitor keeps it as it is, and the
// runs stay.
TEST_F(MtpImport, AFileReplacedSinceTheReadIsNotWrittenOver)
{
    monitor.PutFile(file);
    const Bytes newer = WorkoutFileBuilder()
                            .AddRecord(Workout(2012, 5, 1, 7, 15, 30, 100))
                            .AddRecord(Workout(2012, 5, 2, 7, 15, 30, 200))
                            .AddRecord(Workout(2012, 6, 2, 9, 0, 0, 500))
                            .Build();
    monitor.onLookup = [&](int lookup) {
        if (lookup != 2)
            return;
        monitor.sim.RemoveObject(monitor.sim.FindChild(MtpMonitor::kStorage, monitor.workout, u"FR.DAT"));
        monitor.PutFile(newer);
    };

    EXPECT_EQ(Import(), kImportWriteBackFailed);
    EXPECT_EQ(monitor.File(), newer);
    EXPECT_EQ(StoredRuns().size(), 2u);
    EXPECT_FALSE(fs::exists(LocalCopy()));
    EXPECT_FALSE(m_db.InTransaction());
}
} // namespace
