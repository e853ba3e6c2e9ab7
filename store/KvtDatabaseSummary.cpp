#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include <cstdlib>

namespace
{
// One row per day of the user's runs, with the same join as every run statement. The last two
// columns tell whether the day sums may stand for the statements: the absolute values summed over the
// six summed columns (not an integer once that passes the 64-bit range), and the number of runs with a
// value that is not an integer (NULL allowed but for the start) or a start before 1601.
const char16_t kDaySums[] =
    u"Select RunInfo.RunDateTime / 864000000000, Sum(RunInfo.RunDistanceRun), Sum(RunInfo.RunDistanceWalk), "
    u"Sum(RunInfo.RunDuration), Sum(RunInfo.RunStepWalk), Sum(RunInfo.RunStepRun), Sum(RunInfo.RunCalories), "
    u"count(*), count(case when RunInfo.RunHeartBeatBeforeRun > 0 or RunInfo.RunHeartBeatAfterRun > 0 then 1 "
    u"end), max(RunInfo.RunDateTime), coalesce(Sum(abs(RunInfo.RunDistanceRun)), 0) + "
    u"coalesce(Sum(abs(RunInfo.RunDistanceWalk)), 0) + coalesce(Sum(abs(RunInfo.RunDuration)), 0) + "
    u"coalesce(Sum(abs(RunInfo.RunStepWalk)), 0) + coalesce(Sum(abs(RunInfo.RunStepRun)), 0) + "
    u"coalesce(Sum(abs(RunInfo.RunCalories)), 0), Sum(typeof(RunInfo.RunDateTime) <> 'integer' or "
    u"RunInfo.RunDateTime < 0 or typeof(RunInfo.RunDistanceRun) not in ('integer', 'null') or "
    u"typeof(RunInfo.RunDistanceWalk) not in ('integer', 'null') or typeof(RunInfo.RunDuration) not in "
    u"('integer', 'null') or typeof(RunInfo.RunStepWalk) not in ('integer', 'null') or "
    u"typeof(RunInfo.RunStepRun) not in ('integer', 'null') or typeof(RunInfo.RunCalories) not in "
    u"('integer', 'null') or typeof(RunInfo.RunHeartBeatBeforeRun) not in ('integer', 'null') or "
    u"typeof(RunInfo.RunHeartBeatAfterRun) not in ('integer', 'null')) from RunInfo INNER JOIN Run ON "
    u"Run.RunID = RunInfo.RunID and Run.UserID = '%s' group by 1";

int64_t Cell(const CellTable &table, uint32_t row, uint32_t column)
{
    int64_t value = 0;
    table.GetInt64(row, column, &value);
    return value;
}

uint32_t Low32(int64_t value)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(value));
}

bool AddMagnitude(int64_t *total, int64_t value)
{
    // |INT64_MIN| has no 64-bit value; a run never holds it.
    if (value == INT64_MIN)
        return false;
    return !__builtin_add_overflow(*total, value < 0 ? -value : value, total);
}
} // namespace

int KvtDatabase::ReadDataVersion(int64_t *version)
{
    return Exec(u"PRAGMA data_version") && m_table.GetInt64(0, 0, version) ? 1 : 0;
}

bool KvtDatabase::SummaryReady()
{
    if (!IsLoggedIn())
        return false;
    // Runs of a transaction that ended without this object's COMMIT are gone from the file.
    if (m_summary.built && m_summary.uncommitted && !m_db.InTransaction())
        DropSummary();
    int64_t version = 0;
    if (!ReadDataVersion(&version))
    {
        DropSummary();
        return false;
    }
    // Another connection or process has committed a change since the summary was read.
    if (m_summary.built && m_summary.dataVersion != version)
        DropSummary();
    if (!m_summary.built)
        BuildSummary(version);
    return m_summary.usable;
}

