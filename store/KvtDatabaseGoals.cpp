#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include <algorithm>
#include <cstdint>

namespace
{
enum GoalKind
{
    kDistanceGoal = 0,
    kTimeGoal = 1,
    kCaloriesGoal = 2
};

// Time and calories goals carry this in place of a distance unit.
const int32_t kNoUnit = 255;

// The goal-list columns: GoalDistance, GoalDistanceUnit, GoalTime, GoalCalories, GoalTimeFrameFrom,
// GoalTimeFrameTo, GoalStatus, GoalID.
const char16_t kListGoals[] =
    u"Select GoalInfo.GoalDistance, GoalInfo.GoalDistanceUnit, GoalInfo.GoalTime, GoalInfo.GoalCalories, "
    u"GoalInfo.GoalTimeFrameFrom, GoalInfo.GoalTimeFrameTo, GoalInfo.GoalStatus, GoalInfo.GoalID from "
    u"GoalInfo "
    u"INNER JOIN Goal ON Goal.GoalID = GoalInfo.GoalID and Goal.UserID = '%s' ORDER BY GoalInfo.GoalID";

const char16_t kCurrentGoal[] =
    u"Select GoalInfo.GoalDistance, GoalInfo.GoalDistanceUnit, GoalInfo.GoalTime, GoalInfo.GoalCalories, "
    u"GoalInfo.GoalTimeFrameFrom, GoalInfo.GoalTimeFrameTo, GoalInfo.GoalStatus, GoalInfo.GoalID from "
    u"GoalInfo "
    u"INNER JOIN Goal ON Goal.GoalID = GoalInfo.GoalID and Goal.UserID = '%s' and GoalInfo.GoalID = (select "
    u"max(Goal.GoalID) from Goal where Goal.UserID='%s')";

int32_t I32(uint32_t value)
{
    return static_cast<int32_t>(value);
}
} // namespace

int KvtDatabase::AddDistanceGoal(uint32_t distance, uint8_t unit, const DateParts *start,
                                 const DateParts *end)
{
    return AddGoal(kDistanceGoal, distance, unit, start, end);
}

int KvtDatabase::AddTimeGoal(uint32_t seconds, const DateParts *start, const DateParts *end)
{
    return AddGoal(kTimeGoal, seconds, 0, start, end);
}

int KvtDatabase::AddCaloriesGoal(uint32_t calories, const DateParts *start, const DateParts *end)
{
    return AddGoal(kCaloriesGoal, calories, 0, start, end);
}

int KvtDatabase::UpdateDistanceGoal(int32_t goalId, uint32_t distance, uint8_t unit, const DateParts *start,
                                    const DateParts *end)
{
    return UpdateGoal(kDistanceGoal, goalId, distance, unit, start, end);
}

int KvtDatabase::UpdateTimeGoal(int32_t goalId, uint32_t seconds, const DateParts *start,
                                const DateParts *end)
{
    return UpdateGoal(kTimeGoal, goalId, seconds, 0, start, end);
}

int KvtDatabase::UpdateCaloriesGoal(int32_t goalId, uint32_t calories, const DateParts *start,
                                    const DateParts *end)
{
    return UpdateGoal(kCaloriesGoal, goalId, calories, 0, start, end);
}

