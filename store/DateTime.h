#pragma once

#include "store/DateParts.h"

#include <cstdint>

// Date-time values of the records store and their conversions.
//
// A date-time value counts 100-nanosecond ticks since 1601-01-01 00:00 of the local wall-clock date and
// time, taken as it stands (no time-zone shift). Unix seconds are what the on-line service exchanges: the
// conversion applies the zone's standard bias only, never a daylight bias.
namespace vxtime
{
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = 864000000000;
// The date-time value of 1970-01-01 00:00:00.
constexpr int64_t kUnixEpochTicks = 116444736000000000;

// Days since 1970-01-01 of a proleptic Gregorian date, month 1-12 and day from 1; a day past the
// month's end counts on into the next month, as a local-time conversion would carry it.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

struct CivilDate
{
    int64_t year;
    unsigned month;
    unsigned day;
};
// The date of a count of days since 1970-01-01 (negative counts lie before it).
CivilDate CivilFromDays(int64_t days);

// 1 for a leap year of the Gregorian calendar, else 0.
int IsLeapYear(int year);

// Codes of the weekday formula; -1 outside 1700-2599 (century) or for a month outside 1-12.
int8_t CenturyCode(int year);
int8_t MonthCode(int year, int month);

// 0 Sunday .. 6 Saturday for dates of 1700-2599; -1 for a null date or one the formula cannot take.
int8_t DayOfWeek(const DateParts *date);

// Midnight (or the given time) of a date as a date-time value. 1, or 0 when an input is null or the
// parts are out of range (year 1601-30827, month 1-12, day within the month, hour <= 23, minute and
// second <= 59).
int LocalDateToFileTime(const DateParts *date, int64_t *value);
int LocalTimeToFileTime(const DateParts *date, const TimeParts *time, int64_t *value);

// Split a value; a negative value cannot be converted and leaves the outputs unchanged. A null output
// is skipped.
void FileTimeToDate(int64_t value, DateParts *date);
void FileTimeToDateTime(int64_t value, DateParts *date, TimeParts *time);

// Between date-time values and the service's seconds since 1970, with the standard bias of the current
// time zone (TZ). Both return 1, or 0 for a null output.
int FileTimeToUnixLocal(int64_t value, int32_t *unixSeconds);
int UnixLocalToFileTime(int32_t unixSeconds, int64_t *value);

// First and last day of a month. 1, or 0 for a month outside 1-12 or a null output.
int DaysInMonth(int year, int month, DateParts *first, DateParts *last);

// Monday and Sunday of numbered week 1-52 of a year. Week numbers count from the week that holds
// 15 January, which carries the number that "%W" gives that day plus 1. 1, or 0 for a week outside 1-52
// or a null output; a day that cannot be formed as a local date (before 1970, after 3000, or a year the
// weekday formula cannot take) has all its fields 0.
int GetWeekRange(int year, int week, DateParts *first, DateParts *last);
} // namespace vxtime
