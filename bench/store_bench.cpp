// Timings of the records store side by side with hand-written SQLite on the same file: three users,
// the measured one with 1 000 or 100 000 runs (the two others as many each), and 50 goals. Every
// operation runs in rounds, the store and its raw equivalent in turn; the table gives the median of
// each and the ratio store/raw. The raw side opens its own connection, prepares each statement once and
// binds its values; after every operation the store's answer is checked against the raw one.
//
// Run: build/default/bench/store_bench [runs per user ...]   (default: 1000 100000)

#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include "platform/sys/TextConvert.h"

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
const char16_t kUser[] = u"runner";
const char16_t kPassword[] = u"secret";
const char16_t *const kOthers[] = {u"walker", u"jogger"};

// Runs start at 2009-01-01 and follow each other every `spacing` seconds for each user.
const int64_t kFirstRun = 128752416000000000; // 2009-01-01 00:00:00
const int kDaysCovered = 15 * 365;            // runs spread over about 15 years
const int64_t kDay = vxtime::kTicksPerDay;

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "store_bench: %s\n", what.c_str());
    std::exit(1);
}

void Check(bool ok, const std::string &what)
{
    if (!ok)
        Fail("answers differ: " + what);
}

std::string TempFolder()
{
    char pattern[] = "/tmp/vormatik-bench-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made)
        Fail("mkdtemp failed");
    return made;
}

double Now()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int64_t Ticks(DateParts date)
{
    int64_t value = 0;
    vxtime::LocalDateToFileTime(&date, &value);
    return value;
}

// ---- the raw side ----

class Raw
{
  public:
    explicit Raw(const std::string &path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            Fail("raw open failed");
    }
    ~Raw()
    {
        for (sqlite3_stmt *s : m_statements)
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }

    sqlite3_stmt *Prepare(const char *sql)
    {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
            Fail(std::string("raw prepare failed: ") + sqlite3_errmsg(m_db));
        m_statements.push_back(s);
        return s;
    }

    void Exec(const char *sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail(std::string("raw exec failed: ") + sqlite3_errmsg(m_db));
    }

    sqlite3 *Db() const { return m_db; }

  private:
    sqlite3 *m_db = nullptr;
    std::vector<sqlite3_stmt *> m_statements;
};

// Binds the user (UTF-16, as the store does) and steps once; the caller reads the row and resets.
void BindUser(sqlite3_stmt *s, int index)
{
    sqlite3_bind_text16(s, index, kUser, static_cast<int>(sizeof(kUser) - 2), SQLITE_STATIC);
}

struct Sums
{
    uint32_t runDistance = 0, walkDistance = 0, duration = 0, walkSteps = 0, runSteps = 0, calories = 0,
             count = 0;
};

uint32_t Low32(sqlite3_stmt *s, int column)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(sqlite3_column_int64(s, column)));
}

// ---- the file ----

// Fills RunInfo and Run directly (the store's own AddRun would take minutes for 300 000 rows), with
// the rows the store itself writes: RunIDs over all users, goal -1.
void FillRuns(const std::string &path, int runsPerUser)
{
    Raw raw(path);
    raw.Exec("BEGIN");
    sqlite3_stmt *run = raw.Prepare("Insert into Run values ( ?, ?, -1 )");
    sqlite3_stmt *info = raw.Prepare("Insert into RunInfo values ( ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, ? )");
    const int64_t spacing = static_cast<int64_t>(kDaysCovered) * kDay / runsPerUser;
    const std::u16string users[3] = {kUser, kOthers[0], kOthers[1]};
    int runId = 0;
    for (int i = 0; i < runsPerUser; ++i)
    {
        for (int u = 0; u < 3; ++u)
        {
            sqlite3_bind_text16(run, 1, users[u].data(), static_cast<int>(users[u].size() * 2),
                                SQLITE_STATIC);
            sqlite3_bind_int(run, 2, runId);
            sqlite3_step(run);
            sqlite3_reset(run);
            sqlite3_bind_int(info, 1, runId);
            sqlite3_bind_int64(info, 2, kFirstRun + i * spacing + u * 600 * vxtime::kTicksPerSecond);
            sqlite3_bind_int(info, 3, 1800 + i % 600);
            sqlite3_bind_int(info, 4, 2000 + i % 700);
            sqlite3_bind_int(info, 5, 3000 + i % 900);
            sqlite3_bind_int(info, 6, 4000 + i % 1000);
            sqlite3_bind_int(info, 7, 1500 + i % 500);
            sqlite3_bind_int(info, 8, 300 + i % 200);
            // One run in 50 carries heart rates.
            sqlite3_bind_int(info, 9, i % 50 == 49 ? 60 + i % 40 : 0);
            sqlite3_bind_int(info, 10, i % 50 == 49 ? 120 + i % 50 : 0);
            sqlite3_step(info);
            sqlite3_reset(info);
            ++runId;
        }
    }
    raw.Exec("COMMIT");
}

