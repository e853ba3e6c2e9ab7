// The history reads against the plain statements the store runs without its day summary, on random
// runs of several users, after every kind of write.

#include "store/KvtDatabase.h"
#include "store/SqlText.h"

#include "tests/store/RunStoreTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace storetest;

namespace
{
struct Sums
{
    int ok = -1;
    uint32_t v[7] = {0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
    bool operator==(const Sums &o) const
    {
        return ok == o.ok && (ok == 0 || std::equal(std::begin(v), std::end(v), std::begin(o.v)));
    }
};

std::string Show(const Sums &s)
{
    std::string out = "ok=" + std::to_string(s.ok);
    for (uint32_t x : s.v)
        out += " " + std::to_string(x);
    return out;
}

uint32_t Low32(const CellTable &table, uint32_t column)
{
    int64_t value = 0;
    if (!table.GetInt64(0, column, &value))
        return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(value));
}

// The statements as the store runs them when it has no summary, with their values written in, on a
// connection of their own.
class Plain
{
  public:
    explicit Plain(const std::u16string &path) : m_peek(path) {}

    Sums Period(const std::u16string &user, int64_t start, int64_t end)
    {
        const auto sql = SqlFormat(
            u"Select Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), Sum(RunInfo.RunDuration), "
            u"Sum(RunInfo.RunStepWalk), Sum(RunInfo.RunStepRun), Sum(RunInfo.RunCalories), count(*) from "
            u"RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = '%s' and RunDateTime >= "
            u"%I64i and RunDateTime < %I64i",
            {user, start, end});
        Sums s;
        s.ok = m_peek.Run(*sql);
        // Store order: duration, walk steps, run steps, run distance, walk distance, calories, count.
        const uint32_t columns[7] = {2, 3, 4, 0, 1, 5, 6};
        for (int i = 0; i < 7 && s.ok; ++i)
            s.v[i] = Low32(m_peek.Table(), columns[i]);
        return s;
    }

    Sums Totals(const std::u16string &user)
    {
        const auto sql = SqlFormat(u"Select Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), "
                                   u"Sum(RunInfo.RunDuration), count(*) from RunInfo INNER JOIN Run ON "
                                   u"Run.RunID = RunInfo.RunID and Run.UserID = '%s'",
                                   {user});
        Sums s;
        s.ok = m_peek.Run(*sql);
        if (s.ok)
        {
            s.v[0] = Low32(m_peek.Table(), 0) + Low32(m_peek.Table(), 1);
            s.v[1] = Low32(m_peek.Table(), 2);
            s.v[2] = Low32(m_peek.Table(), 3);
        }
        return s;
    }

    // The lifetime totals in full: distance, duration, count; each stored value as the unsigned
    // 32-bit number it was stored from. ok 0 when the statement fails.
    struct FullTotals
    {
        int ok = -1;
        uint64_t distance = 0xDEAD, duration = 0xDEAD;
        uint32_t count = 0xDEAD;
        bool operator==(const FullTotals &) const = default;
    };
    FullTotals Totals64(const std::u16string &user)
    {
        const auto sql = SqlFormat(u"Select Sum(RunInfo.RunDistanceRun & 4294967295) + "
                                   u"Sum(RunInfo.RunDistanceWalk & 4294967295), "
                                   u"Sum(RunInfo.RunDuration & 4294967295), count(*) from RunInfo INNER JOIN "
                                   u"Run ON Run.RunID = RunInfo.RunID and Run.UserID = '%s'",
                                   {user});
        FullTotals t;
        t.ok = m_peek.Run(*sql);
        if (t.ok)
        {
            int64_t value = 0;
            t.distance = m_peek.Table().GetInt64(0, 0, &value) ? static_cast<uint64_t>(value) : 0;
            t.duration = m_peek.Table().GetInt64(0, 1, &value) ? static_cast<uint64_t>(value) : 0;
            t.count = Low32(m_peek.Table(), 2);
        }
        return t;
    }