int KvtDatabase::AddGoal(int kind, uint32_t target, uint8_t unit, const DateParts *start,
                         const DateParts *end)
{
    if (!IsLoggedIn() || target == 0 || !start || !end || !Begin())
        return 0;
    int64_t from = 0;
    int64_t to = 0;
    if (!LocalDateToFileTime(start, &from) || !LocalDateToFileTime(end, &to) || to <= from)
    {
        End();
        return 0;
    }

    // Goal numbers are unique over all users.
    int64_t count = 0;
    if (!Exec(u"Select count(*) from Goal"))
    {
        Rollback();
        return 0;
    }
    m_table.GetInt64(0, 0, &count);
    int64_t goalId = 0;
    if (count != 0)
    {
        int64_t max = 0;
        if (!Exec(u"Select max( GoalID ) from Goal"))
        {
            Rollback();
            return 0;
        }
        m_table.GetInt64(0, 0, &max);
        goalId = max + 1;
    }
    // The number is stored as 32 bits: past the top it would repeat a number in use.
    if (goalId > INT32_MAX)
    {
        Rollback();
        return 0;
    }
    const int32_t id = static_cast<int32_t>(goalId);

    int ok = Exec(u"Insert into Goal values ( '%s', %i )", {CurrentUser(), id});
    if (ok)
    {
        switch (kind)
        {
        case kDistanceGoal:
            ok = Exec(u"Insert into GoalInfo values ( %i, %i, %i, NULL, NULL, %i, %i, %I64i, %I64i, %i )",
                      {id, I32(target), unit, 0, 1, from, to, 0});
            break;
        case kTimeGoal:
            ok = Exec(u"Insert into GoalInfo values ( %i, NULL, %i, %i, NULL, %i, %i, %I64i, %I64i, %i )",
                      {id, kNoUnit, I32(target), 0, 1, from, to, 0});
            break;
        default:
            ok = Exec(u"Insert into GoalInfo values ( %i, NULL, %i, NULL, %i, %i, %i, %I64i, %I64i, %i )",
                      {id, kNoUnit, I32(target), 0, 1, from, to, 0});
            break;
        }
    }
    if (!ok)
    {
        Rollback();
        return 0;
    }
    return Commit();
}

int KvtDatabase::UpdateGoal(int kind, int32_t goalId, uint32_t target, uint8_t unit, const DateParts *start,
                            const DateParts *end)
{
    if (!IsLoggedIn() || target == 0 || !start || !end)
        return 0;
    if (!Begin())
    {
        End();
        return 0;
    }
    // The order of the dates is left to the goal page here.
    int64_t from = 0;
    int64_t to = 0;
    if (!LocalDateToFileTime(start, &from) || !LocalDateToFileTime(end, &to))
    {
        End();
        return 0;
    }
    // Only a goal of the logged-in user is rewritten.
    int ok;
    switch (kind)
    {
    case kDistanceGoal:
        ok = Exec(
            u"Update GoalInfo set GoalDistance = %i, GoalDistanceUnit = %i, GoalTime = NULL, GoalCalories "
            u"= NULL, GoalTimeFrame = %i, GoalTimeFrameType = %i, GoalTimeFrameFrom = %I64i, "
            u"GoalTimeFrameTo = %I64i, GoalStatus = %i where GoalID = %i and GoalID in (Select Goal.GoalID "
            u"from Goal where Goal.UserID = '%s')",
            {I32(target), unit, 0, 1, from, to, 0, goalId, CurrentUser()});
        break;
    case kTimeGoal:
        ok = Exec(
            u"Update GoalInfo set GoalDistance = NULL, GoalDistanceUnit = %i, GoalTime = %i, GoalCalories "
            u"= NULL, GoalTimeFrame = %i, GoalTimeFrameType = %i, GoalTimeFrameFrom = %I64i, "
            u"GoalTimeFrameTo = %I64i, GoalStatus = %i where GoalID = %i and GoalID in (Select Goal.GoalID "
            u"from Goal where Goal.UserID = '%s')",
            {kNoUnit, I32(target), 0, 1, from, to, 0, goalId, CurrentUser()});
        break;
    default:
        ok = Exec(
            u"Update GoalInfo set GoalDistance = NULL, GoalDistanceUnit = %i, GoalTime = NULL, "
            u"GoalCalories = %i, GoalTimeFrame = %i, GoalTimeFrameType = %i, GoalTimeFrameFrom = %I64i, "
            u"GoalTimeFrameTo = %I64i, GoalStatus = %i where GoalID = %i and GoalID in (Select Goal.GoalID "
            u"from Goal where Goal.UserID = '%s')",
            {kNoUnit, I32(target), 0, 1, from, to, 0, goalId, CurrentUser()});
        break;
    }
    if (!ok)
    {
        Rollback();
        return 0;
    }
    return Commit();
}

