#include "store/KvtDatabase.h"

#include "tests/store/RunStoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <vector>

using namespace storetest;

namespace
{
// The week of the store's numbering that holds the date.
int WeekOf(DateParts date)
{
    const int64_t day = Ticks(date);
    for (int year : {date.year - 1, static_cast<int>(date.year), date.year + 1})
    {
        for (int week = 1; week <= 52; ++week)
        {
            DateParts first{};
            DateParts last{};
            if (KvtDatabase::GetWeekRange(year, week, &first, &last) && Ticks(first) <= day &&
                day <= Ticks(last))
                return week + 100 * year;
        }
    }
    return 0;
}

struct Sums
{
    uint32_t duration = 0xDEAD, walkSteps = 0xDEAD, runSteps = 0xDEAD, runDistance = 0xDEAD,
             walkDistance = 0xDEAD, calories = 0xDEAD, count = 0xDEAD;
};
} // namespace

// ---- the date-time members ----

TEST(KvtDatabaseDates, MembersGiveTheStoresValues)
{
    const DateParts newYear = Day(1, 1, 2009);
    const TimeParts halfPastTwelve = At(12, 30);
    int64_t value = 0;
    EXPECT_EQ(1, KvtDatabase::LocalDateToFileTime(&newYear, &value));
    EXPECT_EQ(128752416000000000, value);
    EXPECT_EQ(1, KvtDatabase::LocalTimeToFileTime(&newYear, &halfPastTwelve, &value));
    EXPECT_EQ(128752866000000000, value);
    EXPECT_EQ(0, KvtDatabase::LocalDateToFileTime(nullptr, &value));

    DateParts first{};
    DateParts last{};
    ASSERT_EQ(1, KvtDatabase::GetWeekRange(2012, 1, &first, &last));
    EXPECT_EQ(26, first.day);
    EXPECT_EQ(12, first.month);
    EXPECT_EQ(2011, first.year);
    EXPECT_EQ(1, last.day);
    EXPECT_EQ(1, last.month);
    EXPECT_EQ(2012, last.year);
    EXPECT_EQ(0, KvtDatabase::GetWeekRange(2012, 53, &first, &last));
}

// ---- one run through every reader ----

