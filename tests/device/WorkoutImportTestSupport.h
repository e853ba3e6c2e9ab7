#pragma once

// Shared set-up of the workout import tests: a records store with a logged-in user, monitors of the
// three kinds (a temporary folder mounted as a drive, a simulated MTP monitor, a simulated HID
// monitor), and readers that look at what the import left behind independently of the program's own
// file code.

#include "device/SupportedDevices.h"
#include "device/WorkoutFileAccess.h"
#include "device/WorkoutImporter.h"
#include "platform/dev/Storage.h"
#include "platform/mtp/MtpDeviceManager.h"
#include "platform/sys/LocalTime.h"
#include "platform/sys/TextConvert.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "store/SQLiteDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"
#include "tests/support/workout/WorkoutFileBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace importtest
{
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Friday 2012-06-15 10:30:00 in Berlin (summer time).
constexpr int64_t kNow = 1339749000;
constexpr std::uint16_t kVendor = VORMATIK_MONITOR_VENDOR_ID;

using vxtest::ReadFile;

// Makes the folders on the way first.
inline void WriteFile(const std::string &path, const Bytes &bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    vxtest::WriteFile(path, bytes);
}

// A record whose every field differs from every other, so that a field stored in the wrong column shows.
inline vxtest::WorkoutRecordSpec Workout(int year, int month, int day, int hour, int minute, int second,
                                         std::uint32_t base)
{
    vxtest::WorkoutRecordSpec r = vxtest::RecordAt(year, month, day, hour, minute, second);
    r.duration = base + 1;
    r.walkingSteps = base + 2;
    r.runningSteps = base + 3;
    r.walkingDistance = base + 4;
    r.runningDistance = base + 5;
    r.calories = base + 6;
    r.heartRateBefore = static_cast<std::uint8_t>(60 + base % 50);
    r.heartRateAfter = static_cast<std::uint8_t>(120 + base % 50);
    return r;
}

// A run as another connection reads it: only what was committed.
struct StoredRun
{
    DateParts date{};
    TimeParts time{};
    int64_t duration = 0, walkSteps = 0, runSteps = 0, runDistance = 0, walkDistance = 0, calories = 0,
            temperature = 0, heartRateBefore = 0, heartRateAfter = 0;
};

// The name field at an offset of a header, up to its zero.
inline std::u16string HeaderName(const Bytes &image, std::size_t at)
{
    std::u16string name;
    for (std::size_t i = at; i + 1 < image.size(); i += 2)
    {
        const char16_t c = static_cast<char16_t>(image[i] | (image[i + 1] << 8));
        if (c == 0)
            break;
        name.push_back(c);
    }
    return name;
}

class ImportFixture : public ::testing::Test
{
  protected:
    static constexpr std::uint8_t kKilograms = 5;
    static constexpr std::uint8_t kPounds = 6;

    ImportFixture()
        : m_zone("Europe/Berlin"), m_dir(vxtest::MakeTempDir("import")), m_db(vxsys::Utf8ToUtf16(m_dir))
    {
        vxsys::SetCurrentTimeSource([] { return kNow; });
        const DateParts dob{1, 2, 1978};
        EXPECT_EQ(1, m_db.AddUser(u"anna", u"pw", u"Anna", u"Berg", 1, &dob, 34, 172, 3, 64, kKilograms));
        EXPECT_EQ(1, m_db.AddUser(u"ben", u"pw", u"Ben", u"Stone", 0, &dob, 34, 180, 4, 90, kPounds));
        EXPECT_EQ(1, m_db.Login(u"anna", u"pw"));
        context.deviceFound = true;
        context.loggedIn = true;
        context.database = &m_db;
        context.dataFolder = vxsys::Utf8ToUtf16(m_dir);
        context.owner = WorkoutProfile{u"Anna", u"Berg", 34, 1, 172, 64};
    }
    ~ImportFixture() override
    {
        SetWorkoutFileSystemCalls({});
        vxsys::SetCurrentTimeSource({});
    }

    int Import() { return ImportWorkouts(context); }

    std::string LocalCopy() const { return m_dir + "/FR.TMP"; }

    // The user's committed runs in start order, read through a connection of their own.
    std::vector<StoredRun> StoredRuns(const std::u16string &user = u"anna")
    {
        SQLiteDatabase db;
        EXPECT_EQ(1, db.Open(m_db.GetPath().c_str()));
        CellTable table;
        const std::u16string sql =
            u"Select RunInfo.RunDateTime, RunDuration, RunStepWalk, RunStepRun, RunDistanceRun, "
            u"RunDistanceWalk, RunCalories, RunTemperature, RunHeartBeatBeforeRun, RunHeartBeatAfterRun "
            u"from RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = '" +
            user + u"' order by RunInfo.RunDateTime";
        EXPECT_EQ(1, db.Query(sql, &table));
        std::vector<StoredRun> runs;
        for (uint32_t row = 0; row < table.GetRowCount(); ++row)
        {
            StoredRun run;
            int64_t start = 0;
            table.GetInt64(row, 0, &start);
            vxtime::FileTimeToDateTime(start, &run.date, &run.time);
            int64_t *fields[] = {&run.duration,    &run.walkSteps,       &run.runSteps,
                                 &run.runDistance, &run.walkDistance,    &run.calories,
                                 &run.temperature, &run.heartRateBefore, &run.heartRateAfter};
            for (uint32_t column = 0; column < 9; ++column)
                table.GetInt64(row, column + 1, fields[column]);
            runs.push_back(run);
        }
        return runs;
    }

    // Runs a statement through a second connection (a trigger, for example).
    void ExecOnSecondConnection(const std::u16string &sql)
    {
        SQLiteDatabase db;
        ASSERT_EQ(1, db.Open(m_db.GetPath().c_str()));
        CellTable table;
        ASSERT_EQ(1, db.Query(sql, &table)) << vxsys::Utf16ToUtf8(sql);
    }

    static void ExpectRun(const StoredRun &run, const vxtest::WorkoutRecordSpec &r)
    {
        EXPECT_EQ(run.date.year, r.year);
        EXPECT_EQ(run.date.month, r.month);
        EXPECT_EQ(run.date.day, r.day);
        EXPECT_EQ(run.time.hour, r.hour);
        EXPECT_EQ(run.time.minute, r.minute);
        EXPECT_EQ(run.time.second, r.second);
        EXPECT_EQ(run.duration, r.duration);
        EXPECT_EQ(run.walkSteps, r.walkingSteps);
        EXPECT_EQ(run.runSteps, r.runningSteps);
        EXPECT_EQ(run.walkDistance, r.walkingDistance);
        EXPECT_EQ(run.runDistance, r.runningDistance);
        EXPECT_EQ(run.calories, r.calories);
        EXPECT_EQ(run.temperature, 0);
        EXPECT_EQ(run.heartRateBefore, r.heartRateBefore);
        EXPECT_EQ(run.heartRateAfter, r.heartRateAfter);
    }

    vxtest::ScopedTimeZone m_zone;
    std::string m_dir;
    KvtDatabase m_db;
    WorkoutImportContext context;
};

// A temporary folder mounted from a USB disk of the monitor: drive paths of its letter lead into it.
class MonitorDrive
{
  public:
    MonitorDrive()
    {
        m_sysfs.AddRootHub(1);
        const std::string device =
            m_sysfs.AddUsbDevice("usb1", 1, vxtest::UsbDevice(kVendor, 0x5D02, "MONITOR42"));
        const std::string block = m_sysfs.AddUsbDisk(device, 0, vxtest::Disk("Tarvex", "Step Monitor"));
        m_mount = m_sysfs.Root() + "/mnt/MONITOR";
        fs::create_directories(m_mount);
        m_sysfs.AddMount(block, m_mount);
        for (const vxdev::DriveEntry &drive : vxdev::ReadDriveMap())
            if (drive.mountPoint == m_mount)
                m_letter = drive.letter;
    }

    char Letter() const { return m_letter; }
    std::string Path(const std::string &relative) const { return m_mount + "/" + relative; }

  private:
    vxtest::FakeSysfs m_sysfs;
    std::string m_mount;
    char m_letter = 0;
};

// A simulated MTP monitor listed at bus 1 port 1 with the serial the fixture tree gives it, its file
// in the "workout" folder of its storage.
class MtpMonitor
{
  public:
    static constexpr std::uint16_t kProduct = 0x5D01;
    static constexpr std::uint32_t kStorage = 0x00010001;

    MtpMonitor()
        : m_source([this] {
              ++m_lookups;
              if (onLookup)
                  onLookup(m_lookups);
              if (m_presentFor >= 0 && m_lookups > m_presentFor)
                  sim.SetUnplugged(true);
              return std::vector<vxmtp::MtpDeviceCandidate>{sim.Candidate(kVendor, kProduct, 1, {1})};
          })
    {
        m_sysfs.AddRootHub(1);
        m_sysfs.AddUsbDevice("usb1", 1, vxtest::UsbDevice(kVendor, kProduct, "SER42"));
        sim.Info().serialNumber = u"SER42";
        sim.AddStorage(kStorage, u"Internal");
        workout = sim.AddFolder(kStorage, 0, u"workout");
    }

    void PutFile(const Bytes &bytes) { sim.AddFile(kStorage, workout, u"FR.DAT", bytes, true); }

    // The monitor answers the next `lookups` device lookups, then is gone (every transfer fails)
    // until it comes back.
    void VanishAfterLookups(int lookups)
    {
        m_presentFor = lookups;
        m_lookups = 0;
    }
    void ComeBack()
    {
        m_presentFor = -1;
        sim.SetUnplugged(false);
    }

    // The file's bytes now; empty when there is none.
    Bytes File() const
    {
        const std::uint32_t handle = sim.FindChild(kStorage, workout, u"FR.DAT");
        const vxsim::SimObject *object = handle ? sim.Find(handle) : nullptr;
        return object ? object->bytes : Bytes{};
    }

    vxsim::SimMtpMonitor sim;
    std::uint32_t workout = 0;
    // Called at every device lookup, counted from 1, before the monitor answers it.
    std::function<void(int lookup)> onLookup;

  private:
    int m_presentFor = -1;
    int m_lookups = 0;
    vxtest::FakeSysfs m_sysfs;
    vxmtp::ScopedDeviceSource m_source;
};
} // namespace importtest
