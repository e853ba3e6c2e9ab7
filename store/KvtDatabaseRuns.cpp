#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include <algorithm>
#include <cstdint>

namespace
{
// The period-sum statement: every day, week, month, range and goal progress is read through it.
const char16_t kPeriodSums[] =
    u"Select Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), Sum(RunInfo.RunDuration), "
    u"Sum(RunInfo.RunStepWalk), Sum(RunInfo.RunStepRun), Sum(RunInfo.RunCalories), count(*) from RunInfo "
    u"INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = '%s' and RunDateTime >= %I64i and "
    u"RunDateTime < %I64i";

// Counts and sums keep the low 32 bits of the engine's 64-bit integers; a cell that is not an integer
// (a sum over no runs is NULL) reads as 0.
uint32_t Low32(const CellTable &table, uint32_t row, uint32_t column)
{
    int64_t value = 0;
    if (!table.GetInt64(row, column, &value))
        return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(value));
}

// A sum cell in full; not an integer (a sum over no runs is NULL), or negative, reads as 0.
uint64_t Sum64(const CellTable &table, uint32_t row, uint32_t column)
{
    int64_t value = 0;
    if (!table.GetInt64(row, column, &value) || value < 0)
        return 0;
    return static_cast<uint64_t>(value);
}

int32_t I32(uint32_t value)
{
    return static_cast<int32_t>(value);
}
} // namespace

int KvtDatabase::LocalDateToFileTime(const DateParts *date, int64_t *value)
{
    return vxtime::LocalDateToFileTime(date, value);
}

int KvtDatabase::LocalTimeToFileTime(const DateParts *date, const TimeParts *time, int64_t *value)
{
    return vxtime::LocalTimeToFileTime(date, time, value);
}

int KvtDatabase::GetWeekRange(int year, int week, DateParts *first, DateParts *last)
{
    return vxtime::GetWeekRange(year, week, first, last);
}

int KvtDatabase::AddRun(const RunRecord *run)
{
    if (!IsLoggedIn() || !run || !Begin())
        return 0;
    int64_t start = 0;
    if (!LocalTimeToFileTime(&run->date, &run->time, &start))
        return 0;

    // Both ends of a goal's days count as inside it here.
    if (!Exec(u"Select GoalInfo.GoalID from GoalInfo INNER JOIN Goal ON Goal.GoalID = GoalInfo.GoalID and "
              u"Goal.UserID = '%s' and GoalInfo.GoalTimeFrameFrom <= %I64i and GoalInfo.GoalTimeFrameTo >= "
              u"%I64i",
              {CurrentUser(), start, start}))
        return 0;
    int64_t goal = -1;
    m_table.GetInt64(0, 0, &goal);

    // Run numbers are unique over all users: the highest plus 1, or 0 for the first run of the file. The
    // maximum alone tells both (no runs give NULL); counting the rows first would read the whole table for
    // every run of an import.
    if (!Exec(u"Select max( RunID ) from Run"))
        return 0;
    int64_t max = -1;
    m_table.GetInt64(0, 0, &max);
    const int64_t runId = max + 1;
    // The number is stored as 32 bits: past the top it would repeat a number in use and join this run's
    // values with another run's.
    if (runId > INT32_MAX)
    {
        Rollback();
        return 0;
    }

    if (!Exec(u"Insert into Run values ( '%s', %i, %i )",
              {CurrentUser(), static_cast<int32_t>(runId), static_cast<int32_t>(goal)}) ||
        !Exec(u"Insert into RunInfo values ( %i, %I64i, %i, %i, %i, %i, %i, %i, %i, %i, %i )",
              {static_cast<int32_t>(runId), start, I32(run->duration), I32(run->walkSteps),
               I32(run->runSteps), I32(run->runDistance), I32(run->walkDistance), I32(run->calories),
               run->temperature, run->heartRateBefore, run->heartRateAfter}))
    {
        Rollback();
        return 0;
    }
    SummaryAddRun(start, *run);
    return 1;
}

int KvtDatabase::GetLastRunTime(DateParts *date, TimeParts *time)
{
    if (!IsLoggedIn() || !date || !time)
        return 0;
    Begin();
    if (SummaryReady())
    {
        if (m_summary.days.empty())
        {
            *date = DateParts{0, 0, 0};
            *time = TimeParts{0, 0, 0};
        }
        else
        {
            vxtime::FileTimeToDateTime(m_summary.days.rbegin()->second.lastStart, date, time);
        }
        return 1;
    }
    if (!Exec(u"Select max(RunInfo.RunDateTime) from RunInfo INNER JOIN Run ON Run.RunID=RunInfo.RunID and "
              u"Run.UserID='%s'",
              {CurrentUser()}))
        return 0;
    int64_t last = 0;
    if (m_table.GetInt64(0, 0, &last))
    {
        vxtime::FileTimeToDateTime(last, date, time);
    }
    else
    {
        *date = DateParts{0, 0, 0};
        *time = TimeParts{0, 0, 0};
    }
    return 1;
}

