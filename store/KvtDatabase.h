#pragma once

#include "store/BlockCipher.h"
#include "store/CellTable.h"
#include "store/DateParts.h"
#include "store/GoalRecord.h"
#include "store/RunRecord.h"
#include "store/SQLiteDatabase.h"
#include "store/SqlText.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// The records store: the one object through which the program reads and writes
// users, runs, goals and social-site credentials. Per-user operations act on the
// logged-in user. Results are 1 for success and 0 for failure unless noted.
//
// Writing operations follow one convention: Begin, their statements (Rollback
// and failure at the first that fails), then Commit, whose result counts.
// Begin inside an open transaction joins it, so a caller may hold one
// transaction across several operations (the workout import does).
class KvtDatabase
{
  public:
    // The file "KVTDB_NB.dat" in the folder "Vormatik" of the user's data folder.
    KvtDatabase();
    // The file "KVTDB_NB.dat" in the given folder (created when missing).
    explicit KvtDatabase(const std::u16string &folder);
    ~KvtDatabase();
    KvtDatabase(const KvtDatabase &) = delete;
    KvtDatabase &operator=(const KvtDatabase &) = delete;

    const std::u16string &GetPath() const { return m_path; }
    int IsOpen() const { return m_db.IsOpen(); }

    // ---- login state ----
    int Login(const char16_t *userId, const char16_t *password);
    int Logout();
    int IsLoggedIn() const { return m_loggedIn && m_currentUser ? 1 : 0; }

    // ---- transactions ----
    // 1 when a transaction is open afterwards: a new one, or the one already open.
    int Begin();
    // Ends the open transaction; when the engine refuses, rolls it back and
    // gives 0. Also 0 when no transaction is open (the engine has already
    // rolled it back, so nothing of it was stored).
    int Commit();
    // The same as Commit, for operations that give up without having written.
    int End();
    // Undoes the open transaction; 1 also when none is open (nothing to undo).
    int Rollback();
    int InTransaction() const { return m_db.InTransaction(); }

    // ---- user accounts ----
    int CheckPassword(const char16_t *userId, const char16_t *password);
    int AddUser(const char16_t *userId, const char16_t *password, const char16_t *firstName,
                const char16_t *lastName, uint8_t gender, const DateParts *dateOfBirth, uint8_t age,
                uint16_t height, uint8_t heightUnit, uint8_t weight, uint8_t weightUnit);
    int UpdateUser(const char16_t *currentPassword, const char16_t *newPassword, const char16_t *firstName,
                   const char16_t *lastName, uint8_t gender, const DateParts *dateOfBirth, uint8_t age,
                   uint16_t height, uint8_t heightUnit, uint8_t weight, uint8_t weightUnit);
    // Sizes are in characters; each name buffer ends with a zero character.
    int GetUser(char16_t *firstName, uint32_t firstNameSize, char16_t *lastName, uint32_t lastNameSize,
                uint8_t *gender, DateParts *dateOfBirth, uint8_t *age, uint16_t *height, uint8_t *heightUnit,
                uint8_t *weight, uint8_t *weightUnit);
    int DeleteUser();
    int SetDeviceSerialNo(const char16_t *serialNo);
    int GetDeviceSerialNo(char16_t *buffer, uint32_t size);

    // ---- social-site credentials ----
    int HasFacebookInfo();
    int SaveFacebookInfo(const char16_t *email, const char16_t *password);
    int GetFacebookInfo(char16_t *email, uint32_t emailSize, char16_t *password, uint32_t passwordSize);

    // Turns a stored password text back into the password.
    int DecryptPassword(const char16_t *stored, std::u16string *password);

    // ---- date-time values (see store/DateTime.h) ----
    static int LocalDateToFileTime(const DateParts *date, int64_t *value);
    static int LocalTimeToFileTime(const DateParts *date, const TimeParts *time, int64_t *value);
    static int GetWeekRange(int year, int week, DateParts *first, DateParts *last);

