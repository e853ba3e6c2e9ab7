#include "store/PackedDate.h"

#include "platform/sys/LocalTime.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

using namespace vxtime;

namespace
{
constexpr uint32_t P(int year, int month, int day)
{
    return PackDate(year, month, day);
}

// "Now" pinned to a local date and time of the zone in force.
class ScopedToday
{
  public:
    ScopedToday(int year, int month, int day, int hour = 12, int minute = 0)
    {
        int64_t now = 0;
        EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, minute, 0, 0}, &now));
        vxsys::SetCurrentTimeSource([now] { return now; });
    }
    explicit ScopedToday(int64_t now) { vxsys::SetCurrentTimeSource([now] { return now; }); }
    ~ScopedToday() { vxsys::SetCurrentTimeSource({}); }
    ScopedToday(const ScopedToday &) = delete;
    ScopedToday &operator=(const ScopedToday &) = delete;
};

TEST(PackedDate, PackAndUnpackAreOneLayout)
{
    EXPECT_EQ(P(2009, 3, 29), 0x07D9031Du);
    const DateParts parts{29, 3, 2009};
    EXPECT_EQ(PackDate(parts), 0x07D9031Du);
    const DateParts back = UnpackDate(0x07D9031Du);
    EXPECT_EQ(back.day, 29);
    EXPECT_EQ(back.month, 3);
    EXPECT_EQ(back.year, 2009);
    EXPECT_EQ(PackedYear(0xFFFF0C1Fu), 65535);
    EXPECT_EQ(PackedMonth(0xFFFF0C1Fu), 12);
    EXPECT_EQ(PackedDay(0xFFFF0C1Fu), 31);
    // Calendar order is numeric order.
    EXPECT_LT(P(2008, 12, 31), P(2009, 1, 1));
    EXPECT_LT(P(2009, 1, 31), P(2009, 2, 1));
}