    int HeartRates(const std::u16string &user)
    {
        const auto sql = SqlFormat(u"Select max(RunInfo.RunHeartBeatBeforeRun), "
                                   u"max(RunInfo.RunHeartBeatAfterRun) from RunInfo INNER JOIN Run ON "
                                   u"RunInfo.RunID=Run.RunID where Run.UserID='%s'",
                                   {user});
        if (!m_peek.Run(*sql))
            return 0;
        int64_t before = 0;
        int64_t after = 0;
        if (m_peek.Table().GetInt64(0, 0, &before) && before > 0)
            return 1;
        return m_peek.Table().GetInt64(0, 1, &after) && after > 0 ? 1 : 0;
    }

    // The latest start, 0 without one.
    int64_t LastStart(const std::u16string &user)
    {
        const auto sql = SqlFormat(u"Select max(RunInfo.RunDateTime) from RunInfo INNER JOIN Run ON "
                                   u"Run.RunID=RunInfo.RunID and Run.UserID='%s'",
                                   {user});
        int64_t last = 0;
        if (m_peek.Run(*sql))
            m_peek.Table().GetInt64(0, 0, &last);
        return last;
    }

    int Write(const std::u16string &sql) { return m_peek.Run(sql); }

  private:
    Peek m_peek;
};

const char16_t *const kUsers[] = {u"ann", u"bob", u"cy"};

class SummaryTest : public RunStoreTest
{
  protected:
    SummaryTest() : m_plain(m_db.GetPath())
    {
        const DateParts dob = Day(1, 2, 1980);
        EXPECT_EQ(1, m_db.AddUser(u"cy", u"pw", u"F", u"L", 1, &dob, 40, 170, 3, 60, 5));
        // The days the pages read at their edges: month ends, year ends, a leap day, both ends of weeks.
        for (int year = 2011; year <= 2013; ++year)
        {
            for (int month = 1; month <= 12; ++month)
            {
                m_edgeDays.push_back(Day(1, month, year));
                const int last = month == 2
                                     ? (year % 4 == 0 ? 29 : 28)
                                     : (month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31);
                m_edgeDays.push_back(Day(last, month, year));
            }
            for (int week : {1, 2, 26, 52})
            {
                DateParts first{};
                DateParts lastDay{};
                if (KvtDatabase::GetWeekRange(year, week, &first, &lastDay))
                {
                    m_edgeDays.push_back(first);
                    m_edgeDays.push_back(lastDay);
                }
            }
        }
    }

    RunRecord RandomRun()
    {
        std::uniform_int_distribution<int> pick(0, 3);
        DateParts date{};
        if (pick(m_random) != 0)
        {
            date = m_edgeDays[std::uniform_int_distribution<size_t>(0, m_edgeDays.size() - 1)(m_random)];
        }
        else
        {
            date = Day(std::uniform_int_distribution<int>(1, 28)(m_random),
                       std::uniform_int_distribution<int>(1, 12)(m_random),
                       std::uniform_int_distribution<int>(2011, 2013)(m_random));
        }
        const int edge = pick(m_random);
        const TimeParts time = edge == 0   ? At(0, 0, 0)
                               : edge == 1 ? At(23, 59, 59)
                                           : At(std::uniform_int_distribution<int>(0, 23)(m_random),
                                                std::uniform_int_distribution<int>(0, 59)(m_random));
        RunRecord run = MakeRun(date, time, std::uniform_int_distribution<uint32_t>(0, 20000)(m_random),
                                std::uniform_int_distribution<uint32_t>(0, 5000)(m_random));
        run.duration = std::uniform_int_distribution<uint32_t>(0, 7200)(m_random);
        run.calories = std::uniform_int_distribution<uint32_t>(0, 900)(m_random);
        // Most runs without heart rates, some with one of the two only.
        const int heart = std::uniform_int_distribution<int>(0, 9)(m_random);
        run.heartRateBefore = heart == 0 || heart == 1 ? 70 : 0;
        run.heartRateAfter = heart == 0 || heart == 2 ? 150 : 0;
        return run;
    }