int KvtDatabase::GetRunTotals(uint64_t *distance, uint64_t *duration, uint32_t *count)
{
    if (!IsLoggedIn() || !distance || !duration || !count)
        return 0;
    DaySums all;
    if (SummaryDaySums(0, INT64_MAX / vxtime::kTicksPerDay * vxtime::kTicksPerDay, &all))
    {
        *distance = all.unsignedRunDistance + all.unsignedWalkDistance;
        *duration = all.unsignedDuration;
        *count = static_cast<uint32_t>(static_cast<uint64_t>(all.count));
        return 1;
    }
    // Each value as the unsigned 32-bit number it was stored from.
    if (!Exec(u"Select Sum(RunInfo.RunDistanceRun & 4294967295), Sum(RunInfo.RunDistanceWalk & 4294967295), "
              u"Sum(RunInfo.RunDuration & 4294967295), count(*) from RunInfo INNER JOIN Run ON "
              u"Run.RunID = RunInfo.RunID and Run.UserID = '%s'",
              {CurrentUser()}))
        return 0;
    if (m_table.GetRowCount() != 1)
    {
        *distance = 0;
        *duration = 0;
        *count = 0;
        return 1;
    }
    *distance = Sum64(m_table, 0, 0) + Sum64(m_table, 0, 1);
    *duration = Sum64(m_table, 0, 2);
    *count = Low32(m_table, 0, 3);
    return 1;
}

int KvtDatabase::GetRunTotals(uint32_t *distance, uint32_t *duration, uint32_t *count)
{
    if (!IsLoggedIn() || !distance || !duration || !count)
        return 0;
    PeriodSums all;
    if (SummaryPeriod(0, INT64_MAX / vxtime::kTicksPerDay * vxtime::kTicksPerDay, &all))
    {
        *distance = all.runDistance + all.walkDistance;
        *duration = all.duration;
        *count = all.count;
        return 1;
    }
    if (!Exec(u"Select Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), Sum(RunInfo.RunDuration), "
              u"count(*) from RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = '%s'",
              {CurrentUser()}))
        return 0;
    if (m_table.GetRowCount() != 1)
    {
        *distance = 0;
        *duration = 0;
        *count = 0;
        return 1;
    }
    *distance = Low32(m_table, 0, 0) + Low32(m_table, 0, 1);
    *duration = Low32(m_table, 0, 2);
    *count = Low32(m_table, 0, 3);
    return 1;
}

int KvtDatabase::CountRunsSince(int32_t unixSeconds, uint32_t *count)
{
    if (!IsLoggedIn() || !count)
        return 0;
    int64_t since = 0;
    vxtime::UnixLocalToFileTime(unixSeconds, &since);
    if (!Exec(u" Select count(*) from RunInfo INNER JOIN Run ON Run.RunID=RunInfo.RunID and Run.UserID='%s' "
              u"and "
              u"RunInfo.RunDateTime > %I64i",
              {CurrentUser(), since}))
        return 0;
    *count = m_table.GetRowCount() == 1 ? Low32(m_table, 0, 0) : 0;
    return 1;
}

int KvtDatabase::ListRunsSince(int32_t unixSeconds, int32_t maxRuns, RunRecord *runs,
                               int32_t *startUnixSeconds)
{
    if (!IsLoggedIn() || !runs || maxRuns <= 0)
        return 0;
    int64_t since = 0;
    vxtime::UnixLocalToFileTime(unixSeconds, &since);
    if (!Exec(u"Select RunInfo.RunDistanceRun, RunInfo.RunDistanceWalk, RunInfo.RunDuration, "
              u"RunInfo.RunStepRun, "
              u"RunInfo.RunStepWalk, RunInfo.RunCalories, RunInfo.RunHeartBeatBeforeRun, "
              u"RunInfo.RunHeartBeatAfterRun, RunInfo.RunDateTime from RunInfo INNER JOIN Run ON "
              u"Run.RunID=RunInfo.RunID and Run.UserID = '%s' and RunDateTime > %I64i ORDER BY "
              u"RunInfo.RunDateTime LIMIT %i",
              {CurrentUser(), since, maxRuns}))
        return 0;
    const uint32_t rows = std::min<uint32_t>(m_table.GetRowCount(), static_cast<uint32_t>(maxRuns));
    for (uint32_t i = 0; i < rows; ++i)
    {
        RunRecord run{};
        run.runDistance = Low32(m_table, i, 0);
        run.walkDistance = Low32(m_table, i, 1);
        run.duration = Low32(m_table, i, 2);
        run.runSteps = Low32(m_table, i, 3);
        run.walkSteps = Low32(m_table, i, 4);
        run.calories = Low32(m_table, i, 5);
        run.heartRateBefore = static_cast<uint8_t>(Low32(m_table, i, 6));
        run.heartRateAfter = static_cast<uint8_t>(Low32(m_table, i, 7));
        int64_t start = 0;
        int32_t startUnix = 0;
        if (m_table.GetInt64(i, 8, &start))
        {
            vxtime::FileTimeToDateTime(start, &run.date, &run.time);
            vxtime::FileTimeToUnixLocal(start, &startUnix);
        }
        runs[i] = run;
        if (startUnixSeconds)
            startUnixSeconds[i] = startUnix;
    }
    return static_cast<int>(rows);
}