TEST_F(RunStoreTest, EveryFieldKeepsItsPlaceThroughEveryReader)
{
    // Every field has its own value, so any two exchanged fields show.
    RunRecord run{};
    run.date = Day(15, 6, 2014);
    run.time = At(10, 20, 30);
    run.duration = 1001;
    run.walkSteps = 2002;
    run.runSteps = 3003;
    run.runDistance = 4004;
    run.walkDistance = 5005;
    run.calories = 6006;
    run.temperature = 7;
    run.heartRateBefore = 8;
    run.heartRateAfter = 9;
    const DateParts goalStart = Day(1, 6, 2014);
    const DateParts goalEnd = Day(1, 7, 2014);
    ASSERT_EQ(1, m_db.AddDistanceGoal(20000, 1, &goalStart, &goalEnd));
    Store(run);

    {
        // The file's columns.
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"select RunDateTime, RunDuration, RunStepWalk, RunStepRun, RunDistanceRun, "
                              u"RunDistanceWalk, RunCalories, RunTemperature, RunHeartBeatBeforeRun, "
                              u"RunHeartBeatAfterRun from RunInfo"));
        const int64_t expected[] = {Ticks(run.date, run.time), 1001, 2002, 3003, 4004, 5005, 6006, 7, 8, 9};
        for (uint32_t c = 0; c < 10; ++c)
        {
            int64_t value = -1;
            EXPECT_EQ(1, peek.Table().GetInt64(0, c, &value));
            EXPECT_EQ(expected[c], value) << "column " << c;
        }
        EXPECT_EQ(0, peek.Count(u"select RunGoalID from Run where UserID = 'ann'"));
    }

    // The run list.
    RunRecord listed[2] = {};
    int32_t starts[2] = {};
    ASSERT_EQ(1, m_db.ListRunsSince(0, 2, listed, starts));
    EXPECT_EQ(run.date.day, listed[0].date.day);
    EXPECT_EQ(run.date.month, listed[0].date.month);
    EXPECT_EQ(run.date.year, listed[0].date.year);
    EXPECT_EQ(run.time.hour, listed[0].time.hour);
    EXPECT_EQ(run.time.minute, listed[0].time.minute);
    EXPECT_EQ(run.time.second, listed[0].time.second);
    EXPECT_EQ(1001u, listed[0].duration);
    EXPECT_EQ(2002u, listed[0].walkSteps);
    EXPECT_EQ(3003u, listed[0].runSteps);
    EXPECT_EQ(4004u, listed[0].runDistance);
    EXPECT_EQ(5005u, listed[0].walkDistance);
    EXPECT_EQ(6006u, listed[0].calories);
    EXPECT_EQ(0u, listed[0].temperature); // the list does not read it
    EXPECT_EQ(8u, listed[0].heartRateBefore);
    EXPECT_EQ(9u, listed[0].heartRateAfter);
    EXPECT_EQ(1402827630, starts[0]); // 2014-06-15 10:20:30 with TZ=UTC

    // Period sums: day, week, month and an exact range.
    Sums day;
    ASSERT_EQ(1, m_db.GetDayStats(&run.date, &day.duration, &day.walkSteps, &day.runSteps, &day.runDistance,
                                  &day.walkDistance, &day.calories));
    const int week = WeekOf(run.date);
    ASSERT_NE(0, week);
    Sums inWeek;
    ASSERT_EQ(1,
              m_db.GetWeekStats(week % 100, week / 100, &inWeek.duration, &inWeek.walkSteps, &inWeek.runSteps,
                                &inWeek.runDistance, &inWeek.walkDistance, &inWeek.calories, &inWeek.count));
    Sums inMonth;
    ASSERT_EQ(1, m_db.GetMonthStats(6, 2014, &inMonth.duration, &inMonth.walkSteps, &inMonth.runSteps,
                                    &inMonth.runDistance, &inMonth.walkDistance, &inMonth.calories,
                                    &inMonth.count));
    Sums inRange;
    const DateParts rangeStart = Day(14, 6, 2014);
    ASSERT_EQ(1, m_db.GetRangeStats(&rangeStart, 2, &inRange.duration, &inRange.walkSteps, &inRange.runSteps,
                                    &inRange.runDistance, &inRange.walkDistance, &inRange.calories,
                                    &inRange.count));
    for (const Sums *s : {&day, &inWeek, &inMonth, &inRange})
    {
        EXPECT_EQ(1001u, s->duration);
        EXPECT_EQ(2002u, s->walkSteps);
        EXPECT_EQ(3003u, s->runSteps);
        EXPECT_EQ(4004u, s->runDistance);
        EXPECT_EQ(5005u, s->walkDistance);
        EXPECT_EQ(6006u, s->calories);
    }
    EXPECT_EQ(0xDEADu, day.count); // a day gives no count
    EXPECT_EQ(1u, inWeek.count);
    EXPECT_EQ(1u, inMonth.count);
    EXPECT_EQ(1u, inRange.count);

    // The graphs' narrow readers and the series.
    uint32_t runDistance = 0, walkDistance = 0, calories = 0;
    ASSERT_EQ(1, m_db.GetDayDistances(&run.date, &runDistance, &walkDistance));
    EXPECT_EQ(4004u, runDistance);
    EXPECT_EQ(5005u, walkDistance);
    ASSERT_EQ(1, m_db.GetDayCalories(&run.date, &calories));
    EXPECT_EQ(6006u, calories);
    uint32_t runs[1] = {}, walks[1] = {};
    ASSERT_EQ(1, m_db.GetWeekSeries(week % 100, week / 100, 1, runs, walks));
    EXPECT_EQ(4004u, runs[0]);
    EXPECT_EQ(5005u, walks[0]);
    ASSERT_EQ(1, m_db.GetMonthSeries(6, 2014, 1, runs, walks));
    EXPECT_EQ(4004u, runs[0]);
    EXPECT_EQ(5005u, walks[0]);

    // Totals, the day's heart rates and the latest run.
    uint32_t distance = 0, duration = 0, count = 0;
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(9009u, distance);
    EXPECT_EQ(1001u, duration);
    EXPECT_EQ(1u, count);
    TimeParts time{};
    uint32_t runDuration = 0;
    uint8_t before = 0, after = 0;
    ASSERT_EQ(1, m_db.GetHeartRateOfDay(&run.date, &time, &runDuration, &before, &after));
    EXPECT_EQ(10, time.hour);
    EXPECT_EQ(20, time.minute);
    EXPECT_EQ(30, time.second);
    EXPECT_EQ(1001u, runDuration);
    EXPECT_EQ(8u, before);
    EXPECT_EQ(9u, after);
    DateParts lastDate{};
    TimeParts lastTime{};
    ASSERT_EQ(1, m_db.GetLastRunTime(&lastDate, &lastTime));
    EXPECT_EQ(1, m_db.Rollback());
    EXPECT_EQ(15, lastDate.day);
    EXPECT_EQ(6, lastDate.month);
    EXPECT_EQ(2014, lastDate.year);
    EXPECT_EQ(10, lastTime.hour);
    EXPECT_EQ(20, lastTime.minute);
    EXPECT_EQ(30, lastTime.second);

    // The goal's progress.
    GoalRecord goal{};
    ASSERT_EQ(1, m_db.GetCurrentGoal(&goal));
    EXPECT_EQ(9009u, goal.doneDistance);
    EXPECT_EQ(1001u, goal.doneDuration);
    EXPECT_EQ(6006u, goal.doneCalories);
}

// ---- adding runs ----