    // As an import does: the latest run, the runs, one COMMIT.
    void Import(int runs)
    {
        DateParts date{};
        TimeParts time{};
        ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
        for (int i = 0; i < runs; ++i)
        {
            const RunRecord run = RandomRun();
            ASSERT_EQ(1, m_db.AddRun(&run));
        }
        ASSERT_EQ(1, m_db.Commit());
    }

    Sums StoreRange(DateParts first, uint32_t days)
    {
        Sums s;
        s.ok =
            m_db.GetRangeStats(&first, days, &s.v[0], &s.v[1], &s.v[2], &s.v[3], &s.v[4], &s.v[5], &s.v[6]);
        return s;
    }

    // Every read of the logged-in user against the plain statements; the months and weeks of the
    // years given, and as many ranges.
    void ExpectSameAsPlain(const std::u16string &user, const char *when, int firstYear = 2010,
                           int lastYear = 2014, int rangeCount = 40)
    {
        SCOPED_TRACE(std::string(when) + " as " + U8(user));
        Sums totals;
        totals.ok = m_db.GetRunTotals(&totals.v[0], &totals.v[1], &totals.v[2]);
        totals.v[3] = totals.v[4] = totals.v[5] = totals.v[6] = 0xDEAD;
        Sums plainTotals = m_plain.Totals(user);
        EXPECT_TRUE(totals == plainTotals) << Show(totals) << " / " << Show(plainTotals);
        Plain::FullTotals full;
        full.ok = m_db.GetRunTotals(&full.distance, &full.duration, &full.count);
        const Plain::FullTotals plainFull = m_plain.Totals64(user);
        if (plainFull.ok)
        {
            EXPECT_TRUE(full == plainFull)
                << full.distance << " " << full.duration << " " << full.count << " / " << plainFull.distance
                << " " << plainFull.duration << " " << plainFull.count;
        }
        EXPECT_EQ(m_plain.HeartRates(user), m_db.HasHeartRates());

        DateParts date{9, 9, 9};
        TimeParts time{9, 9, 9};
        ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
        m_db.End();
        const int64_t last = m_plain.LastStart(user);
        if (last == 0)
            EXPECT_EQ(0, date.year);
        else
            EXPECT_EQ(last, Ticks(date, time));

        for (int year = firstYear; year <= lastYear; ++year)
        {
            for (int month = 1; month <= 12; ++month)
            {
                Sums s;
                s.ok = m_db.GetMonthStats(month, year, &s.v[0], &s.v[1], &s.v[2], &s.v[3], &s.v[4], &s.v[5],
                                          &s.v[6]);
                DateParts first = Day(1, month, year);
                DateParts next = month == 12 ? Day(1, 1, year + 1) : Day(1, month + 1, year);
                const Sums p = m_plain.Period(user, Ticks(first), Ticks(next));
                EXPECT_TRUE(s == p) << month << "/" << year << ": " << Show(s) << " / " << Show(p);
            }
            for (int week = 1; week <= 52; ++week)
            {
                Sums s;
                s.ok = m_db.GetWeekStats(week, year, &s.v[0], &s.v[1], &s.v[2], &s.v[3], &s.v[4], &s.v[5],
                                         &s.v[6]);
                DateParts first{};
                DateParts lastDay{};
                ASSERT_EQ(1, KvtDatabase::GetWeekRange(year, week, &first, &lastDay));
                const Sums p = m_plain.Period(user, Ticks(first), Ticks(first) + 7 * 864000000000);
                EXPECT_TRUE(s == p) << "week " << week << "/" << year << ": " << Show(s) << " / " << Show(p);
            }
        }
        for (const DateParts &day : m_edgeDays)
        {
            Sums s;
            s.ok = m_db.GetDayStats(&day, &s.v[0], &s.v[1], &s.v[2], &s.v[3], &s.v[4], &s.v[5]);
            Sums p = m_plain.Period(user, Ticks(day), Ticks(day) + 864000000000);
            p.v[6] = 0xDEAD;
            EXPECT_TRUE(s == p) << day.day << "." << int(day.month) << "." << day.year << ": " << Show(s)
                                << " / " << Show(p);
        }
        std::mt19937 ranges(7);
        for (int i = 0; i < rangeCount; ++i)
        {
            const DateParts first = m_edgeDays[ranges() % m_edgeDays.size()];
            const uint32_t days = 1 + ranges() % 800;
            const Sums s = StoreRange(first, days);
            const Sums p = m_plain.Period(user, Ticks(first), Ticks(first) + days * 864000000000LL);
            EXPECT_TRUE(s == p) << "range of " << days << ": " << Show(s) << " / " << Show(p);
        }
        GoalRecord goals[8];
        const int n = m_db.GetGoals(goals, 8);
        for (int i = 0; i < n; ++i)
        {
            // A sum that fails leaves the progress at 0.
            const Sums p = m_plain.Period(user, Ticks(goals[i].start), Ticks(goals[i].end));
            EXPECT_EQ(p.ok ? p.v[3] + p.v[4] : 0, goals[i].doneDistance);
            EXPECT_EQ(p.ok ? p.v[0] : 0, goals[i].doneDuration);
            EXPECT_EQ(p.ok ? p.v[5] : 0, goals[i].doneCalories);
        }
    }