struct Row
{
    std::string name;
    double store = 0;
    double raw = 0;
    int rounds = 0;
};

// Runs both sides in turn for the given rounds (after one untimed round of each).
Row Measure(const std::string &name, int rounds, const std::function<void()> &store,
            const std::function<void()> &raw, const std::function<void()> &between = {})
{
    std::vector<double> s, r;
    for (int i = -1; i < rounds; ++i)
    {
        double t = Now();
        store();
        const double ts = Now() - t;
        if (between)
            between();
        t = Now();
        raw();
        const double tr = Now() - t;
        if (between)
            between();
        if (i >= 0)
        {
            s.push_back(ts);
            r.push_back(tr);
        }
    }
    return Row{name, Median(s), Median(r), rounds};
}

void Print(int runsPerUser, const std::vector<Row> &rows, long rssKb)
{
    std::printf("\n### %d runs per user (3 users, %d runs in the file), 50 goals\n\n", runsPerUser,
                3 * runsPerUser);
    std::printf("| operation | store ms | raw ms | store/raw | rounds |\n|---|---:|---:|---:|---:|\n");
    for (const Row &row : rows)
    {
        if (row.raw > 0)
            std::printf("| %s | %.3f | %.3f | %.2f | %d |\n", row.name.c_str(), row.store, row.raw,
                        row.store / row.raw, row.rounds);
        else
            std::printf("| %s | %.3f | - | - | %d |\n", row.name.c_str(), row.store, row.rounds);
    }
    std::printf("\nPeak RSS of the process after this size: %ld KiB\n", rssKb);
    std::fflush(stdout);
}