    // ---- runs ----
    // Stores one run of the current user. Joins the transaction a caller keeps
    // open (or opens one) and leaves it open: the caller commits. When one of
    // its inserts fails it rolls back the whole open transaction.
    int AddRun(const RunRecord *run);
    // The start of the user's latest run, all zero without runs. Opens a
    // transaction (or joins the open one) and leaves it open for the import.
    int GetLastRunTime(DateParts *date, TimeParts *time);
    // The highest run number in the file (over all users), -1 without runs.
    // Run numbers are handed out above it, so the runs added afterwards are
    // exactly those numbered above it.
    int GetLastRunId(int64_t *runId);
    // Takes back the current user's runs numbered above runId, with their
    // details, in a transaction of its own (joined when one is open): the
    // import's way of undoing runs that it had to store before the monitor's
    // file was emptied.
    int DeleteRunsAbove(int64_t runId);
    // Over all the user's runs: running plus walking distance, duration, count.
    int GetRunTotals(uint32_t *distance, uint32_t *duration, uint32_t *count);
    // The same, the distance and duration in full, each run's value taken as the unsigned 32-bit
    // number it was stored from: lifetime totals grow past 32 bits where a single period does not.
    int GetRunTotals(uint64_t *distance, uint64_t *duration, uint32_t *count);
    // Runs that started strictly after the moment given in service seconds.
    int CountRunsSince(int32_t unixSeconds, uint32_t *count);
    // Up to maxRuns runs that started strictly after the moment, oldest first,
    // into runs (temperature 0) and, when given, their starts in service
    // seconds into startUnixSeconds. The number written; 0 on any failure.
    int ListRunsSince(int32_t unixSeconds, int32_t maxRuns, RunRecord *runs, int32_t *startUnixSeconds);
    // 1 when some run of the user has a heart rate above 0.
    int HasHeartRates();
    // The day's last run: start time, duration and heart rates. Without runs
    // that day both heart rates are 0 and time and duration stay as they were.
    int GetHeartRateOfDay(const DateParts *date, TimeParts *time, uint32_t *duration,
                          uint8_t *heartRateBefore, uint8_t *heartRateAfter);

    // Sums over a period; a null output is skipped.
    int GetDayStats(const DateParts *date, uint32_t *duration, uint32_t *walkSteps, uint32_t *runSteps,
                    uint32_t *runDistance, uint32_t *walkDistance, uint32_t *calories);
    // Week 1-52 of the store's week numbering (GetWeekRange).
    int GetWeekStats(int week, int year, uint32_t *duration, uint32_t *walkSteps, uint32_t *runSteps,
                     uint32_t *runDistance, uint32_t *walkDistance, uint32_t *calories, uint32_t *count);
    int GetMonthStats(int month, int year, uint32_t *duration, uint32_t *walkSteps, uint32_t *runSteps,
                      uint32_t *runDistance, uint32_t *walkDistance, uint32_t *calories, uint32_t *count);
    // The days from firstDay on (days >= 1), whatever week or month they fall
    // in: a Monday-Sunday week is read by its Monday and 7.
    int GetRangeStats(const DateParts *firstDay, uint32_t days, uint32_t *duration, uint32_t *walkSteps,
                      uint32_t *runSteps, uint32_t *runDistance, uint32_t *walkDistance, uint32_t *calories,
                      uint32_t *count);
    int GetDayDistances(const DateParts *date, uint32_t *runDistance, uint32_t *walkDistance);
    int GetDayCalories(const DateParts *date, uint32_t *calories);
    // n consecutive weeks (after week 52 week 1 of the next year) or months;
    // element i of each array is period i's running and walking distance.
    // 1 when all n were filled.
    int GetWeekSeries(int week, int year, int n, uint32_t *runDistances, uint32_t *walkDistances);
    int GetMonthSeries(int month, int year, int n, uint32_t *runDistances, uint32_t *walkDistances);

    // ---- goals ----
    // The end date is the first day after the goal and must be after the start.
    int AddDistanceGoal(uint32_t distance, uint8_t unit, const DateParts *start, const DateParts *end);
    int AddTimeGoal(uint32_t seconds, const DateParts *start, const DateParts *end);
    int AddCaloriesGoal(uint32_t calories, const DateParts *start, const DateParts *end);
    // Rewrite one of the user's goals, which may change its kind; the dates are
    // taken as given.
    int UpdateDistanceGoal(int32_t goalId, uint32_t distance, uint8_t unit, const DateParts *start,
                           const DateParts *end);
    int UpdateTimeGoal(int32_t goalId, uint32_t seconds, const DateParts *start, const DateParts *end);
    int UpdateCaloriesGoal(int32_t goalId, uint32_t calories, const DateParts *start, const DateParts *end);
    int DeleteGoal(int32_t goalId);
    // With goals: fills up to capacity records in goal-id order and gives their
    // number; without: the number of the user's goals. -1 on failure.
    int GetGoals(GoalRecord *goals, int32_t capacity);
    // The goal with the highest id; without goals the record stays as it was.
    int GetCurrentGoal(GoalRecord *goal);

  private:
    // Further table groups are members defined in their own .cpp files; they
    // build statements with Exec, read m_table, and check IsLoggedIn before
    // using CurrentUser.
    void OpenFile(const std::u16string &folder);
    void EnsureSchema();
    void EnsureIndexes();

