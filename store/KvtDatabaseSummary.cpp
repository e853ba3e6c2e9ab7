#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include <cstdlib>

namespace
{
// The user's runs with the same join as every run statement. They are summed here rather than grouped
// by the engine: its grouping sorts every row first, which took several times as long.
const char16_t kRunValues[] =
    u"Select RunInfo.RunDateTime, RunInfo.RunDistanceRun, RunInfo.RunDistanceWalk, RunInfo.RunDuration, "
    u"RunInfo.RunStepWalk, RunInfo.RunStepRun, RunInfo.RunCalories, RunInfo.RunHeartBeatBeforeRun, "
    u"RunInfo.RunHeartBeatAfterRun from RunInfo INNER JOIN Run ON Run.RunID = RunInfo.RunID and Run.UserID = "
    u"'%s'";

// A value the statements would sum as this integer: an integer cell, or NULL (which no sum counts).
bool IntegerOrNull(const CellTable &row, uint32_t column, int64_t *value)
{
    uint8_t type = CellNull;
    row.GetCell(0, column, nullptr, &type, nullptr);
    *value = 0;
    return type == CellNull || row.GetInt64(0, column, value);
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

void KvtDatabase::DaySums::Add(int64_t start, const int64_t (&values)[6], bool hasHeartRate)
{
    runDistance += values[0];
    walkDistance += values[1];
    duration += values[2];
    unsignedRunDistance += Low32(values[0]);
    unsignedWalkDistance += Low32(values[1]);
    unsignedDuration += Low32(values[2]);
    walkSteps += values[3];
    runSteps += values[4];
    calories += values[5];
    if (count == 0 || start > lastStart)
        lastStart = start;
    count += 1;
    if (hasHeartRate)
        withHeartRate += 1;
}

void KvtDatabase::BuildSummary(int64_t dataVersion)
{
    m_summary = RunSummary();
    m_summary.built = true;
    m_summary.dataVersion = dataVersion;
    m_summary.uncommitted = m_db.InTransaction() != 0;
    bool fits = true;
    int64_t magnitude = 0;
    auto day = m_summary.days.end();
    const int ok = ExecRows(kRunValues, {CurrentUser()}, [&](const CellTable &row) {
        int64_t start = 0;
        int64_t values[8] = {};
        if (!row.GetInt64(0, 0, &start) || start < 0)
            return fits = false;
        for (uint32_t c = 0; c < 8; ++c)
        {
            if (!IntegerOrNull(row, c + 1, &values[c]) || (c < 6 && !AddMagnitude(&magnitude, values[c])))
                return fits = false;
        }
        // Runs come by number, which mostly follows their start: the day before is usually the one.
        const int64_t dayNumber = start / vxtime::kTicksPerDay;
        if (day == m_summary.days.end() || day->first != dayNumber)
            day = m_summary.days.try_emplace(dayNumber).first;
        const int64_t sums[6] = {values[0], values[1], values[2], values[3], values[4], values[5]};
        day->second.Add(start, sums, values[6] > 0 || values[7] > 0);
        return true;
    });
    // A failure leaves it unusable until the file or the user changes; the statements answer meanwhile.
    if (!ok || !fits)
    {
        m_summary.days.clear();
        return;
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
    m_summary.days[start / vxtime::kTicksPerDay].Add(start, values,
                                                     run.heartRateBefore > 0 || run.heartRateAfter > 0);
}

bool KvtDatabase::SummaryDaySums(int64_t start, int64_t end, DaySums *total)
{
    // Whole days only (every period of the pages is); anything else goes to the statement.
    if (start < 0 || end < 0 || start % vxtime::kTicksPerDay != 0 || end % vxtime::kTicksPerDay != 0 ||
        !SummaryReady())
        return false;
    *total = DaySums{};
    const int64_t endDay = end / vxtime::kTicksPerDay;
    for (auto it = m_summary.days.lower_bound(start / vxtime::kTicksPerDay);
         it != m_summary.days.end() && it->first < endDay; ++it)
    {
        total->runDistance += it->second.runDistance;
        total->walkDistance += it->second.walkDistance;
        total->duration += it->second.duration;
        total->unsignedRunDistance += it->second.unsignedRunDistance;
        total->unsignedWalkDistance += it->second.unsignedWalkDistance;
        total->unsignedDuration += it->second.unsignedDuration;
        total->walkSteps += it->second.walkSteps;
        total->runSteps += it->second.runSteps;
        total->calories += it->second.calories;
        total->count += it->second.count;
    }
    return true;
}

bool KvtDatabase::SummaryPeriod(int64_t start, int64_t end, PeriodSums *sums)
{
    DaySums total;
    if (!SummaryDaySums(start, end, &total))
        return false;
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
