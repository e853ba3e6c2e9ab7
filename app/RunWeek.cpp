#include "app/RunWeek.h"

#include "store/DateTime.h"

namespace
{
DateParts PartsOfDay(int64_t day)
{
    const vxtime::CivilDate c = vxtime::CivilFromDays(day);
    return DateParts{static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month),
                     static_cast<uint16_t>(c.year)};
}

int StoreWeekNumber(int64_t monday)
{
    const int64_t year = vxtime::CivilFromDays(monday).year;
    int gap = 0;
    for (int64_t y = year - 1; y <= year + 1; ++y)
    {
        // Week 26 lies well inside the year, so it always has a date even where week 1 would not.
        DateParts first{};
        DateParts last{};
        if (!vxtime::GetWeekRange(static_cast<int>(y), 26, &first, &last) || first.year == 0)
            continue;
        const int64_t firstDay = vxtime::DaysFromCivil(first.year, first.month, first.day);
        const int64_t diff = monday - firstDay;
        if (diff % 7 != 0)
            continue;
        const int64_t week = diff / 7 + 26;
        if (week >= 1 && week <= 52)
            return static_cast<int>(week);
        if (week == 53)
            gap = 53;
    }
    return gap;
}
} // namespace

RunWeek RunWeekOfDay(int64_t day)
{
    // 1970-01-01 was a Thursday: (day + 3) mod 7 counts the days since the Monday.
    const int64_t sinceMonday = ((day + 3) % 7 + 7) % 7;
    const int64_t monday = day - sinceMonday;
    RunWeek week;
    week.monday = PartsOfDay(monday);
    week.sunday = PartsOfDay(monday + 6);
    week.number = StoreWeekNumber(monday);
    return week;
}
