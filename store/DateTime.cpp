#include "store/DateTime.h"

#include <ctime>

namespace vxtime
{
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

CivilDate CivilFromDays(int64_t z)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2 ? 1 : 0), m, d};
}

namespace
{
// Days between 1601-01-01 and 1970-01-01.
const int64_t kDays1601 = DaysFromCivil(1601, 1, 1);

int LastDayOfMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year))
        return 29;
    return kDays[month - 1];
}

int PartsToValue(const DateParts &date, int hour, int minute, int second, int64_t *value)
{
    const int year = date.year;
    const int month = date.month;
    const int day = date.day;
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 ||
        day > LastDayOfMonth(year, month))
        return 0;
    if (hour > 23 || minute > 59 || second > 59)
        return 0;
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDays1601;
    *value =
        days * kTicksPerDay + (static_cast<int64_t>(hour) * 3600 + minute * 60 + second) * kTicksPerSecond;
    return 1;
}

// The zone's standard offset in seconds west of UTC (Bias x 60).
long StandardBiasSeconds()
{
    tzset();
    return timezone;
}

// A day as a local date when the local-time rules can form it (1970-01-01 .. 3000-12-31), else zeros.
DateParts LocalDateOfDay(int64_t daysSince1970)
{
    static const int64_t kLastDay = DaysFromCivil(3000, 12, 31);
    if (daysSince1970 < 0 || daysSince1970 > kLastDay)
        return DateParts{0, 0, 0};
    const CivilDate c = CivilFromDays(daysSince1970);
    return DateParts{static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month),
                     static_cast<uint16_t>(c.year)};
}
} // namespace

int IsLeapYear(int year)
{
    return (year % 400 == 0 || (year % 4 == 0 && year % 100 != 0)) ? 1 : 0;
}

int8_t CenturyCode(int year)
{
    if (year < 1700 || year > 2599)
        return -1;
    static const int8_t kCodes[4] = {4, 2, 0, 6}; // 1700s, 1800s, 1900s, 2000s; repeats every 400 years
    return kCodes[(year / 100 - 17) % 4];
}

int8_t MonthCode(int year, int month)
{
    static const int8_t kCodes[12] = {0, 3, 3, 6, 1, 4, 6, 2, 5, 0, 3, 5};
    if (month < 1 || month > 12)
        return -1;
    if (IsLeapYear(year))
    {
        if (month == 1)
            return 6;
        if (month == 2)
            return 2;
    }
    return kCodes[month - 1];
}

int8_t DayOfWeek(const DateParts *date)
{
    if (!date)
        return -1;
    const int century = CenturyCode(date->year);
    const int month = MonthCode(date->year, date->month);
    if (century < 0 || month < 0)
        return -1;
    const int yy = date->year % 100;
    return static_cast<int8_t>((century + yy + yy / 4 + month + date->day) % 7);
}

int LocalDateToFileTime(const DateParts *date, int64_t *value)
{
    if (!date || !value)
        return 0;
    return PartsToValue(*date, 0, 0, 0, value);
}

int LocalTimeToFileTime(const DateParts *date, const TimeParts *time, int64_t *value)
{
    if (!date || !time || !value)
        return 0;
    return PartsToValue(*date, time->hour, time->minute, time->second, value);
}

void FileTimeToDate(int64_t value, DateParts *date)
{
    FileTimeToDateTime(value, date, nullptr);
}

void FileTimeToDateTime(int64_t value, DateParts *date, TimeParts *time)
{
    if (value < 0)
        return;
    const int64_t days = value / kTicksPerDay;
    const int64_t secondOfDay = (value % kTicksPerDay) / kTicksPerSecond;
    if (date)
    {
        const CivilDate c = CivilFromDays(days + kDays1601);
        *date = DateParts{static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month),
                          static_cast<uint16_t>(c.year)};
    }
    if (time)
    {
        *time =
            TimeParts{static_cast<uint8_t>(secondOfDay / 3600), static_cast<uint8_t>(secondOfDay / 60 % 60),
                      static_cast<uint8_t>(secondOfDay % 60)};
    }
}

int FileTimeToUnixLocal(int64_t value, int32_t *unixSeconds)
{
    if (!unixSeconds)
        return 0;
    // Whole seconds, rounded down also for a value before 1970.
    int64_t delta = value - kUnixEpochTicks;
    int64_t seconds = delta / kTicksPerSecond;
    if (delta % kTicksPerSecond < 0)
        --seconds;
    *unixSeconds =
        static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds + StandardBiasSeconds())));
    return 1;
}

int UnixLocalToFileTime(int32_t unixSeconds, int64_t *value)
{
    if (!value)
        return 0;
    *value = (static_cast<int64_t>(unixSeconds) - StandardBiasSeconds() + 11644473600LL) * kTicksPerSecond;
    return 1;
}

int DaysInMonth(int year, int month, DateParts *first, DateParts *last)
{
    if (month < 1 || month > 12 || !first || !last)
        return 0;
    *first = DateParts{1, static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
    *last = DateParts{static_cast<uint8_t>(LastDayOfMonth(year, month)), static_cast<uint8_t>(month),
                      static_cast<uint16_t>(year)};
    return 1;
}

int GetWeekRange(int year, int week, DateParts *first, DateParts *last)
{
    if (week < 1 || week > 52 || !first || !last)
        return 0;
    const DateParts jan15{15, 1, static_cast<uint16_t>(year)};
    const int d = DayOfWeek(&jan15);
    if (d < 0)
    {
        *first = DateParts{0, 0, 0};
        *last = DateParts{0, 0, 0};
        return 1;
    }
    // Days since the Monday on or before 15 January (its weekday counted from Monday).
    const int sinceMonday = (d + 6) % 7;
    // "%W" of 15 January (day 14 of the year): days before the year's first Monday are week 0.
    const int n = (14 + 7 - sinceMonday) / 7 + 1;
    // The reference Monday is the one that opens 15 January's own week, also when 15 January is a Sunday.
    const int64_t reference = DaysFromCivil(year, 1, 15) - sinceMonday;
    const int64_t start = reference + static_cast<int64_t>(week - n) * 7;
    *first = LocalDateOfDay(start);
    *last = LocalDateOfDay(start + 6);
    return 1;
}
} // namespace vxtime