    // Runs one statement of the SqlFormat directives into m_table, its values bound as parameters; 0
    // when SqlFormat would refuse the format or the arguments.
    int Exec(std::u16string_view format, std::initializer_list<SqlArg> args = {});
    // The same, giving the rows one at a time (see SQLiteDatabase::QueryBoundRows).
    int ExecRows(std::u16string_view format, std::initializer_list<SqlArg> args,
                 const std::function<bool(const CellTable &)> &onRow);
    // The statement with parameters of a format, when the format and the arguments are accepted.
    const SqlParameters *Parameters(std::u16string_view format, std::initializer_list<SqlArg> args);
    const std::u16string &CurrentUser() const { return *m_currentUser; }

    // The stored password text of the bytes; empty when the cipher gives nothing.
    std::u16string MakeStoredPassword(const void *bytes, std::size_t length);
    // Deciphers a stored password text; the text ends at the first zero
    // character or at the end of the deciphered bytes. false when the cipher
    // gives nothing.
    bool ReadStoredPassword(std::u16string_view stored, std::u16string *password);

    // Sums of the current user's runs that start in [start, end).
    struct PeriodSums
    {
        uint32_t runDistance = 0;
        uint32_t walkDistance = 0;
        uint32_t duration = 0;
        uint32_t walkSteps = 0;
        uint32_t runSteps = 0;
        uint32_t calories = 0;
        uint32_t count = 0;
    };
    int SumPeriod(int64_t start, int64_t end, PeriodSums *sums);
    // Writes the sums to the outputs that are given.
    static void ReportSums(const PeriodSums &sums, uint32_t *duration, uint32_t *walkSteps,
                           uint32_t *runSteps, uint32_t *runDistance, uint32_t *walkDistance,
                           uint32_t *calories, uint32_t *count);
    // The period-sum of the days [first, first + days).
    int SumDays(const DateParts *first, int64_t days, PeriodSums *sums);
    // The goal in row of m_table (columns as the goal-list statements give them),
    // without its progress.
    void ReadGoalRow(uint32_t row, GoalRecord *goal) const;
    void FillGoalProgress(GoalRecord *goal);
    // kind: 0 distance, 1 time, 2 calories.
    int AddGoal(int kind, uint32_t target, uint8_t unit, const DateParts *start, const DateParts *end);
    int UpdateGoal(int kind, int32_t goalId, uint32_t target, uint8_t unit, const DateParts *start,
                   const DateParts *end);

    // The logged-in user's runs summed by day (KvtDatabaseSummary.cpp): read with one statement
    // over the user's runs, kept in step by this object's own writes of runs, and read again when another
    // connection has changed the file. It answers only while its sums are certain to equal what the
    // statements give: every value an integer (or NULL), starts not before 1601, and no sum near the
    // 64-bit limit. Otherwise the statements answer.
    struct DaySums
    {
        int64_t runDistance = 0;
        int64_t walkDistance = 0;
        int64_t duration = 0;
        int64_t walkSteps = 0;
        int64_t runSteps = 0;
        int64_t calories = 0;
        int64_t count = 0;
        int64_t withHeartRate = 0; // runs with a heart rate above 0
        int64_t lastStart = 0;
        // The distances and the duration with each run's value read back as the unsigned 32-bit
        // number it was stored from (AddRun stores them as signed ones): the lifetime totals.
        uint64_t unsignedRunDistance = 0;
        uint64_t unsignedWalkDistance = 0;
        uint64_t unsignedDuration = 0;
        // values: run distance, walk distance, duration, walk steps, run steps, calories.
        void Add(int64_t start, const int64_t (&values)[6], bool hasHeartRate);
    };
    struct RunSummary
    {
        bool built = false;
        bool usable = false;
        // It holds runs of the open transaction: a rollback takes them back.
        bool uncommitted = false;
        int64_t dataVersion = 0;
        // Sum of the absolute values of each summed column: while it fits, no sum in any order can
        // overflow.
        int64_t magnitude = 0;
        std::map<int64_t, DaySums> days; // by day number since 1601-01-01
    };
    // true when the summary may answer (built or brought up to date first).
    bool SummaryReady();
    void BuildSummary(int64_t dataVersion);
    void DropSummary() { m_summary = RunSummary(); }
    // After a run was stored by AddRun.
    void SummaryAddRun(int64_t start, const RunRecord &run);
    // The sums of whole days [firstDay, endDay) from the summary.
    bool SummaryPeriod(int64_t start, int64_t end, PeriodSums *sums);
    // The day sums of [start, end) in full; false as SummaryPeriod.
    bool SummaryDaySums(int64_t start, int64_t end, DaySums *total);
    int ReadDataVersion(int64_t *version);

    SQLiteDatabase m_db;
    CellTable m_table;
    RunSummary m_summary;
    // Each statement format with its parameters, made on the format's first use.
    std::unordered_map<std::u16string, SqlParameters, SqlTextHash, std::equal_to<>> m_statements;
    std::optional<std::u16string> m_currentUser;
    int m_loggedIn = 0;
    std::u16string m_path;
    BlockCipher m_cipher;
};