int KvtDatabase::HasHeartRates()
{
    if (!IsLoggedIn())
        return 0;
    if (SummaryReady())
    {
        for (const auto &day : m_summary.days)
            if (day.second.withHeartRate > 0)
                return 1;
        return 0;
    }
    // Only a file holding values that are not integers comes here, where the largest value decides.
    if (!Exec(u"Select max(RunInfo.RunHeartBeatBeforeRun), max(RunInfo.RunHeartBeatAfterRun) from RunInfo "
              u"INNER "
              u"JOIN Run ON RunInfo.RunID=Run.RunID where Run.UserID='%s'",
              {CurrentUser()}) ||
        m_table.GetRowCount() != 1)
        return 0;
    int64_t before = 0;
    int64_t after = 0;
    if (m_table.GetInt64(0, 0, &before) && before > 0)
        return 1;
    return m_table.GetInt64(0, 1, &after) && after > 0 ? 1 : 0;
}

int KvtDatabase::GetHeartRateOfDay(const DateParts *date, TimeParts *time, uint32_t *duration,
                                   uint8_t *heartRateBefore, uint8_t *heartRateAfter)
{
    if (!IsLoggedIn() || !date || !time)
        return 0;
    int64_t start = 0;
    if (!LocalDateToFileTime(date, &start))
        return 0;
    // Ordered by start, so the last row is the day's last run whatever order the rows were stored in.
    if (!Exec(
            u"Select RunInfo.RunHeartBeatBeforeRun, RunInfo.RunHeartBeatAfterRun, RunInfo.RunDateTime, "
            u"RunInfo.RunDuration from RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = "
            u"'%s' and RunDateTime >= %I64i and RunDateTime < %I64i ORDER BY RunInfo.RunDateTime",
            {CurrentUser(), start, start + vxtime::kTicksPerDay}))
        return 0;
    const uint32_t rows = m_table.GetRowCount();
    uint8_t before = 0;
    uint8_t after = 0;
    if (rows > 0)
    {
        const uint32_t last = rows - 1;
        before = static_cast<uint8_t>(Low32(m_table, last, 0));
        after = static_cast<uint8_t>(Low32(m_table, last, 1));
        int64_t value = 0;
        TimeParts startTime{0, 0, 0};
        if (m_table.GetInt64(last, 2, &value))
            vxtime::FileTimeToDateTime(value, nullptr, &startTime);
        *time = startTime;
        if (duration)
            *duration = Low32(m_table, last, 3);
    }
    if (heartRateBefore)
        *heartRateBefore = before;
    if (heartRateAfter)
        *heartRateAfter = after;
    return 1;
}

int KvtDatabase::SumPeriod(int64_t start, int64_t end, PeriodSums *sums)
{
    if (!IsLoggedIn())
        return 0;
    if (SummaryPeriod(start, end, sums))
        return 1;
    if (!Exec(kPeriodSums, {CurrentUser(), start, end}))
        return 0;
    PeriodSums read;
    read.runDistance = Low32(m_table, 0, 0);
    read.walkDistance = Low32(m_table, 0, 1);
    read.duration = Low32(m_table, 0, 2);
    read.walkSteps = Low32(m_table, 0, 3);
    read.runSteps = Low32(m_table, 0, 4);
    read.calories = Low32(m_table, 0, 5);
    read.count = Low32(m_table, 0, 6);
    *sums = read;
    return 1;
}

