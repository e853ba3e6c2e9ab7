#include "platform/sys/LocalTime.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

using vxsys::LocalFields;

namespace
{
LocalFields F(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return LocalFields{year, month, day, hour, minute, second, 0};
}
} // namespace

TEST(LocalTime, FieldsToInstantTable)
{
    const struct
    {
        const char *tz;
        LocalFields fields;
        bool ok;
        int64_t seconds;
    } cases[] = {
        {"UTC", F(1970, 1, 1), true, 0},
        {"UTC", F(2009, 1, 1), true, 1230768000},
        {"XST-8", F(2009, 1, 1, 8), true, 1230768000},
        {"Europe/Berlin", F(2009, 1, 1, 1), true, 1230768000},
        {"Europe/Berlin", F(2009, 7, 1, 14), true, 1246449600}, // summer time: UTC+2
        {"UTC", F(3000, 12, 31, 23, 59, 59), true, 32535215999},
        // A day past the month's end is carried over: 31 February 2009 is 3 March.
        {"UTC", F(2009, 2, 31), true, 1236038400},
        {"UTC", F(2009, 4, 31, 12), true, 1241179200}, // 1 May 12:00
        // Before 1970 in UTC, and in a zone east of UTC also on its first local hours.
        {"UTC", F(1969, 12, 31, 23, 59, 59), false, 0},
        {"XST-8", F(1970, 1, 1, 7, 59, 59), false, 0},
        {"XST-8", F(1970, 1, 1, 8), true, 0},
        {"UTC", F(3001, 1, 1), false, 0},
        {"UTC", F(1899, 1, 1), false, 0},
        {"UTC", F(2009, 0, 1), false, 0},
        {"UTC", F(2009, 13, 1), false, 0},
        {"UTC", F(2009, 1, 0), false, 0},
        {"UTC", F(2009, 1, 32), false, 0},
        {"UTC", F(2009, 1, 1, 24), false, 0},
        {"UTC", F(2009, 1, 1, -1), false, 0},
        {"UTC", F(2009, 1, 1, 0, 60), false, 0},
        {"UTC", F(2009, 1, 1, 0, 0, 60), false, 0},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedTimeZone zone(c.tz);
        SCOPED_TRACE(testing::Message()
                     << c.tz << " " << c.fields.year << "-" << c.fields.month << "-" << c.fields.day << " "
                     << c.fields.hour << ":" << c.fields.minute << ":" << c.fields.second);
        int64_t seconds = -42;
        EXPECT_EQ(vxsys::LocalTimeFromFields(c.fields, &seconds), c.ok);
        EXPECT_EQ(seconds, c.ok ? c.seconds : -42);
    }
    EXPECT_FALSE(vxsys::LocalTimeFromFields(F(2009, 1, 1), nullptr));
}

TEST(LocalTime, InstantToFields)
{
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    LocalFields f{};
    ASSERT_TRUE(vxsys::LocalFieldsFromTime(1246449600, &f));
    EXPECT_EQ(f.year, 2009);
    EXPECT_EQ(f.month, 7);
    EXPECT_EQ(f.day, 1);
    EXPECT_EQ(f.hour, 14);
    EXPECT_EQ(f.minute, 0);
    EXPECT_EQ(f.second, 0);
    EXPECT_EQ(f.weekday, 3);

    vxtest::ScopedTimeZone east("XST-8");
    ASSERT_TRUE(vxsys::LocalFieldsFromTime(0, &f));
    EXPECT_EQ(f.year, 1970);
    EXPECT_EQ(f.hour, 8);
    EXPECT_FALSE(vxsys::LocalFieldsFromTime(0, nullptr));
}

TEST(LocalTime, ReplaceableNow)
{
    vxsys::SetCurrentTimeSource([] { return int64_t{1230768000}; });
    EXPECT_EQ(vxsys::CurrentTime(), 1230768000);
    vxsys::SetCurrentTimeSource({});
    // Back on the system clock: any time after this code was written.
    EXPECT_GT(vxsys::CurrentTime(), 1700000000);
}