int KvtDatabase::DeleteGoal(int32_t goalId)
{
    if (!IsLoggedIn() || !Begin())
        return 0;
    // The values go first, while the owner row still tells whose they are.
    if (!Exec(u"Delete from GoalInfo where GoalID = %i and GoalID in (Select Goal.GoalID from Goal where "
              u"Goal.UserID = '%s')",
              {goalId, CurrentUser()}) ||
        !Exec(u"Delete from Goal where GoalID = %i and UserID = '%s'", {goalId, CurrentUser()}))
    {
        Rollback();
        return 0;
    }
    return Commit();
}

void KvtDatabase::ReadGoalRow(uint32_t row, GoalRecord *goal) const
{
    auto number = [&](uint32_t column, int64_t fallback) {
        int64_t value = fallback;
        m_table.GetInt64(row, column, &value);
        return value;
    };
    auto date = [&](uint32_t column) {
        DateParts parts{0, 0, 0};
        int64_t value = 0;
        if (m_table.GetInt64(row, column, &value))
            vxtime::FileTimeToDate(value, &parts);
        return parts;
    };
    GoalRecord read{};
    read.distance = static_cast<uint32_t>(number(0, 0));
    read.distanceUnit = static_cast<uint8_t>(number(1, 0));
    read.time = static_cast<uint32_t>(number(2, 0));
    read.calories = static_cast<uint32_t>(number(3, 0));
    read.start = date(4);
    read.end = date(5);
    read.status = static_cast<uint8_t>(number(6, 0));
    read.goalId = static_cast<int32_t>(number(7, -1));
    read.timeFrame = 0;
    read.timeFrameType = 1;
    *goal = read;
}

void KvtDatabase::FillGoalProgress(GoalRecord *goal)
{
    goal->doneDistance = 0;
    goal->doneDuration = 0;
    goal->doneCalories = 0;
    int64_t from = 0;
    int64_t to = 0;
    PeriodSums sums;
    if (!LocalDateToFileTime(&goal->start, &from) || !LocalDateToFileTime(&goal->end, &to) ||
        !SumPeriod(from, to, &sums))
        return;
    goal->doneDistance = sums.runDistance + sums.walkDistance;
    goal->doneDuration = sums.duration;
    goal->doneCalories = sums.calories;
}

int KvtDatabase::GetGoals(GoalRecord *goals, int32_t capacity)
{
    if (!IsLoggedIn())
        return -1;
    Begin();
    int result;
    if (!goals)
    {
        int64_t count = 0;
        if (Exec(u"Select count(*) from GoalInfo INNER JOIN Goal ON Goal.GoalID = GoalInfo.GoalID and "
                 u"Goal.UserID "
                 u"= '%s'",
                 {CurrentUser()}))
        {
            m_table.GetInt64(0, 0, &count);
            result = static_cast<int>(count);
        }
        else
        {
            result = -1;
        }
    }
    else if (!Exec(kListGoals, {CurrentUser()}))
    {
        result = -1;
    }
    else
    {
        // The rows are copied out first: each progress sum reuses the result table.
        const uint32_t rows =
            std::min<uint32_t>(m_table.GetRowCount(), capacity > 0 ? static_cast<uint32_t>(capacity) : 0);
        for (uint32_t i = 0; i < rows; ++i)
            ReadGoalRow(i, &goals[i]);
        for (uint32_t i = 0; i < rows; ++i)
            FillGoalProgress(&goals[i]);
        result = static_cast<int>(rows);
    }
    End();
    return result;
}

int KvtDatabase::GetCurrentGoal(GoalRecord *goal)
{
    if (!IsLoggedIn() || !goal)
        return 0;
    if (!Exec(kCurrentGoal, {CurrentUser(), CurrentUser()}))
        return 0;
    if (m_table.GetRowCount() != 1)
        return 1;
    ReadGoalRow(0, goal);
    FillGoalProgress(goal);
    return 1;
}