void KvtDatabase::BuildSummary(int64_t dataVersion)
{
    m_summary = RunSummary();
    m_summary.built = true;
    m_summary.dataVersion = dataVersion;
    m_summary.uncommitted = m_db.InTransaction() != 0;
    // A failure leaves it unusable until the file or the user changes; the statements answer meanwhile.
    if (!Exec(kDaySums, {CurrentUser()}))
        return;
    int64_t magnitude = 0;
    for (uint32_t row = 0; row < m_table.GetRowCount(); ++row)
    {
        int64_t day = 0;
        int64_t dayMagnitude = 0;
        if (!m_table.GetInt64(row, 0, &day) || !m_table.GetInt64(row, 10, &dayMagnitude) ||
            Cell(m_table, row, 11) != 0 || __builtin_add_overflow(magnitude, dayMagnitude, &magnitude))
        {
            m_summary.days.clear();
            return;
        }
        DaySums &sums = m_summary.days[day];
        sums.runDistance = Cell(m_table, row, 1);
        sums.walkDistance = Cell(m_table, row, 2);
        sums.duration = Cell(m_table, row, 3);
        sums.walkSteps = Cell(m_table, row, 4);
        sums.runSteps = Cell(m_table, row, 5);
        sums.calories = Cell(m_table, row, 6);
        sums.count = Cell(m_table, row, 7);
        sums.withHeartRate = Cell(m_table, row, 8);
        sums.lastStart = Cell(m_table, row, 9);
    }
    m_summary.magnitude = magnitude;
    m_summary.usable = true;
}

void KvtDatabase::SummaryAddRun(int64_t start, const RunRecord &run)
{
    if (!m_summary.built || !m_summary.usable)
        return;
    m_summary.uncommitted = true;
    // The values as AddRun stores them.
    const int64_t values[6] = {static_cast<int32_t>(run.runDistance), static_cast<int32_t>(run.walkDistance),
                               static_cast<int32_t>(run.duration),    static_cast<int32_t>(run.walkSteps),
                               static_cast<int32_t>(run.runSteps),    static_cast<int32_t>(run.calories)};
    int64_t magnitude = m_summary.magnitude;
    bool fits = start >= 0;
    for (int64_t value : values)
        fits = fits && AddMagnitude(&magnitude, value);
    if (!fits)
    {
        m_summary.usable = false;
        m_summary.days.clear();
        return;
    }
    m_summary.magnitude = magnitude;
    DaySums &sums = m_summary.days[start / vxtime::kTicksPerDay];
    sums.runDistance += values[0];
    sums.walkDistance += values[1];
    sums.duration += values[2];
    sums.walkSteps += values[3];
    sums.runSteps += values[4];
    sums.calories += values[5];
    if (sums.count == 0 || start > sums.lastStart)
        sums.lastStart = start;
    sums.count += 1;
    if (run.heartRateBefore > 0 || run.heartRateAfter > 0)
        sums.withHeartRate += 1;
}

bool KvtDatabase::SummaryPeriod(int64_t start, int64_t end, PeriodSums *sums)
{
    // Whole days only (every period of the pages is); anything else goes to the statement.
    if (start < 0 || end < 0 || start % vxtime::kTicksPerDay != 0 || end % vxtime::kTicksPerDay != 0 ||
        !SummaryReady())
        return false;
    DaySums total;
    const int64_t endDay = end / vxtime::kTicksPerDay;
    for (auto it = m_summary.days.lower_bound(start / vxtime::kTicksPerDay);
         it != m_summary.days.end() && it->first < endDay; ++it)
    {
        total.runDistance += it->second.runDistance;
        total.walkDistance += it->second.walkDistance;
        total.duration += it->second.duration;
        total.walkSteps += it->second.walkSteps;
        total.runSteps += it->second.runSteps;
        total.calories += it->second.calories;
        total.count += it->second.count;
    }
    PeriodSums read;
    read.runDistance = Low32(total.runDistance);
    read.walkDistance = Low32(total.walkDistance);
    read.duration = Low32(total.duration);
    read.walkSteps = Low32(total.walkSteps);
    read.runSteps = Low32(total.runSteps);
    read.calories = Low32(total.calories);
    read.count = Low32(total.count);
    *sums = read;
    return true;
}