TEST_F(RunStoreTest, RunNumbersAreTheHighestOfAllUsersPlusOne)
{
    StoreAt(Day(1, 3, 2010), At(8));
    EXPECT_EQ(0, Count(u"select RunID from Run where UserID = 'ann'"));
    EXPECT_EQ(0, Count(u"select RunID from RunInfo"));
    LoginAs(u"bob");
    StoreAt(Day(1, 3, 2010), At(9));
    EXPECT_EQ(1, Count(u"select RunID from Run where UserID = 'bob'"));
    {
        // A file whose numbers have gaps continues after the highest.
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"update Run set RunID = 41 where RunID = 1"));
    }
    StoreAt(Day(2, 3, 2010), At(9));
    EXPECT_EQ(42, Count(u"select max(RunID) from Run where UserID = 'bob'"));
    EXPECT_EQ(1, Count(u"select count(*) from RunInfo where RunID = 42"));
}

// Run numbers are 32-bit: a file whose highest number leaves no next one takes no further run, rather
// than one numbered like another so that the two runs' values join with each other's.
TEST_F(RunStoreTest, NoRunIsAddedWhenTheNextNumberDoesNotFit)
{
    LoginAs(u"bob");
    StoreAt(Day(1, 3, 2010), At(9));
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"update Run set RunID = 2147483647"));
        ASSERT_EQ(1, peek.Run(u"update RunInfo set RunID = 2147483647"));
    }
    LoginAs(u"ann");
    for (int i = 0; i < 2; ++i)
    {
        const RunRecord run = MakeRun(Day(2 + i, 3, 2010), At(8));
        EXPECT_EQ(0, m_db.AddRun(&run));
        m_db.Commit();
    }
    EXPECT_EQ(0, Count(u"select count(*) from Run where UserID = 'ann'"));
    EXPECT_EQ(1, Count(u"select count(*) from RunInfo"));
    EXPECT_EQ(1, Count(u"select count(*) from Run inner join RunInfo on Run.RunID = RunInfo.RunID"));
}

TEST_F(RunStoreTest, AddRunLeavesTheTransactionForTheCallerToEnd)
{
    DateParts date{};
    TimeParts time{};
    ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
    EXPECT_EQ(1, m_db.InTransaction());
    const RunRecord first = MakeRun(Day(1, 3, 2010), At(8));
    const RunRecord second = MakeRun(Day(2, 3, 2010), At(8));
    ASSERT_EQ(1, m_db.AddRun(&first));
    ASSERT_EQ(1, m_db.AddRun(&second));
    EXPECT_EQ(1, m_db.InTransaction());
    EXPECT_EQ(0, Count(u"select count(*) from Run")); // nothing stored until the caller commits
    ASSERT_EQ(1, m_db.Rollback());
    EXPECT_EQ(0, Count(u"select count(*) from RunInfo"));

    ASSERT_EQ(1, m_db.AddRun(&first));
    EXPECT_EQ(1, m_db.InTransaction());
    ASSERT_EQ(1, m_db.Commit());
    EXPECT_EQ(1, Count(u"select count(*) from RunInfo"));
}

TEST_F(RunStoreTest, FailedInsertRollsBackTheWholeImport)
{
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"create trigger refuse before insert on RunInfo when new.RunDuration = 666 "
                              u"begin select raise(ABORT, 'x'); end"));
    }
    const RunRecord good = MakeRun(Day(1, 3, 2010), At(8));
    RunRecord bad = MakeRun(Day(2, 3, 2010), At(8));
    bad.duration = 666;
    ASSERT_EQ(1, m_db.AddRun(&good));
    EXPECT_EQ(0, m_db.AddRun(&bad));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(0, Count(u"select count(*) from Run"));
    EXPECT_EQ(0, Count(u"select count(*) from RunInfo"));
}

TEST_F(RunStoreTest, AddRunRefusesWhatItCannotStore)
{
    RunRecord noDay = MakeRun(Day(30, 2, 2010), At(8));
    EXPECT_EQ(0, m_db.AddRun(&noDay));
    RunRecord noHour = MakeRun(Day(1, 2, 2010), At(24));
    EXPECT_EQ(0, m_db.AddRun(&noHour));
    EXPECT_EQ(0, m_db.AddRun(nullptr));
    m_db.Rollback();
    ASSERT_EQ(1, m_db.Logout());
    const RunRecord run = MakeRun(Day(1, 2, 2010), At(8));
    EXPECT_EQ(0, m_db.AddRun(&run));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(0, Count(u"select count(*) from Run"));
}

TEST_F(RunStoreTest, RunCountsForTheGoalWhosePeriodHoldsItStartBothEndsIncluded)
{
    const DateParts start = Day(1, 3, 2010);
    const DateParts end = Day(8, 3, 2010);
    ASSERT_EQ(1, m_db.AddTimeGoal(3600, &start, &end)); // goal 0
    LoginAs(u"bob");
    ASSERT_EQ(1, m_db.AddTimeGoal(3600, &start, &end)); // goal 1, another user's
    LoginAs(u"ann");
    struct Case
    {
        DateParts date;
        TimeParts time;
        int64_t goal;
    };
    const Case cases[] = {
        {Day(28, 2, 2010), At(23, 59, 59), -1},
        {Day(1, 3, 2010), At(0), 0},
        {Day(5, 3, 2010), At(12), 0},
        {Day(8, 3, 2010), At(0), 0}, // midnight of the end date still links
        {Day(8, 3, 2010), At(0, 0, 1), -1},
    };
    for (const Case &c : cases)
    {
        const RunRecord run = MakeRun(c.date, c.time);
        Store(run);
        Peek peek(m_db.GetPath());
        EXPECT_EQ(c.goal, peek.Count(u"select RunGoalID from Run where RunID = (select max(RunID) from Run)"))
            << int(c.date.day) << "." << int(c.date.month) << " " << int(c.time.hour) << ":"
            << int(c.time.second);
    }
}

