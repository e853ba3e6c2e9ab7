#include "store/PackedDate.h"

#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"

namespace vxtime
{
namespace
{
bool Today(int *year, int *month, int *day)
{
    vxsys::LocalFields now{};
    if (!vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &now))
        return false;
    *year = now.year;
    *month = now.month;
    *day = now.day;
    return true;
}

// The range the goal and age sums accept: the years the local-time rules could form, any day 1-31.
bool InSumRange(uint32_t date)
{
    const int year = PackedYear(date);
    const int month = PackedMonth(date);
    const int day = PackedDay(date);
    return year >= 1970 && year <= 3000 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

int64_t DayNumber(uint32_t date)
{
    return DaysFromCivil(PackedYear(date), static_cast<unsigned>(PackedMonth(date)),
                         static_cast<unsigned>(PackedDay(date)));
}

bool Fits(int64_t year)
{
    return year >= 0 && year <= 0xFFFF;
}

int MonthLength(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}
} // namespace

uint32_t PackDate(const DateParts &date)
{
    return PackDate(date.year, date.month, date.day);
}

DateParts UnpackDate(uint32_t packed)
{
    return DateParts{static_cast<uint8_t>(PackedDay(packed)), static_cast<uint8_t>(PackedMonth(packed)),
                     static_cast<uint16_t>(PackedYear(packed))};
}

int IsValidPackedDate(uint32_t date)
{
    const int year = PackedYear(date);
    const int month = PackedMonth(date);
    const int day = PackedDay(date);
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return 0;
    int thisYear = 0, thisMonth = 0, today = 0;
    if (!Today(&thisYear, &thisMonth, &today))
        return 0;
    if (year <= thisYear - 120)
        return 0;
    return day <= MonthLength(year, month) ? 1 : 0;
}

int CompareWithToday(uint32_t date)
{
    int year = 0, month = 0, day = 0;
    if (!Today(&year, &month, &day))
        return 0;
    const uint32_t today = PackDate(year, month, day);
    return date > today ? 1 : date == today ? 0 : -1;
}

int AgeFromPackedDate(uint32_t dateOfBirth)
{
    if (!IsValidPackedDate(dateOfBirth))
        return 0;
    int year = 0, month = 0, day = 0;
    if (!Today(&year, &month, &day))
        return 0;
    int age = year - PackedYear(dateOfBirth);
    const int birthMonth = PackedMonth(dateOfBirth);
    if (birthMonth > month || (birthMonth == month && PackedDay(dateOfBirth) > day))
        --age;
    return age;
}

int DaysBetweenPackedDates(uint32_t first, uint32_t second, int *days, int *count)
{
    if (!days || !count)
        return 0;
    *days = 0;
    *count = 1;
    if (!InSumRange(first) || !InSumRange(second))
        return 0;
    const int64_t from = DayNumber(first);
    const int64_t to = DayNumber(second);
    if (to < from)
        return 0;
    *days = static_cast<int>(to - from);
    return 1;
}

int ShiftPackedDate(uint32_t date, int64_t days, uint32_t *out)
{
    if (!out || !InSumRange(date))
        return 0;
    // Far beyond any packed year; keeps the day sum from overflowing.
    constexpr int64_t kLimit = int64_t{1} << 40;
    if (days > kLimit || days < -kLimit)
        return 0;
    const CivilDate end = CivilFromDays(DayNumber(date) + days);
    if (!Fits(end.year))
        return 0;
    *out = PackDate(static_cast<int>(end.year), static_cast<int>(end.month), static_cast<int>(end.day));
    return 1;
}

int AddToPackedDate(int count, int unit, uint32_t date, uint32_t *out)
{
    if (!out || count < 1 || !InSumRange(date))
        return 0;
    if (unit != 3 && unit != 4)
        return ShiftPackedDate(date, static_cast<int64_t>(count) * (unit == 2 ? 7 : 1), out);

    int64_t year = PackedYear(date);
    int month = PackedMonth(date);
    if (unit == 3)
    {
        const int64_t total = static_cast<int64_t>(month) + count - 1;
        year += total / 12;
        month = static_cast<int>(total % 12) + 1;
    }
    else
    {
        year += count;
    }
    if (!Fits(year))
        return 0;
    const int length = MonthLength(static_cast<int>(year), month);
    int day = PackedDay(date);
    if (day > length)
        day = length;
    *out = PackDate(static_cast<int>(year), month, day);
    return 1;
}
} // namespace vxtime