    void ExpectAllUsersSameAsPlain(const char *when)
    {
        for (const char16_t *user : kUsers)
        {
            LoginAs(user);
            ExpectSameAsPlain(user, when);
        }
        LoginAs(u"ann");
    }

    Plain m_plain;
    std::mt19937 m_random{20111231};
    std::vector<DateParts> m_edgeDays;
};
} // namespace

TEST_F(SummaryTest, EveryHistoryReadEqualsThePlainStatementsAfterEveryWrite)
{
    for (const char16_t *user : kUsers)
    {
        LoginAs(user);
        const DateParts start = Day(1, 3, 2012);
        const DateParts end = Day(1, 4, 2012);
        ASSERT_EQ(1, m_db.AddDistanceGoal(10000, 1, &start, &end));
        const DateParts yearStart = Day(31, 12, 2011);
        const DateParts yearEnd = Day(1, 1, 2013);
        ASSERT_EQ(1, m_db.AddCaloriesGoal(5000, &yearStart, &yearEnd));
    }
    for (int round = 0; round < 4; ++round)
    {
        for (const char16_t *user : kUsers)
        {
            LoginAs(user);
            Import(40);
        }
    }
    ExpectAllUsersSameAsPlain("after imports");

    // Reads between the adds of one import, then its runs taken back by the undo.
    LoginAs(u"bob");
    int64_t lastId = -1;
    ASSERT_EQ(1, m_db.GetLastRunId(&lastId));
    Import(25);
    ExpectSameAsPlain(u"bob", "after a further import");
    ASSERT_EQ(1, m_db.DeleteRunsAbove(lastId));
    ExpectSameAsPlain(u"bob", "after the undo");

    // An import given up: the summary must not keep its runs.
    DateParts date{};
    TimeParts time{};
    ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
    uint32_t distance = 0, duration = 0, count = 0;
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    for (uint32_t i = 0; i < 15; ++i)
    {
        // Inside the transaction the reads count its runs, as the statements on this connection would.
        const RunRecord run = RandomRun();
        ASSERT_EQ(1, m_db.AddRun(&run));
        uint32_t d = 0, t = 0, c = 0;
        ASSERT_EQ(1, m_db.GetRunTotals(&d, &t, &c));
        EXPECT_EQ(count + i + 1, c);
        distance += run.runDistance + run.walkDistance;
        duration += run.duration;
        EXPECT_EQ(distance, d);
        EXPECT_EQ(duration, t);
    }
    ASSERT_EQ(1, m_db.Rollback());
    ExpectSameAsPlain(u"bob", "after a rollback");

    // Another program adds and removes runs of the logged-in user.
    ASSERT_EQ(1, m_plain.Write(u"Insert into Run values ( 'bob', 90000, -1 )"));
    ASSERT_EQ(
        1, m_plain.Write(u"Insert into RunInfo values ( 90000, 129700584000000000, 600, 1, 2, 3000, 400, 99, "
                         u"20, 0, 0 )"));
    ExpectSameAsPlain(u"bob", "after another connection added a run");
    ASSERT_EQ(1, m_plain.Write(u"Delete from RunInfo where RunID in (select RunID from Run where UserID = "
                               u"'bob' and RunID % 3 = 0)"));
    ExpectSameAsPlain(u"bob", "after another connection removed runs");

    // One user goes; the others keep theirs.
    ASSERT_EQ(1, m_db.DeleteUser());
    EXPECT_EQ(0, m_db.IsLoggedIn());
    EXPECT_EQ(0, m_plain.Totals(u"bob").v[2]);
    LoginAs(u"ann");
    ExpectSameAsPlain(u"ann", "after another user was deleted");
    LoginAs(u"cy");
    ExpectSameAsPlain(u"cy", "after another user was deleted");
}