// ---- the latest run ----

TEST_F(RunStoreTest, LastRunTimeOfAUserWithoutRunsIsAllZero)
{
    LoginAs(u"bob");
    StoreAt(Day(1, 3, 2010), At(8)); // someone else's run
    LoginAs(u"ann");
    DateParts date = Day(9, 9, 2009);
    TimeParts time = At(9, 9, 9);
    ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
    EXPECT_EQ(1, m_db.InTransaction());
    m_db.Rollback();
    EXPECT_EQ(0, date.day);
    EXPECT_EQ(0, date.month);
    EXPECT_EQ(0, date.year);
    EXPECT_EQ(0, time.hour);
    EXPECT_EQ(0, time.minute);
    EXPECT_EQ(0, time.second);
}

TEST_F(RunStoreTest, LastRunTimeIsTheLatestStartNotTheLastStored)
{
    StoreAt(Day(3, 3, 2010), At(18, 5, 6));
    StoreAt(Day(1, 3, 2010), At(8));
    DateParts date{};
    TimeParts time{};
    ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
    m_db.Rollback();
    EXPECT_EQ(3, date.day);
    EXPECT_EQ(18, time.hour);
    EXPECT_EQ(5, time.minute);
    EXPECT_EQ(6, time.second);
}

// ---- totals and runs since a moment ----

TEST_F(RunStoreTest, TotalsCoverOnlyTheUsersOwnRuns)
{
    uint32_t distance = 7, duration = 7, count = 7;
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(0u, distance);
    EXPECT_EQ(0u, duration);
    EXPECT_EQ(0u, count);
    StoreAt(Day(1, 3, 2010), At(8), 1000, 200);
    StoreAt(Day(2, 3, 2010), At(8), 3000, 400);
    LoginAs(u"bob");
    StoreAt(Day(2, 3, 2010), At(9), 90000, 90000);
    LoginAs(u"ann");
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(4600u, distance);
    EXPECT_EQ(3600u, duration);
    EXPECT_EQ(2u, count);
}

// The pages' lifetime totals: every run's distances and duration as the monitor gave them, however
// far the sums pass 32 bits, from the day sums and from the statement alike.
TEST_F(RunStoreTest, FullTotalsKeepWhatLiesBeyond32Bits)
{
    constexpr uint64_t kTop = 0xFFFFFFFFu;
    for (int day = 1; day <= 3; ++day)
    {
        RunRecord run = MakeRun(Day(day, 3, 2010), At(8), 0xFFFFFFFFu, 0xFFFFFFFFu);
        run.duration = 0xFFFFFFFFu;
        Store(run);
    }
    StoreAt(Day(4, 3, 2010), At(8), 2000000000u, 0);
    uint64_t distance = 7, duration = 7;
    uint32_t count = 7;
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(6 * kTop + 2000000000u, distance);
    EXPECT_EQ(3 * kTop + 1800u, duration);
    EXPECT_EQ(4u, count);
    // The 32-bit totals keep their low bits.
    uint32_t low = 0, lowDuration = 0, lowCount = 0;
    ASSERT_EQ(1, m_db.GetRunTotals(&low, &lowDuration, &lowCount));
    EXPECT_EQ(static_cast<uint32_t>(distance), low);
    EXPECT_EQ(static_cast<uint32_t>(duration), lowDuration);

    // A row the day sums cannot take (a fractional value, as another program may write) leaves the
    // answer to the statement, which gives the same.
    Peek peek(m_db.GetPath());
    ASSERT_EQ(1, peek.Run(u"Insert into Run values ( 'ann', 90000, -1 )"));
    ASSERT_EQ(1,
              peek.Run(u"Insert into RunInfo values ( 90000, 129700584000000000, 0.5, 1, 1, 0, 0, 1, 1, 0, "
                       u"0 )"));
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(6 * kTop + 2000000000u, distance);
    EXPECT_EQ(3 * kTop + 1800u, duration);
    EXPECT_EQ(5u, count);

    LoginAs(u"bob");
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(0u, distance);
    EXPECT_EQ(0u, duration);
    EXPECT_EQ(0u, count);
}