TEST(PackedDate, Validity)
{
    ScopedToday today(2009, 6, 15);
    const struct
    {
        uint32_t date;
        int valid;
    } cases[] = {
        {P(2009, 6, 15), 1},
        {P(1890, 1, 1), 1},  // 119 years back
        {P(1889, 12, 31), 0}, // exactly 120 years back
        {P(1700, 1, 1), 0},
        {P(9999, 12, 31), 1}, // no upper limit
        {P(2009, 0, 10), 0},
        {P(2009, 13, 10), 0},
        {P(2009, 5, 0), 0},
        {P(2009, 5, 32), 0},
        {P(2009, 4, 31), 0},
        {P(2009, 6, 31), 0},
        {P(2009, 9, 31), 0},
        {P(2009, 11, 31), 0},
        {P(2009, 12, 31), 1},
        {P(2009, 4, 30), 1},
        {P(2008, 2, 29), 1},
        {P(2009, 2, 29), 0},
        {P(2009, 2, 28), 1},
        {P(2000, 2, 29), 1},
        {P(2100, 2, 29), 0},
        {P(2400, 2, 29), 1},
        {P(2008, 2, 30), 0},
        {0, 0},
        {0xFFFFFFFFu, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsValidPackedDate(c.date), c.valid) << std::hex << c.date;
}

TEST(PackedDate, TodayIsTheLocalDateOfTheReplaceableClock)
{
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    // 2009-12-31 23:30 UTC is already New Year's Day in Berlin.
    ScopedToday now(int64_t{1262302200});
    EXPECT_EQ(CompareWithToday(P(2010, 1, 1)), 0);
    EXPECT_EQ(CompareWithToday(P(2009, 12, 31)), -1);
    EXPECT_EQ(CompareWithToday(P(2010, 1, 2)), 1);
    EXPECT_EQ(CompareWithToday(P(2011, 1, 1)), 1);
    EXPECT_EQ(CompareWithToday(P(2009, 12, 32)), -1); // compared as a number, not checked
    EXPECT_EQ(AgeFromPackedDate(P(1970, 1, 1)), 40);
    // 120 years are counted from the local year 2010.
    EXPECT_EQ(IsValidPackedDate(P(1890, 6, 1)), 0);
    EXPECT_EQ(IsValidPackedDate(P(1891, 1, 1)), 1);
}

TEST(PackedDate, Age)
{
    ScopedToday today(2009, 6, 15);
    const struct
    {
        uint32_t birth;
        int age;
    } cases[] = {
        {P(1979, 6, 15), 30}, // birthday today
        {P(1979, 6, 14), 30},
        {P(1979, 6, 16), 29}, // birthday tomorrow
        {P(1979, 5, 31), 30},
        {P(1979, 7, 1), 29},
        {P(2009, 6, 15), 0},
        {P(2009, 1, 1), 0},
        {P(2010, 1, 1), -1}, // a date still to come is valid and gives what the sum gives
        {P(1889, 1, 1), 0},  // not valid
        {P(1979, 2, 30), 0}, // not valid
    };
    for (const auto &c : cases)
        EXPECT_EQ(AgeFromPackedDate(c.birth), c.age) << std::hex << c.birth;
}

TEST(PackedDate, DaysBetween)
{
    const struct
    {
        uint32_t first, second;
        int result, days;
    } cases[] = {
        {P(2009, 6, 15), P(2009, 6, 15), 1, 0},
        {P(2009, 6, 15), P(2009, 6, 14), 0, 0},
        {P(2009, 6, 15), P(2009, 6, 16), 1, 1},
        {P(2009, 1, 1), P(2010, 1, 1), 1, 365},
        {P(2008, 1, 1), P(2009, 1, 1), 1, 366},
        {P(2008, 2, 28), P(2008, 3, 1), 1, 2},
        {P(2009, 2, 28), P(2009, 3, 1), 1, 1},
        {P(1970, 1, 1), P(3000, 12, 31), 1, 376564},
        // A day past the month's end counts on into the next month.
        {P(2009, 2, 31), P(2009, 3, 3), 1, 0},
        {P(2009, 2, 31), P(2009, 3, 2), 0, 0},
        {P(1969, 12, 31), P(2009, 1, 1), 0, 0},
        {P(2009, 1, 1), P(3001, 1, 1), 0, 0},
        {P(2009, 0, 1), P(2009, 2, 1), 0, 0},
        {P(2009, 1, 1), P(2009, 13, 1), 0, 0},
        {P(2009, 1, 0), P(2009, 2, 1), 0, 0},
        {P(2009, 1, 1), P(2009, 2, 32), 0, 0},
    };
    for (const char *tz : {"UTC", "Europe/Berlin", "XST-8"})
    {
        vxtest::ScopedTimeZone zone(tz);
        for (const auto &c : cases)
        {
            int days = -7, count = -7;
            EXPECT_EQ(DaysBetweenPackedDates(c.first, c.second, &days, &count), c.result)
                << tz << " " << std::hex << c.first << " " << c.second;
            EXPECT_EQ(days, c.days) << tz << " " << std::hex << c.first << " " << c.second;
            EXPECT_EQ(count, 1);
        }
    }
    int days = 0;
    EXPECT_EQ(DaysBetweenPackedDates(P(2009, 1, 1), P(2009, 1, 2), nullptr, &days), 0);
    EXPECT_EQ(DaysBetweenPackedDates(P(2009, 1, 1), P(2009, 1, 2), &days, nullptr), 0);
}

TEST(PackedDate, DaysBetweenCountsWholeDaysAcrossDaylightSaving)
{
    // Berlin moves its clocks on 29 March and 25 October 2009: a day of 23 and one of 25 hours.
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    const struct
    {
        uint32_t first, second;
        int days;
    } cases[] = {
        {P(2009, 3, 28), P(2009, 3, 30), 2},
        {P(2009, 3, 29), P(2009, 3, 30), 1},
        {P(2009, 3, 1), P(2009, 4, 1), 31},
        {P(2009, 1, 1), P(2010, 1, 1), 365},
        {P(2009, 10, 24), P(2009, 10, 26), 2},
        {P(2009, 10, 25), P(2009, 10, 26), 1},
    };
    for (const auto &c : cases)
    {
        int days = 0, count = 0;
        ASSERT_EQ(DaysBetweenPackedDates(c.first, c.second, &days, &count), 1);
        EXPECT_EQ(days, c.days) << std::hex << c.first << " " << c.second;
    }
}

TEST(PackedDate, AddPeriods)
{
    const struct
    {
        int count, unit;
        uint32_t date;
        int result;
        uint32_t end;
    } cases[] = {
        // Months keep the day, fitted to a shorter month.
        {1, 3, P(2008, 1, 31), 1, P(2008, 2, 29)},
        {1, 3, P(2009, 1, 31), 1, P(2009, 2, 28)},
        {1, 3, P(2009, 3, 31), 1, P(2009, 4, 30)},
        {2, 3, P(2009, 11, 30), 1, P(2010, 1, 30)},
        {3, 3, P(2009, 11, 30), 1, P(2010, 2, 28)},
        {3, 3, P(2010, 11, 30), 1, P(2011, 2, 28)},
        {3, 3, P(2011, 11, 30), 1, P(2012, 2, 29)},
        {1, 3, P(2009, 12, 15), 1, P(2010, 1, 15)},
        {12, 3, P(2009, 12, 15), 1, P(2010, 12, 15)},
        {13, 3, P(2009, 12, 15), 1, P(2011, 1, 15)},
        {1, 3, P(2009, 5, 31), 1, P(2009, 6, 30)},
        {1, 3, P(2009, 6, 30), 1, P(2009, 7, 30)},
        {1, 3, P(2099, 1, 29), 1, P(2099, 2, 28)},
        {1, 3, P(2100, 1, 29), 1, P(2100, 2, 28)},
        {1, 3, P(2000, 1, 29), 1, P(2000, 2, 29)},
        // Years.
        {1, 4, P(2008, 2, 29), 1, P(2009, 2, 28)},
        {4, 4, P(2008, 2, 29), 1, P(2012, 2, 29)},
        {1, 4, P(2009, 4, 30), 1, P(2010, 4, 30)},
        {1, 4, P(2009, 4, 31), 1, P(2010, 4, 30)},
        // Weeks and days step on the calendar.
        {2, 2, P(2009, 3, 16), 1, P(2009, 3, 30)},
        {1, 2, P(2009, 12, 28), 1, P(2010, 1, 4)},
        {1, 1, P(2008, 2, 28), 1, P(2008, 2, 29)},
        {1, 1, P(2009, 2, 28), 1, P(2009, 3, 1)},
        {1, 1, P(2009, 12, 31), 1, P(2010, 1, 1)},
        {365, 1, P(2009, 1, 1), 1, P(2010, 1, 1)},
        {1, 0, P(2009, 1, 1), 1, P(2009, 1, 2)},
        {1, 5, P(2009, 1, 1), 1, P(2009, 1, 2)},
        {1, -1, P(2009, 1, 1), 1, P(2009, 1, 2)},
        // A day past the month's end counts on, as a local-time sum carries it.
        {1, 1, P(2009, 2, 31), 1, P(2009, 3, 4)},
        // Refused inputs.
        {0, 1, P(2009, 1, 1), 0, 0},
        {-1, 3, P(2009, 1, 1), 0, 0},
        {1, 1, P(1969, 12, 31), 0, 0},
        {1, 1, P(3001, 1, 1), 0, 0},
        {1, 3, P(2009, 0, 1), 0, 0},
        {1, 3, P(2009, 13, 1), 0, 0},
        {1, 3, P(2009, 1, 0), 0, 0},
        {1, 3, P(2009, 1, 32), 0, 0},
        // Ends that cannot be packed.
        {INT_MAX, 1, P(2009, 1, 1), 0, 0},
        {INT_MAX, 2, P(2009, 1, 1), 0, 0},
        {INT_MAX, 3, P(2009, 1, 1), 0, 0},
        {INT_MAX, 4, P(2009, 1, 1), 0, 0},
        {63536, 4, P(2000, 1, 1), 0, 0},
        {63535, 4, P(2000, 1, 1), 1, P(65535, 1, 1)},
    };
    for (const auto &c : cases)
    {
        uint32_t end = 0;
        EXPECT_EQ(AddToPackedDate(c.count, c.unit, c.date, &end), c.result)
            << c.count << " x " << c.unit << " from " << std::hex << c.date;
        EXPECT_EQ(end, c.end) << c.count << " x " << c.unit << " from " << std::hex << c.date;
    }
    EXPECT_EQ(AddToPackedDate(1, 1, P(2009, 1, 1), nullptr), 0);
}

TEST(PackedDate, DayAndWeekStepsKeepTheCalendarAcrossDaylightSaving)
{
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    const struct
    {
        int count, unit;
        uint32_t date, end;
    } cases[] = {
        {10, 1, P(2009, 10, 20), P(2009, 10, 30)},
        {1, 1, P(2009, 10, 25), P(2009, 10, 26)},
        {1, 2, P(2009, 10, 20), P(2009, 10, 27)},
        {2, 1, P(2009, 3, 28), P(2009, 3, 30)},
        {1, 2, P(2009, 3, 25), P(2009, 4, 1)},
        {52, 2, P(2009, 1, 5), P(2010, 1, 4)},
    };
    for (const auto &c : cases)
    {
        uint32_t end = 0;
        ASSERT_EQ(AddToPackedDate(c.count, c.unit, c.date, &end), 1);
        EXPECT_EQ(end, c.end) << c.count << " x " << c.unit << " from " << std::hex << c.date;
    }
}

TEST(PackedDate, Shift)
{
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    const struct
    {
        uint32_t date;
        int64_t days;
        int result;
        uint32_t out;
    } cases[] = {
        {P(2009, 3, 30), -1, 1, P(2009, 3, 29)},
        {P(2009, 10, 26), -1, 1, P(2009, 10, 25)},
        {P(2009, 3, 1), -1, 1, P(2009, 2, 28)},
        {P(2008, 3, 1), -1, 1, P(2008, 2, 29)},
        {P(1970, 1, 1), -1, 1, P(1969, 12, 31)},
        {P(2009, 1, 1), 0, 1, P(2009, 1, 1)},
        {P(2009, 1, 1), INT64_MAX, 0, 0},
        {P(2009, 1, 1), INT64_MIN, 0, 0},
        {P(2009, 1, 1), -800000, 0, 0}, // before year 0
        {0, -1, 0, 0},
    };
    for (const auto &c : cases)
    {
        uint32_t out = 0;
        EXPECT_EQ(ShiftPackedDate(c.date, c.days, &out), c.result) << std::hex << c.date << " " << c.days;
        EXPECT_EQ(out, c.out) << std::hex << c.date << " " << c.days;
    }
}
} // namespace