void RunSize(int runsPerUser)
{
    const std::string folder = TempFolder();
    const std::u16string folder16 = vxsys::Utf8ToUtf16(folder);
    const std::string path = folder + "/KVTDB_NB.dat";
    std::vector<Row> rows;
    {
        KvtDatabase setup(folder16);
        const DateParts dob{1, 1, 1980};
        for (const char16_t *user : {kUser, kOthers[0], kOthers[1]})
            setup.AddUser(user, kPassword, u"First", u"Last", 1, &dob, 40, 180, 3, 75, 5);
    }
    FillRuns(path, runsPerUser);

    // The first open of a file without the three lookups builds them (once; not repeated).
    {
        Raw raw(path);
        raw.Exec("Drop index RunInfoRunDateTime; Drop index RunInfoRunID; Drop index RunRunIDUserID;");
    }
    {
        const double t = Now();
        KvtDatabase first(folder16);
        rows.push_back(Row{"first open, building the three indexes", Now() - t, 0, 1});
    }

    // Open with the schema check, against opening and the same checks by hand.
    rows.push_back(Measure(
        "open + schema check", 21, [&] { KvtDatabase db(folder16); },
        [&] {
            Raw raw(path);
            sqlite3_stmt *count = raw.Prepare("Select count(*) from sqlite_master where name=?");
            for (const char *table : {"UserInfo", "Goal", "GoalInfo", "Run", "RunInfo", "FacebookInfo"})
            {
                sqlite3_bind_text(count, 1, table, -1, SQLITE_STATIC);
                sqlite3_step(count);
                sqlite3_reset(count);
            }
            raw.Exec("Create index if not exists RunInfoRunDateTime on RunInfo ( RunDateTime )");
            raw.Exec("Create index if not exists RunInfoRunID on RunInfo ( RunID )");
            raw.Exec("Create index if not exists RunRunIDUserID on Run ( RunID, UserID )");
        }));

    KvtDatabase db(folder16);
    Raw raw(path);
    sqlite3_stmt *password = raw.Prepare("Select Password from UserInfo where UserID = ?");
    rows.push_back(Measure(
        "log-in (store: with the day summary)", 11,
        [&] {
            if (!db.Login(kUser, kPassword))
                Fail("login failed");
        },
        [&] {
            BindUser(password, 1);
            sqlite3_step(password);
            sqlite3_reset(password);
        }));
    db.Login(kUser, kPassword);

    // 50 monthly goals over the covered years.
    for (int g = 0; g < 50; ++g)
    {
        const DateParts start{1, static_cast<uint8_t>(g % 12 + 1), static_cast<uint16_t>(2010 + g / 12)};
        const DateParts end{1, static_cast<uint8_t>((g + 1) % 12 + 1),
                            static_cast<uint16_t>(2010 + (g + 1) / 12)};
        db.AddDistanceGoal(100000 + g, 1, &start, &end);
    }

    const char *periodSql =
        "Select Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), Sum(RunInfo.RunDuration), "
        "Sum(RunInfo.RunStepWalk), Sum(RunInfo.RunStepRun), Sum(RunInfo.RunCalories), count(*) from RunInfo "
        "INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = ? and RunDateTime >= ? and "
        "RunDateTime < ?";
    sqlite3_stmt *period = raw.Prepare(periodSql);
    auto rawPeriod = [&](int64_t start, int64_t end) {
        BindUser(period, 1);
        sqlite3_bind_int64(period, 2, start);
        sqlite3_bind_int64(period, 3, end);
        Sums s;
        if (sqlite3_step(period) == SQLITE_ROW)
        {
            s.runDistance = Low32(period, 0);
            s.walkDistance = Low32(period, 1);
            s.duration = Low32(period, 2);
            s.walkSteps = Low32(period, 3);
            s.runSteps = Low32(period, 4);
            s.calories = Low32(period, 5);
            s.count = Low32(period, 6);
        }
        sqlite3_reset(period);
        return s;
    };

    // ---- import: as the workout import does it: the latest run, 255 runs, one COMMIT ----
    sqlite3_stmt *lastRun = raw.Prepare("Select max(RunInfo.RunDateTime) from RunInfo INNER JOIN Run ON "
                                        "Run.RunID=RunInfo.RunID and Run.UserID=?");
    sqlite3_stmt *goalOf = raw.Prepare(
        "Select GoalInfo.GoalID from GoalInfo INNER JOIN Goal ON Goal.GoalID = GoalInfo.GoalID and "
        "Goal.UserID = ? and GoalInfo.GoalTimeFrameFrom <= ? and GoalInfo.GoalTimeFrameTo >= ?");
    sqlite3_stmt *maxId = raw.Prepare("Select max( RunID ) from Run");
    sqlite3_stmt *insertRun = raw.Prepare("Insert into Run values ( ?, ?, ? )");
    sqlite3_stmt *insertInfo = raw.Prepare("Insert into RunInfo values ( ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ? )");
    auto importRun = [](int i) {
        RunRecord run{};
        run.date = DateParts{static_cast<uint8_t>(1 + i % 28), static_cast<uint8_t>(1 + i / 28 % 12), 2031};
        run.time = TimeParts{static_cast<uint8_t>(i % 24), 0, 0};
        run.duration = 1800;
        run.walkSteps = 2000;
        run.runSteps = 3000;
        run.runDistance = 4000;
        run.walkDistance = 1500;
        run.calories = 300;
        run.heartRateBefore = 70;
        run.heartRateAfter = 140;
        return run;
    };
    int64_t idBefore = -1;
    db.GetLastRunId(&idBefore);
    auto undoImport = [&] {
        // Untimed: take the runs out again and let the store read its summary back.
        if (!db.DeleteRunsAbove(idBefore))
            Fail("undo failed");
        uint32_t d = 0, t = 0, c = 0;
        db.GetRunTotals(&d, &t, &c);
        Check(c == static_cast<uint32_t>(runsPerUser), "run count after the undo");
    };
    rows.push_back(Measure(
        "import: 255 runs + COMMIT", 15,
        [&] {
            DateParts date{};
            TimeParts time{};
            db.GetLastRunTime(&date, &time);
            for (int i = 0; i < 255; ++i)
            {
                const RunRecord run = importRun(i);
                if (!db.AddRun(&run))
                    Fail("AddRun failed");
            }
            if (!db.Commit())
                Fail("COMMIT failed");
        },
        [&] {
            raw.Exec("BEGIN");
            BindUser(lastRun, 1);
            sqlite3_step(lastRun);
            sqlite3_reset(lastRun);
            sqlite3_step(maxId);
            int64_t id = sqlite3_column_int64(maxId, 0) + 1;
            sqlite3_reset(maxId);
            for (int i = 0; i < 255; ++i, ++id)
            {
                const RunRecord run = importRun(i);
                int64_t start = 0;
                vxtime::LocalTimeToFileTime(&run.date, &run.time, &start);
                BindUser(goalOf, 1);
                sqlite3_bind_int64(goalOf, 2, start);
                sqlite3_bind_int64(goalOf, 3, start);
                const int64_t goal =
                    sqlite3_step(goalOf) == SQLITE_ROW && sqlite3_column_type(goalOf, 0) == SQLITE_INTEGER
                        ? sqlite3_column_int64(goalOf, 0)
                        : -1;
                sqlite3_reset(goalOf);
                BindUser(insertRun, 1);
                sqlite3_bind_int64(insertRun, 2, id);
                sqlite3_bind_int64(insertRun, 3, goal);
                const int64_t values[11] = {id,
                                            start,
                                            run.duration,
                                            run.walkSteps,
                                            run.runSteps,
                                            run.runDistance,
                                            run.walkDistance,
                                            run.calories,
                                            run.temperature,
                                            run.heartRateBefore,
                                            run.heartRateAfter};
                for (int v = 0; v < 11; ++v)
                    sqlite3_bind_int64(insertInfo, v + 1, values[v]);
                if (sqlite3_step(insertRun) != SQLITE_DONE || sqlite3_step(insertInfo) != SQLITE_DONE)
                    Fail("raw insert failed");
                sqlite3_reset(insertRun);
                sqlite3_reset(insertInfo);
            }
            raw.Exec("COMMIT");
        },
        undoImport));

    // ---- the history reads ----
    sqlite3_stmt *totals =
        raw.Prepare("Select Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), "
                    "Sum(RunInfo.RunDuration), count(*) "
                    "from RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = ?");
    {
        uint32_t d = 0, t = 0, c = 0;
        uint32_t rd = 0, rt = 0, rc = 0;
        rows.push_back(Measure(
            "GetRunTotals", 31, [&] { db.GetRunTotals(&d, &t, &c); },
            [&] {
                BindUser(totals, 1);
                sqlite3_step(totals);
                rd = Low32(totals, 0) + Low32(totals, 1);
                rt = Low32(totals, 2);
                rc = Low32(totals, 3);
                sqlite3_reset(totals);
            }));
        Check(d == rd && t == rt && c == rc && c == static_cast<uint32_t>(runsPerUser), "totals");
    }
    sqlite3_stmt *heart =
        raw.Prepare("Select exists (select 1 from RunInfo INNER JOIN Run ON RunInfo.RunID=Run.RunID where "
                    "Run.UserID=? and "
                    "(RunInfo.RunHeartBeatBeforeRun > 0 or RunInfo.RunHeartBeatAfterRun > 0))");
    auto rawHeart = [&] {
        BindUser(heart, 1);
        sqlite3_step(heart);
        const int has = sqlite3_column_int(heart, 0);
        sqlite3_reset(heart);
        return has;
    };
    {
        int has = -1, rawHas = -1;
        rows.push_back(Measure(
            "HasHeartRates", 31, [&] { has = db.HasHeartRates(); }, [&] { rawHas = rawHeart(); }));
        Check(has == 1 && rawHas == 1, "heart rates");
    }
    // The day of a run in the middle of the user's history.
    DateParts day{};
    vxtime::FileTimeToDate(
        kFirstRun + (runsPerUser / 2) * (static_cast<int64_t>(kDaysCovered) * kDay / runsPerUser), &day);
    {
        Sums s, r;
        rows.push_back(Measure(
            "day sums (GetDayStats)", 31,
            [&] {
                db.GetDayStats(&day, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance, &s.walkDistance,
                               &s.calories);
            },
            [&] { r = rawPeriod(Ticks(day), Ticks(day) + kDay); }));
        Check(s.runDistance == r.runDistance && s.walkDistance == r.walkDistance &&
                  s.calories == r.calories && s.duration == r.duration && s.walkSteps == r.walkSteps &&
                  s.runSteps == r.runSteps,
              "day");
    }
    {
        uint32_t run[7] = {}, walk[7] = {};
        Sums r[7];
        rows.push_back(Measure(
            "day list (7 x GetDayDistances)", 31,
            [&] {
                for (int i = 0; i < 7; ++i)
                {
                    const DateParts d{static_cast<uint8_t>(10 + i), 3, 2016};
                    db.GetDayDistances(&d, &run[i], &walk[i]);
                }
            },
            [&] {
                for (int i = 0; i < 7; ++i)
                {
                    const DateParts d{static_cast<uint8_t>(10 + i), 3, 2016};
                    r[i] = rawPeriod(Ticks(d), Ticks(d) + kDay);
                }
            }));
        for (int i = 0; i < 7; ++i)
            Check(run[i] == r[i].runDistance && walk[i] == r[i].walkDistance, "day list");
    }
    {
        uint32_t run[6] = {}, walk[6] = {};
        Sums r[6];
        rows.push_back(Measure(
            "6-week series", 31, [&] { db.GetWeekSeries(10, 2016, 6, run, walk); },
            [&] {
                for (int i = 0; i < 6; ++i)
                {
                    DateParts first{}, last{};
                    vxtime::GetWeekRange(2016, 10 + i, &first, &last);
                    r[i] = rawPeriod(Ticks(first), Ticks(first) + 7 * kDay);
                }
            }));
        for (int i = 0; i < 6; ++i)
            Check(run[i] == r[i].runDistance && walk[i] == r[i].walkDistance && r[i].count > 0,
                  "week series");
    }
    auto monthRange = [](int i, int64_t *start, int64_t *end) {
        const int month = (3 + i) % 12 + 1;
        const int year = 2015 + (3 + i) / 12;
        DateParts first{}, last{};
        vxtime::DaysInMonth(year, month, &first, &last);
        *start = Ticks(first);
        *end = *start + last.day * kDay;
    };
    {
        uint32_t run[12] = {}, walk[12] = {};
        Sums r[12];
        rows.push_back(Measure(
            "12-month series", 31, [&] { db.GetMonthSeries(4, 2015, 12, run, walk); },
            [&] {
                for (int i = 0; i < 12; ++i)
                {
                    int64_t start = 0, end = 0;
                    monthRange(i, &start, &end);
                    r[i] = rawPeriod(start, end);
                }
            }));
        for (int i = 0; i < 12; ++i)
            Check(run[i] == r[i].runDistance && walk[i] == r[i].walkDistance && r[i].count > 0,
                  "month series");
    }
    sqlite3_stmt *dayRuns = raw.Prepare(
        "Select RunInfo.RunHeartBeatBeforeRun, RunInfo.RunHeartBeatAfterRun, RunInfo.RunDateTime, "
        "RunInfo.RunDuration from RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = ? and "
        "RunDateTime >= ? and RunDateTime < ? ORDER BY RunInfo.RunDateTime");
    auto rawDayRuns = [&](uint32_t *duration) {
        BindUser(dayRuns, 1);
        sqlite3_bind_int64(dayRuns, 2, Ticks(day));
        sqlite3_bind_int64(dayRuns, 3, Ticks(day) + kDay);
        while (sqlite3_step(dayRuns) == SQLITE_ROW)
            *duration = Low32(dayRuns, 3);
        sqlite3_reset(dayRuns);
    };
    {
        TimeParts time{};
        uint32_t duration = 0, rawDuration = 0;
        uint8_t before = 0, after = 0;
        rows.push_back(Measure(
            "runs of a day (GetHeartRateOfDay)", 31,
            [&] { db.GetHeartRateOfDay(&day, &time, &duration, &before, &after); },
            [&] { rawDayRuns(&rawDuration); }));
        Check(duration == rawDuration && duration > 0, "runs of a day");
    }
    sqlite3_stmt *goalCount = raw.Prepare("Select count(*) from GoalInfo INNER JOIN Goal ON Goal.GoalID = "
                                          "GoalInfo.GoalID and Goal.UserID = ?");
    sqlite3_stmt *goalList = raw.Prepare(
        "Select GoalInfo.GoalTimeFrameFrom, GoalInfo.GoalTimeFrameTo from GoalInfo INNER JOIN Goal ON "
        "Goal.GoalID = GoalInfo.GoalID and Goal.UserID = ? ORDER BY GoalInfo.GoalID");
    auto rawGoals = [&](std::vector<uint32_t> *done) {
        BindUser(goalCount, 1);
        sqlite3_step(goalCount);
        const int count = sqlite3_column_int(goalCount, 0);
        sqlite3_reset(goalCount);
        std::vector<std::pair<int64_t, int64_t>> ranges;
        ranges.reserve(count);
        BindUser(goalList, 1);
        while (sqlite3_step(goalList) == SQLITE_ROW)
            ranges.emplace_back(sqlite3_column_int64(goalList, 0), sqlite3_column_int64(goalList, 1));
        sqlite3_reset(goalList);
        for (const auto &range : ranges)
        {
            const Sums s = rawPeriod(range.first, range.second);
            done->push_back(s.runDistance + s.walkDistance);
        }
    };
    {
        GoalRecord goals[50];
        int n = 0;
        std::vector<uint32_t> done;
        rows.push_back(Measure(
            "goals with progress (count + 50)", 21,
            [&] {
                const int count = db.GetGoals(nullptr, 0);
                n = db.GetGoals(goals, count);
            },
            [&] {
                done.clear();
                rawGoals(&done);
            }));
        Check(n == 50 && done.size() == 50, "goal count");
        for (int i = 0; i < n; ++i)
            Check(goals[i].doneDistance == done[i], "goal progress");
    }
    sqlite3_stmt *currentGoal = raw.Prepare(
        "Select GoalInfo.GoalTimeFrameFrom, GoalInfo.GoalTimeFrameTo from GoalInfo INNER JOIN Goal ON "
        "Goal.GoalID = GoalInfo.GoalID and Goal.UserID = ? and GoalInfo.GoalID = (select max(Goal.GoalID) "
        "from "
        "Goal where Goal.UserID=?)");
    auto rawCurrent = [&] {
        BindUser(currentGoal, 1);
        BindUser(currentGoal, 2);
        uint32_t done = 0;
        if (sqlite3_step(currentGoal) == SQLITE_ROW)
        {
            const Sums s =
                rawPeriod(sqlite3_column_int64(currentGoal, 0), sqlite3_column_int64(currentGoal, 1));
            done = s.runDistance + s.walkDistance;
        }
        sqlite3_reset(currentGoal);
        return done;
    };
    {
        GoalRecord goal{};
        uint32_t rawDone = 1;
        rows.push_back(Measure(
            "current goal", 31, [&] { db.GetCurrentGoal(&goal); }, [&] { rawDone = rawCurrent(); }));
        Check(goal.doneDistance == rawDone, "current goal");
    }
    auto rawLast = [&] {
        BindUser(lastRun, 1);
        sqlite3_step(lastRun);
        const int64_t last = sqlite3_column_int64(lastRun, 0);
        sqlite3_reset(lastRun);
        return last;
    };
    {
        DateParts date{};
        TimeParts time{};
        int64_t last = 0;
        rows.push_back(Measure(
            "last run time", 31,
            [&] {
                // The store leaves its transaction open for the import; the read ends it here.
                db.GetLastRunTime(&date, &time);
                db.End();
            },
            [&] { last = rawLast(); }));
        // The store gives whole seconds.
        DateParts rawDate{};
        TimeParts rawTime{};
        vxtime::FileTimeToDateTime(last, &rawDate, &rawTime);
        Check(date.day == rawDate.day && date.month == rawDate.month && date.year == rawDate.year &&
                  time.hour == rawTime.hour && time.minute == rawTime.minute &&
                  time.second == rawTime.second && date.year > 2000,
              "last run time");
    }

    // ---- the run list of the web upload ----
    sqlite3_stmt *since = raw.Prepare(
        "Select RunInfo.RunDistanceRun, RunInfo.RunDistanceWalk, RunInfo.RunDuration, RunInfo.RunStepRun, "
        "RunInfo.RunStepWalk, RunInfo.RunCalories, RunInfo.RunHeartBeatBeforeRun, "
        "RunInfo.RunHeartBeatAfterRun, "
        "RunInfo.RunDateTime from RunInfo INNER JOIN Run ON Run.RunID=RunInfo.RunID and Run.UserID = ? and "
        "RunDateTime > ? ORDER BY RunInfo.RunDateTime LIMIT ?");
    auto rawSince = [&](int32_t limit, std::vector<RunRecord> *runs, std::vector<int32_t> *starts) {
        int64_t from = 0;
        vxtime::UnixLocalToFileTime(0, &from);
        BindUser(since, 1);
        sqlite3_bind_int64(since, 2, from);
        sqlite3_bind_int(since, 3, limit);
        int n = 0;
        while (sqlite3_step(since) == SQLITE_ROW)
        {
            RunRecord &run = (*runs)[n];
            run = RunRecord{};
            run.runDistance = Low32(since, 0);
            run.walkDistance = Low32(since, 1);
            run.duration = Low32(since, 2);
            run.runSteps = Low32(since, 3);
            run.walkSteps = Low32(since, 4);
            run.calories = Low32(since, 5);
            run.heartRateBefore = static_cast<uint8_t>(Low32(since, 6));
            run.heartRateAfter = static_cast<uint8_t>(Low32(since, 7));
            const int64_t start = sqlite3_column_int64(since, 8);
            vxtime::FileTimeToDateTime(start, &run.date, &run.time);
            vxtime::FileTimeToUnixLocal(start, &(*starts)[n]);
            ++n;
        }
        sqlite3_reset(since);
        return n;
    };
    for (int32_t limit : {2000, 100000})
    {
        std::vector<RunRecord> runs(limit), rawRuns(limit);
        std::vector<int32_t> starts(limit), rawStarts(limit);
        int n = 0, r = 0;
        rows.push_back(Measure(
            "ListRunsSince, up to " + std::to_string(limit) + " rows", limit > 2000 ? 9 : 21,
            [&] { n = db.ListRunsSince(0, limit, runs.data(), starts.data()); },
            [&] { r = rawSince(limit, &rawRuns, &rawStarts); }));
        Check(n == r && n == std::min(limit, runsPerUser), "run list length");
        for (int i = 0; i < n; ++i)
            Check(starts[i] == rawStarts[i] && runs[i].calories == rawRuns[i].calories &&
                      runs[i].runDistance == rawRuns[i].runDistance &&
                      runs[i].time.minute == rawRuns[i].time.minute,
                  "run list");
    }

    Print(runsPerUser, rows, PeakRssKb());
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
} // namespace

int main(int argc, char **argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 100000};
    std::printf("Medians in milliseconds; store/raw is the ratio of the medians. Each round runs the store, "
                "then the raw equivalent.\n");
    for (int size : sizes)
        RunSize(size);
    return 0;
}