TEST_F(RunStoreTest, RunsSinceAreStrictlyLaterOldestFirstAndLimited)
{
    // Stored out of order; bob's run lies in between.
    const TimeParts times[] = {At(12), At(9), At(15), At(10), At(8)};
    for (TimeParts t : times)
        StoreAt(Day(1, 3, 2010), t, t.hour * 100);
    LoginAs(u"bob");
    StoreAt(Day(1, 3, 2010), At(11), 1);
    LoginAs(u"ann");

    int32_t since = 0;
    ASSERT_EQ(1, vxtime::FileTimeToUnixLocal(Ticks(Day(1, 3, 2010), At(8)), &since));
    uint32_t count = 0;
    ASSERT_EQ(1, m_db.CountRunsSince(since, &count));
    EXPECT_EQ(4u, count); // the run at exactly 8:00 is not after it

    std::vector<RunRecord> runs(10);
    std::vector<int32_t> starts(10);
    ASSERT_EQ(3, m_db.ListRunsSince(since, 3, runs.data(), starts.data()));
    EXPECT_EQ(900u, runs[0].runDistance);
    EXPECT_EQ(1000u, runs[1].runDistance);
    EXPECT_EQ(1200u, runs[2].runDistance);
    EXPECT_EQ(since + 3600, starts[0]);
    EXPECT_EQ(since + 4 * 3600, starts[2]);

    ASSERT_EQ(4, m_db.ListRunsSince(since, 10, runs.data(), nullptr));
    EXPECT_EQ(1500u, runs[3].runDistance);
    EXPECT_EQ(15, runs[3].time.hour);

    int32_t later = 0;
    ASSERT_EQ(1, vxtime::FileTimeToUnixLocal(Ticks(Day(1, 3, 2010), At(15)), &later));
    EXPECT_EQ(0, m_db.ListRunsSince(later, 10, runs.data(), nullptr));
    ASSERT_EQ(1, m_db.CountRunsSince(later, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, m_db.ListRunsSince(since, 0, runs.data(), nullptr));
}

TEST_F(RunStoreTest, RunsSinceUseTheServicesSecondsWithTheStandardBias)
{
    vxtest::ScopedTimeZone zone("XST-8");
    StoreAt(Day(1, 1, 2009), At(8), 1234);
    RunRecord run{};
    int32_t start = 0;
    // 08:00 local at UTC+8 is midnight UTC.
    ASSERT_EQ(1, m_db.ListRunsSince(1230767999, 1, &run, &start));
    EXPECT_EQ(1230768000, start);
    EXPECT_EQ(1234u, run.runDistance);
    EXPECT_EQ(0, m_db.ListRunsSince(1230768000, 1, &run, &start));
}

// ---- heart rates ----

TEST_F(RunStoreTest, HeartRatesCountOnlyWhenSomeReadingIsAboveZero)
{
    EXPECT_EQ(0, m_db.HasHeartRates());
    RunRecord none = MakeRun(Day(1, 3, 2010), At(8));
    none.heartRateBefore = 0;
    none.heartRateAfter = 0;
    Store(none);
    EXPECT_EQ(0, m_db.HasHeartRates());

    LoginAs(u"bob");
    StoreAt(Day(1, 3, 2010), At(9)); // bob's readings are not ann's
    LoginAs(u"ann");
    EXPECT_EQ(0, m_db.HasHeartRates());

    RunRecord afterOnly = none;
    afterOnly.time = At(10);
    afterOnly.heartRateAfter = 1;
    Store(afterOnly);
    EXPECT_EQ(1, m_db.HasHeartRates());
}

TEST_F(RunStoreTest, HeartRateOfDayIsTheDaysLastRunByStartTime)
{
    RunRecord evening = MakeRun(Day(1, 3, 2010), At(18, 30));
    evening.heartRateBefore = 61;
    evening.heartRateAfter = 161;
    evening.duration = 2400;
    RunRecord morning = MakeRun(Day(1, 3, 2010), At(7));
    morning.heartRateBefore = 52;
    morning.heartRateAfter = 152;
    RunRecord nextDay = MakeRun(Day(2, 3, 2010), At(0));
    nextDay.heartRateAfter = 199;
    // Stored latest first: the day's last run is still the evening one.
    Store(evening);
    Store(morning);
    Store(nextDay);
    LoginAs(u"bob");
    StoreAt(Day(1, 3, 2010), At(23));
    LoginAs(u"ann");

    const DateParts day = Day(1, 3, 2010);
    TimeParts time{};
    uint32_t duration = 0;
    uint8_t before = 0, after = 0;
    ASSERT_EQ(1, m_db.GetHeartRateOfDay(&day, &time, &duration, &before, &after));
    EXPECT_EQ(18, time.hour);
    EXPECT_EQ(30, time.minute);
    EXPECT_EQ(2400u, duration);
    EXPECT_EQ(61u, before);
    EXPECT_EQ(161u, after);
}

TEST_F(RunStoreTest, HeartRateOfADayWithoutRunsLeavesTimeAndDuration)
{
    StoreAt(Day(2, 3, 2010), At(8));
    const DateParts day = Day(1, 3, 2010);
    TimeParts time = At(5, 6, 7);
    uint32_t duration = 99;
    uint8_t before = 1, after = 1;
    ASSERT_EQ(1, m_db.GetHeartRateOfDay(&day, &time, &duration, &before, &after));
    EXPECT_EQ(0u, before);
    EXPECT_EQ(0u, after);
    EXPECT_EQ(5, time.hour);
    EXPECT_EQ(99u, duration);
    EXPECT_EQ(0, m_db.GetHeartRateOfDay(&day, nullptr, &duration, &before, &after));
}

// ---- periods ----

TEST_F(RunStoreTest, DayAndMonthBoundariesFallAtMidnight)
{
    StoreAt(Day(31, 1, 2010), At(0), 1);
    StoreAt(Day(31, 1, 2010), At(23, 59, 59), 10);
    StoreAt(Day(1, 2, 2010), At(0), 100);
    StoreAt(Day(28, 2, 2010), At(23, 59, 59), 1000);
    StoreAt(Day(1, 3, 2010), At(0), 10000);

    struct DayCase
    {
        DateParts day;
        uint32_t runDistance;
    };
    for (const DayCase &c :
         {DayCase{Day(30, 1, 2010), 0}, DayCase{Day(31, 1, 2010), 11}, DayCase{Day(1, 2, 2010), 100},
          DayCase{Day(28, 2, 2010), 1000}, DayCase{Day(1, 3, 2010), 10000}})
    {
        uint32_t run = 7, walk = 7;
        ASSERT_EQ(1, m_db.GetDayDistances(&c.day, &run, &walk));
        EXPECT_EQ(c.runDistance, run) << int(c.day.day) << "." << int(c.day.month);
    }
    struct MonthCase
    {
        int month;
        uint32_t runDistance;
        uint32_t count;
    };
    for (const MonthCase &c : {MonthCase{1, 11, 2}, MonthCase{2, 1100, 2}, MonthCase{3, 10000, 1}})
    {
        Sums s;
        ASSERT_EQ(1, m_db.GetMonthStats(c.month, 2010, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                        &s.walkDistance, &s.calories, &s.count));
        EXPECT_EQ(c.runDistance, s.runDistance) << c.month;
        EXPECT_EQ(c.count, s.count) << c.month;
        EXPECT_EQ(c.count * 1800, s.duration) << c.month;
    }
}

TEST_F(RunStoreTest, WeekStatsCoverMondayToSundayOfTheStoresWeek)
{
    // Week 1 of 2009 runs from Monday 29 December 2008 to Sunday 4 January 2009.
    StoreAt(Day(28, 12, 2008), At(23, 59, 59), 1);
    StoreAt(Day(29, 12, 2008), At(0), 10);
    StoreAt(Day(4, 1, 2009), At(23, 59, 59), 100);
    StoreAt(Day(5, 1, 2009), At(0), 1000);
    Sums s;
    ASSERT_EQ(1, m_db.GetWeekStats(1, 2009, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                   &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(110u, s.runDistance);
    EXPECT_EQ(2u, s.count);
    EXPECT_EQ(1200u, s.walkSteps);
    EXPECT_EQ(6000u, s.runSteps);
    EXPECT_EQ(500u, s.calories);
    EXPECT_EQ(0, m_db.GetWeekStats(0, 2009, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                   &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(0, m_db.GetWeekStats(53, 2009, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                   &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(0, m_db.GetMonthStats(13, 2009, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
}

TEST_F(RunStoreTest, RangeReadsExactlyTheGivenDays)
{
    // The Monday-Sunday week of 31 December 2012, which the pages number 53 and then 1 of 2013.
    StoreAt(Day(30, 12, 2012), At(23, 59, 59), 1);
    StoreAt(Day(31, 12, 2012), At(0), 10);
    StoreAt(Day(2, 1, 2013), At(12), 100);
    StoreAt(Day(6, 1, 2013), At(23, 59, 59), 1000);
    StoreAt(Day(7, 1, 2013), At(0), 10000);
    LoginAs(u"bob");
    StoreAt(Day(2, 1, 2013), At(13), 100000);
    LoginAs(u"ann");

    const DateParts monday = Day(31, 12, 2012);
    Sums s;
    ASSERT_EQ(1, m_db.GetRangeStats(&monday, 7, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(1110u, s.runDistance);
    EXPECT_EQ(1500u, s.walkDistance);
    EXPECT_EQ(3u, s.count);

    ASSERT_EQ(1, m_db.GetRangeStats(&monday, 1, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(10u, s.runDistance);
    EXPECT_EQ(1u, s.count);

    // The same sums as the store's own week of those dates.
    DateParts first{};
    DateParts last{};
    for (int week = 1; week <= 52; ++week)
    {
        ASSERT_EQ(1, KvtDatabase::GetWeekRange(2013, week, &first, &last));
        Sums byWeek;
        Sums byRange;
        ASSERT_EQ(1, m_db.GetWeekStats(week, 2013, &byWeek.duration, &byWeek.walkSteps, &byWeek.runSteps,
                                       &byWeek.runDistance, &byWeek.walkDistance, &byWeek.calories,
                                       &byWeek.count));
        ASSERT_EQ(1, m_db.GetRangeStats(&first, 7, &byRange.duration, &byRange.walkSteps, &byRange.runSteps,
                                        &byRange.runDistance, &byRange.walkDistance, &byRange.calories,
                                        &byRange.count));
        EXPECT_EQ(byWeek.runDistance, byRange.runDistance) << week;
        EXPECT_EQ(byWeek.count, byRange.count) << week;
    }

    const DateParts noDay = Day(32, 12, 2012);
    EXPECT_EQ(0, m_db.GetRangeStats(&noDay, 7, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(0, m_db.GetRangeStats(&monday, 0, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(0, m_db.GetRangeStats(nullptr, 7, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
}

TEST_F(RunStoreTest, RangeOverALongSpanDoesNotOverflow)
{
    StoreAt(Day(1, 3, 2010), At(8), 5);
    const DateParts start = Day(1, 1, 1601);
    Sums s;
    ASSERT_EQ(1, m_db.GetRangeStats(&start, 200000, nullptr, nullptr, nullptr, &s.runDistance, nullptr,
                                    nullptr, &s.count));
    EXPECT_EQ(5u, s.runDistance);
    EXPECT_EQ(1u, s.count);
    // Far past the last day a value can name: refused rather than wrapped round to before the start.
    EXPECT_EQ(0, m_db.GetRangeStats(&start, 0xFFFFFFFFu, nullptr, nullptr, nullptr, &s.runDistance, nullptr,
                                    nullptr, &s.count));
}

// ---- series ----

TEST_F(RunStoreTest, MonthSeriesWrapsIntoTheNextYear)
{
    StoreAt(Day(30, 11, 2013), At(8), 11, 1);
    StoreAt(Day(31, 12, 2013), At(23, 59, 59), 12, 2);
    StoreAt(Day(1, 1, 2014), At(0), 1, 3);
    StoreAt(Day(28, 2, 2014), At(8), 2, 4);
    StoreAt(Day(1, 3, 2014), At(0), 3, 5);
    uint32_t runs[4] = {}, walks[4] = {};
    ASSERT_EQ(1, m_db.GetMonthSeries(11, 2013, 4, runs, walks));
    EXPECT_EQ((std::vector<uint32_t>{11, 12, 1, 2}), std::vector<uint32_t>(runs, runs + 4));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4}), std::vector<uint32_t>(walks, walks + 4));
    EXPECT_EQ(1, m_db.GetMonthSeries(11, 2013, 0, runs, walks));
    EXPECT_EQ(0, m_db.GetMonthSeries(13, 2013, 1, runs, walks));
    EXPECT_EQ(0, m_db.GetMonthSeries(11, 2013, 1, nullptr, walks));
}

TEST_F(RunStoreTest, WeekSeriesWrapsFromWeek52ToWeek1OfTheNextYear)
{
    for (int year : {2009, 2012, 2017, 2018, 2024})
    {
        SCOPED_TRACE(year);
        DateParts first52{}, last52{}, first1{}, last1{};
        ASSERT_EQ(1, KvtDatabase::GetWeekRange(year, 52, &first52, &last52));
        ASSERT_EQ(1, KvtDatabase::GetWeekRange(year + 1, 1, &first1, &last1));
        const uint32_t base = static_cast<uint32_t>(year) * 10;
        StoreAt(first52, At(0), base + 1);
        StoreAt(last52, At(23, 59, 59), base + 2);
        StoreAt(first1, At(0), base + 3);
        StoreAt(last1, At(12), base + 4);
        uint32_t runs[2] = {}, walks[2] = {};
        ASSERT_EQ(1, m_db.GetWeekSeries(52, year, 2, runs, walks));
        // A week the two years share (their ranges meet) would count a run twice or not at all.
        EXPECT_EQ(2 * base + 3, runs[0]);
        EXPECT_EQ(2 * base + 7, runs[1]);
    }
    uint32_t runs[1] = {}, walks[1] = {};
    EXPECT_EQ(0, m_db.GetWeekSeries(53, 2009, 1, runs, walks));
    EXPECT_EQ(1, m_db.GetWeekSeries(1, 2009, 0, runs, walks));
}

// ---- quoting and login ----

TEST_F(RunStoreTest, UserIdWithQuotesKeepsItsRunsApart)
{
    const DateParts dob = Day(1, 2, 1980);
    ASSERT_EQ(1, m_db.AddUser(u"o'brien", u"pw", u"F", u"L", 1, &dob, 40, 170, 3, 60, 5));
    ASSERT_EQ(1, m_db.AddUser(u"o", u"pw", u"F", u"L", 1, &dob, 40, 170, 3, 60, 5));
    LoginAs(u"o'brien");
    StoreAt(Day(1, 3, 2010), At(8), 777);
    EXPECT_EQ(1, Count(u"select count(*) from Run where UserID = 'o''brien'"));
    uint32_t distance = 0, duration = 0, count = 0;
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(1u, count);
    DateParts date{};
    TimeParts time{};
    ASSERT_EQ(1, m_db.GetLastRunTime(&date, &time));
    m_db.Rollback();
    EXPECT_EQ(2010, date.year);
    LoginAs(u"o");
    ASSERT_EQ(1, m_db.GetRunTotals(&distance, &duration, &count));
    EXPECT_EQ(0u, count);
}

TEST_F(RunStoreTest, WithoutALoggedInUserEveryRunOperationFails)
{
    StoreAt(Day(1, 3, 2010), At(8));
    ASSERT_EQ(1, m_db.Logout());
    const DateParts day = Day(1, 3, 2010);
    DateParts date{};
    TimeParts time{};
    uint32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0;
    uint8_t h1 = 0, h2 = 0;
    RunRecord runs[1];
    uint32_t series[1];
    EXPECT_EQ(0, m_db.GetLastRunTime(&date, &time));
    EXPECT_EQ(0, m_db.GetRunTotals(&a, &b, &c));
    EXPECT_EQ(0, m_db.CountRunsSince(0, &a));
    EXPECT_EQ(0, m_db.ListRunsSince(0, 1, runs, nullptr));
    EXPECT_EQ(0, m_db.HasHeartRates());
    EXPECT_EQ(0, m_db.GetHeartRateOfDay(&day, &time, &a, &h1, &h2));
    EXPECT_EQ(0, m_db.GetDayStats(&day, &a, &b, &c, &d, &e, &f));
    EXPECT_EQ(0, m_db.GetWeekStats(10, 2010, &a, &b, &c, &d, &e, &f, &g));
    EXPECT_EQ(0, m_db.GetMonthStats(3, 2010, &a, &b, &c, &d, &e, &f, &g));
    EXPECT_EQ(0, m_db.GetRangeStats(&day, 1, &a, &b, &c, &d, &e, &f, &g));
    EXPECT_EQ(0, m_db.GetDayDistances(&day, &a, &b));
    EXPECT_EQ(0, m_db.GetDayCalories(&day, &a));
    EXPECT_EQ(0, m_db.GetWeekSeries(10, 2010, 1, series, series));
    EXPECT_EQ(0, m_db.GetMonthSeries(3, 2010, 1, series, series));
    EXPECT_EQ(0, m_db.GetMonthSeries(3, 2010, 0, series, series));
    EXPECT_EQ(0, m_db.InTransaction());
}

TEST_F(RunStoreTest, RangeReadsTheWeekThatTheNumberedWeeksStepOver)
{
    // In 2018 the store's week 52 ends on 23 December and week 1 of 2019 starts on 31 December, so the
    // week of 24-30 December has no number of its own; its dates still read it.
    DateParts first{}, last{};
    ASSERT_EQ(1, KvtDatabase::GetWeekRange(2018, 52, &first, &last));
    EXPECT_EQ(23, last.day);
    ASSERT_EQ(1, KvtDatabase::GetWeekRange(2019, 1, &first, &last));
    EXPECT_EQ(31, first.day);
    EXPECT_EQ(2018, first.year);

    StoreAt(Day(24, 12, 2018), At(0), 40);
    StoreAt(Day(30, 12, 2018), At(23, 59, 59), 2);
    const DateParts monday = Day(24, 12, 2018);
    Sums s;
    ASSERT_EQ(1, m_db.GetRangeStats(&monday, 7, &s.duration, &s.walkSteps, &s.runSteps, &s.runDistance,
                                    &s.walkDistance, &s.calories, &s.count));
    EXPECT_EQ(42u, s.runDistance);
    EXPECT_EQ(2u, s.count);
    uint32_t runs[2] = {}, walks[2] = {};
    ASSERT_EQ(1, m_db.GetWeekSeries(52, 2018, 2, runs, walks));
    EXPECT_EQ(0u, runs[0]);
    EXPECT_EQ(0u, runs[1]);
}

TEST(KvtDatabaseRunLookups, FileWithoutThemGainsThemAndKeepsItsRows)
{
    const std::u16string folder = U16(vxtest::MakeTempDir("lookups"));
    std::u16string path;
    {
        KvtDatabase db(folder);
        path = db.GetPath();
        const DateParts dob = Day(1, 2, 1980);
        ASSERT_EQ(1, db.AddUser(u"ann", u"pw", u"F", u"L", 1, &dob, 40, 170, 3, 60, 5));
        ASSERT_EQ(1, db.Login(u"ann", u"pw"));
        const RunRecord run = MakeRun(Day(1, 3, 2010), At(8));
        ASSERT_EQ(1, db.AddRun(&run));
        ASSERT_EQ(1, db.Commit());
    }
    {
        Peek peek(path);
        ASSERT_EQ(1, peek.Run(u"drop index RunInfoRunDateTime"));
        ASSERT_EQ(1, peek.Run(u"drop index RunRunIDUserID"));
        EXPECT_EQ(1, peek.Count(u"select count(*) from sqlite_master where type='index'"));
    }
    {
        KvtDatabase db(folder);
        ASSERT_EQ(1, db.Login(u"ann", u"pw"));
        uint32_t distance = 0, duration = 0, count = 0;
        ASSERT_EQ(1, db.GetRunTotals(&distance, &duration, &count));
        EXPECT_EQ(1u, count);
    }
    Peek peek(path);
    EXPECT_EQ(3, peek.Count(u"select count(*) from sqlite_master where type='index' and tbl_name in ('Run', "
                            u"'RunInfo')"));
    EXPECT_EQ(1, peek.Count(u"select count(*) from RunInfo"));
}