void KvtDatabase::ReportSums(const PeriodSums &sums, uint32_t *duration, uint32_t *walkSteps,
                             uint32_t *runSteps, uint32_t *runDistance, uint32_t *walkDistance,
                             uint32_t *calories, uint32_t *count)
{
    if (duration)
        *duration = sums.duration;
    if (walkSteps)
        *walkSteps = sums.walkSteps;
    if (runSteps)
        *runSteps = sums.runSteps;
    if (runDistance)
        *runDistance = sums.runDistance;
    if (walkDistance)
        *walkDistance = sums.walkDistance;
    if (calories)
        *calories = sums.calories;
    if (count)
        *count = sums.count;
}

int KvtDatabase::SumDays(const DateParts *first, int64_t days, PeriodSums *sums)
{
    int64_t start = 0;
    if (days < 1 || !LocalDateToFileTime(first, &start))
        return 0;
    // Dates end in year 30827, far below where the end could overflow.
    if (days > 20000000)
        return 0;
    return SumPeriod(start, start + days * vxtime::kTicksPerDay, sums);
}

int KvtDatabase::GetDayStats(const DateParts *date, uint32_t *duration, uint32_t *walkSteps,
                             uint32_t *runSteps, uint32_t *runDistance, uint32_t *walkDistance,
                             uint32_t *calories)
{
    PeriodSums sums;
    if (!IsLoggedIn() || !SumDays(date, 1, &sums))
        return 0;
    ReportSums(sums, duration, walkSteps, runSteps, runDistance, walkDistance, calories, nullptr);
    return 1;
}

int KvtDatabase::GetWeekStats(int week, int year, uint32_t *duration, uint32_t *walkSteps, uint32_t *runSteps,
                              uint32_t *runDistance, uint32_t *walkDistance, uint32_t *calories,
                              uint32_t *count)
{
    DateParts first{};
    DateParts last{};
    if (!IsLoggedIn() || !GetWeekRange(year, week, &first, &last))
        return 0;
    PeriodSums sums;
    if (!SumDays(&first, 7, &sums))
        return 0;
    ReportSums(sums, duration, walkSteps, runSteps, runDistance, walkDistance, calories, count);
    return 1;
}

int KvtDatabase::GetMonthStats(int month, int year, uint32_t *duration, uint32_t *walkSteps,
                               uint32_t *runSteps, uint32_t *runDistance, uint32_t *walkDistance,
                               uint32_t *calories, uint32_t *count)
{
    DateParts first{};
    DateParts last{};
    if (!IsLoggedIn() || !vxtime::DaysInMonth(year, month, &first, &last))
        return 0;
    PeriodSums sums;
    if (!SumDays(&first, last.day, &sums))
        return 0;
    ReportSums(sums, duration, walkSteps, runSteps, runDistance, walkDistance, calories, count);
    return 1;
}

int KvtDatabase::GetRangeStats(const DateParts *firstDay, uint32_t days, uint32_t *duration,
                               uint32_t *walkSteps, uint32_t *runSteps, uint32_t *runDistance,
                               uint32_t *walkDistance, uint32_t *calories, uint32_t *count)
{
    PeriodSums sums;
    if (!IsLoggedIn() || !SumDays(firstDay, days, &sums))
        return 0;
    ReportSums(sums, duration, walkSteps, runSteps, runDistance, walkDistance, calories, count);
    return 1;
}

int KvtDatabase::GetDayDistances(const DateParts *date, uint32_t *runDistance, uint32_t *walkDistance)
{
    if (!runDistance || !walkDistance)
        return 0;
    return GetDayStats(date, nullptr, nullptr, nullptr, runDistance, walkDistance, nullptr);
}

int KvtDatabase::GetDayCalories(const DateParts *date, uint32_t *calories)
{
    if (!calories)
        return 0;
    return GetDayStats(date, nullptr, nullptr, nullptr, nullptr, nullptr, calories);
}

int KvtDatabase::GetWeekSeries(int week, int year, int n, uint32_t *runDistances, uint32_t *walkDistances)
{
    if (!IsLoggedIn() || !runDistances || !walkDistances || n < 0)
        return 0;
    for (int i = 0; i < n; ++i)
    {
        if (!GetWeekStats(week, year, nullptr, nullptr, nullptr, &runDistances[i], &walkDistances[i], nullptr,
                          nullptr))
            return 0;
        if (++week > 52)
        {
            week = 1;
            ++year;
        }
    }
    return 1;
}

int KvtDatabase::GetMonthSeries(int month, int year, int n, uint32_t *runDistances, uint32_t *walkDistances)
{
    if (!IsLoggedIn() || !runDistances || !walkDistances || n < 0)
        return 0;
    for (int i = 0; i < n; ++i)
    {
        if (!GetMonthStats(month, year, nullptr, nullptr, nullptr, &runDistances[i], &walkDistances[i],
                           nullptr, nullptr))
            return 0;
        if (++month > 12)
        {
            month = 1;
            ++year;
        }
    }
    return 1;
}
