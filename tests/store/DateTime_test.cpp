#include "store/DateTime.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

using namespace vxtime;

namespace
{
DateParts D(int day, int month, int year)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

bool Same(const DateParts &a, const DateParts &b)
{
    return a.day == b.day && a.month == b.month && a.year == b.year;
}

::testing::AssertionResult DateIs(const DateParts &got, int day, int month, int year)
{
    if (Same(got, D(day, month, year)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << int(got.year) << "-" << int(got.month) << "-" << int(got.day) << ", expected " << year
           << "-" << month << "-" << day;
}

// The weekday (0 Sunday) and the "%W" number of a date, as the C library computes them.
struct LibcDay
{
    int wday;
    int weekW;
};

LibcDay Libc(int day, int month, int year)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    const time_t t = timegm(&tm);
    std::tm out{};
    gmtime_r(&t, &out);
    char buf[8];
    strftime(buf, sizeof buf, "%W", &out);
    return LibcDay{out.tm_wday, std::atoi(buf)};
}
} // namespace

TEST(DateTimeCalendar, LeapYears)
{
    EXPECT_EQ(IsLeapYear(2000), 1);
    EXPECT_EQ(IsLeapYear(2400), 1);
    EXPECT_EQ(IsLeapYear(2024), 1);
    EXPECT_EQ(IsLeapYear(1900), 0);
    EXPECT_EQ(IsLeapYear(2100), 0);
    EXPECT_EQ(IsLeapYear(2009), 0);
}

TEST(DateTimeCalendar, CenturyAndMonthCodes)
{
    const struct
    {
        int year;
        int code;
    } centuries[] = {{1699, -1}, {1700, 4}, {1799, 4}, {1800, 2}, {1900, 0}, {1999, 0}, {2000, 6},
                     {2099, 6},  {2100, 4}, {2200, 2}, {2300, 0}, {2400, 6}, {2599, 4}, {2600, -1}};
    for (const auto &c : centuries)
        EXPECT_EQ(CenturyCode(c.year), c.code) << c.year;

    const int common[12] = {0, 3, 3, 6, 1, 4, 6, 2, 5, 0, 3, 5};
    for (int m = 1; m <= 12; ++m)
    {
        EXPECT_EQ(MonthCode(2009, m), common[m - 1]) << m;
        EXPECT_EQ(MonthCode(2024, m), m == 1 ? 6 : m == 2 ? 2 : common[m - 1]) << m;
    }
    EXPECT_EQ(MonthCode(2009, 0), -1);
    EXPECT_EQ(MonthCode(2009, 13), -1);
}

TEST(DateTimeCalendar, DayOfWeekKnownDates)
{
    const struct
    {
        DateParts date;
        int weekday;
    } cases[] = {
        {D(1, 1, 2009), 4},  {D(29, 2, 2024), 4},  {D(15, 1, 2012), 0},  {D(1, 1, 2018), 1},
        {D(1, 1, 1700), 5},  {D(31, 12, 2599), 2}, {D(1, 3, 2000), 3},   {D(31, 12, 1699), -1},
        {D(1, 1, 2600), -1}, {D(1, 0, 2009), -1},  {D(1, 13, 2009), -1}, {D(0, 0, 0), -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DayOfWeek(&c.date), c.weekday)
            << c.date.year << "-" << int(c.date.month) << "-" << int(c.date.day);
    EXPECT_EQ(DayOfWeek(nullptr), -1);
}

TEST(DateTimeCalendar, DayOfWeekMatchesTheCalendarForEveryDay)
{
    // Walk every day of the formula's range by date-time value and compare with a running weekday.
    int64_t value = 0;
    DateParts start = D(1, 1, 1700);
    ASSERT_EQ(LocalDateToFileTime(&start, &value), 1);
    int expected = 5; // 1 January 1700 was a Friday
    int mismatches = 0;
    for (;; value += kTicksPerDay, expected = (expected + 1) % 7)
    {
        DateParts date{};
        FileTimeToDate(value, &date);
        if (date.year > 2599)
            break;
        if (DayOfWeek(&date) != expected && ++mismatches < 5)
            ADD_FAILURE() << date.year << "-" << int(date.month) << "-" << int(date.day);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(DateTimeCalendar, DaysInMonth)
{
    const struct
    {
        int year;
        int month;
        int lastDay;
    } cases[] = {{1900, 2, 28}, {2000, 2, 29}, {2024, 2, 29}, {2009, 2, 28}, {2009, 1, 31},
                 {2009, 4, 30}, {2009, 6, 30}, {2009, 7, 31}, {2009, 9, 30}, {2009, 12, 31}};
    for (const auto &c : cases)
    {
        DateParts first{}, last{};
        ASSERT_EQ(DaysInMonth(c.year, c.month, &first, &last), 1);
        EXPECT_TRUE(DateIs(first, 1, c.month, c.year));
        EXPECT_TRUE(DateIs(last, c.lastDay, c.month, c.year));
    }
    DateParts first = D(9, 9, 9), last = D(9, 9, 9);
    EXPECT_EQ(DaysInMonth(2009, 0, &first, &last), 0);
    EXPECT_EQ(DaysInMonth(2009, 13, &first, &last), 0);
    EXPECT_EQ(DaysInMonth(2009, 1, nullptr, &last), 0);
    EXPECT_EQ(DaysInMonth(2009, 1, &first, nullptr), 0);
    EXPECT_TRUE(DateIs(first, 9, 9, 9));
}

TEST(DateTimeValue, PartsToValueTable)
{
    const struct
    {
        DateParts date;
        TimeParts time;
        int ok;
        int64_t value;
    } cases[] = {
        {D(1, 1, 2009), {0, 0, 0}, 1, 128752416000000000},
        {D(1, 1, 2009), {12, 30, 0}, 1, 128752866000000000},
        {D(1, 1, 1970), {0, 0, 0}, 1, kUnixEpochTicks},
        {D(1, 1, 1601), {0, 0, 0}, 1, 0},
        {D(31, 12, 2008), {23, 59, 59}, 1, 128752416000000000 - kTicksPerSecond},
        {D(29, 2, 2008), {0, 0, 0}, 1, 128752416000000000 - 307 * kTicksPerDay},
        {D(31, 12, 30827), {23, 59, 59}, 1, 9223149887990000000LL},
        {D(31, 12, 1600), {0, 0, 0}, 0, 0},
        {D(1, 1, 30828), {0, 0, 0}, 0, 0},
        {D(1, 0, 2009), {0, 0, 0}, 0, 0},
        {D(1, 13, 2009), {0, 0, 0}, 0, 0},
        {D(0, 1, 2009), {0, 0, 0}, 0, 0},
        {D(29, 2, 2009), {0, 0, 0}, 0, 0},
        {D(31, 4, 2009), {0, 0, 0}, 0, 0},
        {D(1, 1, 2009), {24, 0, 0}, 0, 0},
        {D(1, 1, 2009), {0, 60, 0}, 0, 0},
        {D(1, 1, 2009), {0, 0, 60}, 0, 0},
        {D(0, 0, 0), {0, 0, 0}, 0, 0},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << c.date.year << "-" << int(c.date.month) << "-" << int(c.date.day) << " "
                     << int(c.time.hour) << ":" << int(c.time.minute) << ":" << int(c.time.second));
        int64_t value = -7;
        EXPECT_EQ(LocalTimeToFileTime(&c.date, &c.time, &value), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(value, c.value);
            DateParts date{};
            TimeParts time{};
            FileTimeToDateTime(value, &date, &time);
            EXPECT_TRUE(Same(date, c.date));
            EXPECT_EQ(time.hour, c.time.hour);
            EXPECT_EQ(time.minute, c.time.minute);
            EXPECT_EQ(time.second, c.time.second);
        }
        else
        {
            EXPECT_EQ(value, -7) << "a failed conversion must not write";
        }
    }

    int64_t value = 0;
    const DateParts date = D(1, 1, 2009);
    const TimeParts time{1, 2, 3};
    EXPECT_EQ(LocalDateToFileTime(&date, &value), 1);
    EXPECT_EQ(value, 128752416000000000);
    EXPECT_EQ(LocalDateToFileTime(nullptr, &value), 0);
    EXPECT_EQ(LocalDateToFileTime(&date, nullptr), 0);
    EXPECT_EQ(LocalTimeToFileTime(&date, nullptr, &value), 0);
    EXPECT_EQ(LocalTimeToFileTime(nullptr, &time, &value), 0);
    EXPECT_EQ(LocalTimeToFileTime(&date, &time, nullptr), 0);
}

TEST(DateTimeValue, NoTimeZoneShift)
{
    // The value is the wall-clock time read as UTC whatever the zone, daylight saving included.
    for (const char *tz : {"UTC", "XST-8", "Europe/Berlin"})
    {
        vxtest::ScopedTimeZone zone(tz);
        const DateParts date = D(1, 7, 2009);
        const TimeParts time{12, 0, 0};
        int64_t value = 0;
        ASSERT_EQ(LocalTimeToFileTime(&date, &time, &value), 1);
        EXPECT_EQ(value, kUnixEpochTicks + 1246449600LL * kTicksPerSecond) << tz;
    }
}

TEST(DateTimeValue, DayBoundaries)
{
    const int64_t midnight = 128752416000000000; // 2009-01-01 00:00:00
    const struct
    {
        int64_t value;
        DateParts date;
        TimeParts time;
    } cases[] = {
        {midnight, D(1, 1, 2009), {0, 0, 0}},
        {midnight - 1, D(31, 12, 2008), {23, 59, 59}},
        {midnight + kTicksPerDay - 1, D(1, 1, 2009), {23, 59, 59}},
        {midnight + kTicksPerDay, D(2, 1, 2009), {0, 0, 0}},
        {midnight + 9999999, D(1, 1, 2009), {0, 0, 0}},
        {0, D(1, 1, 1601), {0, 0, 0}},
        {INT64_MAX, D(14, 9, 30828), {2, 48, 5}},
    };
    for (const auto &c : cases)
    {
        DateParts date{};
        TimeParts time{};
        FileTimeToDateTime(c.value, &date, &time);
        EXPECT_TRUE(Same(date, c.date)) << c.value;
        EXPECT_EQ(time.hour, c.time.hour) << c.value;
        EXPECT_EQ(time.minute, c.time.minute) << c.value;
        EXPECT_EQ(time.second, c.time.second) << c.value;
        DateParts only{};
        FileTimeToDate(c.value, &only);
        EXPECT_TRUE(Same(only, c.date)) << c.value;
    }

    DateParts date = D(7, 7, 7);
    TimeParts time{7, 7, 7};
    FileTimeToDateTime(-1, &date, &time);
    FileTimeToDate(INT64_MIN, &date);
    EXPECT_TRUE(DateIs(date, 7, 7, 7));
    EXPECT_EQ(time.hour, 7);
    FileTimeToDateTime(midnight, nullptr, &time); // a null output is skipped
    EXPECT_EQ(time.hour, 0);
}

TEST(DateTimeUnix, StandardBiasOnly)
{
    const struct
    {
        const char *tz;
        DateParts date;
        TimeParts time;
        int32_t unixSeconds;
    } cases[] = {
        {"XST-8", D(1, 1, 2009), {8, 0, 0}, 1230768000},
        {"UTC", D(1, 1, 2009), {0, 0, 0}, 1230768000},
        {"Europe/Berlin", D(1, 1, 2009), {1, 0, 0}, 1230768000},
        // Summer time: still one hour, so the service sees an hour later than the true instant.
        {"Europe/Berlin", D(1, 7, 2009), {12, 0, 0}, 1246446000},
        {"XST-8", D(1, 1, 1970), {8, 0, 0}, 0},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedTimeZone zone(c.tz);
        int64_t value = 0;
        ASSERT_EQ(LocalTimeToFileTime(&c.date, &c.time, &value), 1);
        int32_t seconds = -1;
        EXPECT_EQ(FileTimeToUnixLocal(value, &seconds), 1);
        EXPECT_EQ(seconds, c.unixSeconds) << c.tz;
        int64_t back = 0;
        EXPECT_EQ(UnixLocalToFileTime(c.unixSeconds, &back), 1);
        EXPECT_EQ(back, value) << c.tz;
    }
}

TEST(DateTimeUnix, RoundTripDropsPartsOfASecond)
{
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    const int64_t value = 128752866000000000 + 9999999;
    int32_t seconds = 0;
    ASSERT_EQ(FileTimeToUnixLocal(value, &seconds), 1);
    int64_t back = 0;
    ASSERT_EQ(UnixLocalToFileTime(seconds, &back), 1);
    EXPECT_EQ(back, 128752866000000000);

    // Before 1970 the seconds still round down instead of wrapping.
    vxtest::ScopedTimeZone utc("UTC");
    ASSERT_EQ(FileTimeToUnixLocal(kUnixEpochTicks - 1, &seconds), 1);
    EXPECT_EQ(seconds, -1);
    EXPECT_EQ(FileTimeToUnixLocal(value, nullptr), 0);
    EXPECT_EQ(UnixLocalToFileTime(0, nullptr), 0);
}

TEST(DateTimeWeeks, KnownRanges)
{
    const struct
    {
        int year;
        int week;
        DateParts first;
        DateParts last;
    } cases[] = {
        {2009, 1, D(29, 12, 2008), D(4, 1, 2009)},
        {2009, 3, D(12, 1, 2009), D(18, 1, 2009)},
        {2009, 52, D(21, 12, 2009), D(27, 12, 2009)},
        // 15 January 2012 is a Sunday: its week is Monday 9 to Sunday 15 January.
        {2012, 1, D(26, 12, 2011), D(1, 1, 2012)},
        {2012, 2, D(2, 1, 2012), D(8, 1, 2012)},
        {2012, 3, D(9, 1, 2012), D(15, 1, 2012)},
        {2012, 52, D(17, 12, 2012), D(23, 12, 2012)},
        {2017, 1, D(26, 12, 2016), D(1, 1, 2017)},
        {2017, 3, D(9, 1, 2017), D(15, 1, 2017)},
        {2018, 1, D(25, 12, 2017), D(31, 12, 2017)},
        {2018, 2, D(1, 1, 2018), D(7, 1, 2018)},
        {2018, 52, D(17, 12, 2018), D(23, 12, 2018)},
        {2024, 1, D(25, 12, 2023), D(31, 12, 2023)},
        {2024, 2, D(1, 1, 2024), D(7, 1, 2024)},
        {2024, 52, D(16, 12, 2024), D(22, 12, 2024)},
    };
    for (const char *tz : {"UTC", "Europe/Berlin", "XST-8"})
    {
        vxtest::ScopedTimeZone zone(tz);
        for (const auto &c : cases)
        {
            SCOPED_TRACE(testing::Message() << tz << " " << c.year << " week " << c.week);
            DateParts first{}, last{};
            ASSERT_EQ(GetWeekRange(c.year, c.week, &first, &last), 1);
            EXPECT_TRUE(DateIs(first, c.first.day, c.first.month, c.first.year));
            EXPECT_TRUE(DateIs(last, c.last.day, c.last.month, c.last.year));
        }
    }
}

TEST(DateTimeWeeks, FifteenthOfJanuaryOpensItsNumberedWeek)
{
    // For every year and weekday of 15 January: the week numbered "%W" + 1 holds 15 January, runs
    // Monday to Sunday, and the weeks follow each other without gaps.
    for (int year = 1971; year <= 2400; ++year)
    {
        SCOPED_TRACE(year);
        const LibcDay jan15 = Libc(15, 1, year);
        DateParts first{}, last{};
        ASSERT_EQ(GetWeekRange(year, jan15.weekW + 1, &first, &last), 1);
        int64_t a = 0, b = 0, fifteenth = 0;
        const DateParts j = D(15, 1, year);
        ASSERT_EQ(LocalDateToFileTime(&first, &a), 1);
        ASSERT_EQ(LocalDateToFileTime(&last, &b), 1);
        ASSERT_EQ(LocalDateToFileTime(&j, &fifteenth), 1);
        EXPECT_LE(a, fifteenth);
        EXPECT_GE(b, fifteenth);
        EXPECT_EQ(b - a, 6 * kTicksPerDay);
        EXPECT_EQ(DayOfWeek(&first), 1);
        EXPECT_EQ(Libc(first.day, first.month, first.year).wday, 1);

        DateParts next{}, nextLast{};
        ASSERT_EQ(GetWeekRange(year, jan15.weekW + 2, &next, &nextLast), 1);
        int64_t n = 0;
        ASSERT_EQ(LocalDateToFileTime(&next, &n), 1);
        EXPECT_EQ(n - b, kTicksPerDay);
    }
}

TEST(DateTimeWeeks, RejectedAndUnformable)
{
    DateParts first = D(9, 9, 9), last = D(9, 9, 9);
    EXPECT_EQ(GetWeekRange(2009, 0, &first, &last), 0);
    EXPECT_EQ(GetWeekRange(2009, 53, &first, &last), 0);
    EXPECT_EQ(GetWeekRange(2009, 1, nullptr, &last), 0);
    EXPECT_EQ(GetWeekRange(2009, 1, &first, nullptr), 0);
    EXPECT_TRUE(DateIs(first, 9, 9, 9));

    // Week 1 of 1970 starts in 1969, which a local date cannot hold; its Sunday can.
    ASSERT_EQ(GetWeekRange(1970, 1, &first, &last), 1);
    EXPECT_TRUE(DateIs(first, 0, 0, 0));
    EXPECT_TRUE(DateIs(last, 4, 1, 1970));

    // Years the weekday formula does not take.
    ASSERT_EQ(GetWeekRange(2600, 10, &first, &last), 1);
    EXPECT_TRUE(DateIs(first, 0, 0, 0));
    EXPECT_TRUE(DateIs(last, 0, 0, 0));
    ASSERT_EQ(GetWeekRange(1500, 10, &first, &last), 1);
    EXPECT_TRUE(DateIs(first, 0, 0, 0));
}