TEST_F(SummaryTest, ValuesThatAreNotPlainIntegersGiveWhatTheStatementsGive)
{
    // Rows another program may have written; each on top of some ordinary runs of the user.
    struct Case
    {
        const char *what;
        const char16_t *info;
        const char16_t *more = nullptr;
    };
    const Case cases[] = {
        {"a text heart rate",
         u"Insert into RunInfo values ( 90000, 129700584000000000, 1, 1, 1, 1, 1, 1, 1, 'x', 0 )"},
        {"a fractional distance",
         u"Insert into RunInfo values ( 90000, 129700584000000000, 1, 1, 1, 2.5, 1, 1, 1, 0, 0 )"},
        {"a text distance",
         u"Insert into RunInfo values ( 90000, 129700584000000000, 1, 1, 1, 'far', 1, 1, 1, 0, 0 )"},
        {"no start", u"Insert into RunInfo values ( 90000, NULL, 1, 1, 1, 1, 1, 1, 1, 90, 0 )"},
        {"a text start", u"Insert into RunInfo values ( 90000, 'soon', 1, 1, 1, 1, 1, 1, 1, 0, 0 )"},
        {"a start before 1601",
         u"Insert into RunInfo values ( 90000, -864000000000, 1, 1, 1, 1, 1, 1, 1, 0, 0 )"},
        {"a fractional start",
         u"Insert into RunInfo values ( 90000, 129700584000000000.5, 1, 1, 1, 1, 1, 1, 1, 0, 0 )"},
        {"missing values", u"Insert into RunInfo values ( 90000, 129700584000000000, NULL, NULL, NULL, NULL, "
                           u"NULL, NULL, NULL, NULL, NULL )"},
        {"negative values",
         u"Insert into RunInfo values ( 90000, 129700584000000000, -5, -5, -5, -5, -5, -5, -5, -5, -5 )"},
        {"sums past 64 bits", u"Insert into RunInfo values ( 90000, 129700584000000000, 1, 1, 1, "
                              u"9223372036854775807, 1, 1, 1, 0, 0 )"},
        {"the lowest 64-bit value", u"Insert into RunInfo values ( 90000, 129700584000000000, 1, 1, 1, "
                                    u"-9223372036854775808, 1, 1, 1, 0, 0 )"},
        {"sums past 64 bits over two days only",
         u"Insert into RunInfo values ( 90000, 129700584000000000, 1, 1, 1, 5000000000000000000, 1, 1, 1, 0, "
         u"0 )",
         u"Insert into RunInfo values ( 90000, 129710000000000000, 1, 1, 1, 5000000000000000000, 1, 1, 1, 0, "
         u"0 )"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(1, m_plain.Write(u"Delete from RunInfo"));
        ASSERT_EQ(1, m_plain.Write(u"Delete from Run"));
        LoginAs(u"ann");
        Import(10);
        ExpectSameAsPlain(u"ann", "before the odd row", 2011, 2013, 10);
        ASSERT_EQ(1, m_plain.Write(u"Insert into Run values ( 'ann', 90000, -1 )"));
        ASSERT_EQ(1, m_plain.Write(c.info));
        if (c.more)
        {
            ASSERT_EQ(1, m_plain.Write(c.more));
        }
        ExpectSameAsPlain(u"ann", "with the odd row", 2011, 2013, 10);
        // Further runs of the store itself on top of it.
        Import(3);
        ExpectSameAsPlain(u"ann", "with the odd row and further runs", 2011, 2013, 10);
    }
}

TEST_F(SummaryTest, HeartRatesAreTheUsersOwn)
{
    struct Case
    {
        const char *what;
        uint8_t annBefore, annAfter, bobBefore, bobAfter;
        int annHas;
    };
    const Case cases[] = {
        {"nobody has any", 0, 0, 0, 0, 0},           {"only another user has some", 0, 0, 70, 150, 0},
        {"only the reading before", 60, 0, 0, 0, 1}, {"only the reading after", 0, 140, 0, 0, 1},
        {"both users", 60, 140, 70, 150, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(1, m_plain.Write(u"Delete from RunInfo"));
        ASSERT_EQ(1, m_plain.Write(u"Delete from Run"));
        LoginAs(u"bob");
        RunRecord run = MakeRun(Day(3, 3, 2012), At(8));
        run.heartRateBefore = c.bobBefore;
        run.heartRateAfter = c.bobAfter;
        Store(run);
        LoginAs(u"ann");
        run = MakeRun(Day(4, 3, 2012), At(8));
        run.heartRateBefore = 0;
        run.heartRateAfter = 0;
        Store(run);
        EXPECT_EQ(0, m_db.HasHeartRates());
        run.heartRateBefore = c.annBefore;
        run.heartRateAfter = c.annAfter;
        Store(run);
        EXPECT_EQ(c.annHas, m_db.HasHeartRates());
        EXPECT_EQ(m_plain.HeartRates(u"ann"), m_db.HasHeartRates());
    }
}

// The engine itself may end a transaction when one of its statements fails (a trigger's RAISE(ROLLBACK),
// a full disk): the runs added before the failure are gone from the file and must go from the reads too,
// also when the next read opens a transaction of its own.
TEST_F(SummaryTest, RunsOfATransactionTheEngineRolledBackAreNotRead)
{
    StoreAt(Day(5, 3, 2012), At(8));
    ASSERT_EQ(1, m_plain.Write(u"Create trigger refuse before insert on RunInfo when NEW.RunDuration = 999 "
                               u"begin select raise(rollback, 'refused'); end"));
    // The summary read afresh after the other connection's change.
    uint32_t distance = 0, duration = 0, count = 0;
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    ASSERT_EQ(1u, count);

    RunRecord kept = MakeRun(Day(9, 3, 2012), At(10));
    ASSERT_EQ(1, m_db.AddRun(&kept));
    RunRecord refused = MakeRun(Day(10, 3, 2012), At(10));
    refused.duration = 999;
    EXPECT_EQ(0, m_db.AddRun(&refused));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, m_plain.Totals(u"ann").v[2]);

    DateParts date{};
    TimeParts time{};
    ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
    EXPECT_EQ(5, date.day);
    EXPECT_EQ(8, time.hour);
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(1u, count);
    ExpectSameAsPlain(u"ann", "after the engine rolled back", 2012, 2012, 5);
}
