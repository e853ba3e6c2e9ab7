#include "device/WorkoutValidator.h"

#include "device/WorkoutFile.h"
#include "platform/sys/LocalTime.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/workout/WorkoutFileBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using vxtest::RecordAt;
using vxtest::WorkoutFileBuilder;
using vxtest::WorkoutRecordSpec;

namespace
{
// Friday 2012-06-15 10:30:00 in Berlin (summer time, UTC+2).
constexpr int64_t kNow = 1339749000;

DateParts D(int day, int month, int year)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

std::string Stamp(const WorkoutRecordSpec &r)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day, r.hour,
                  r.minute, r.second);
    return text;
}

class WorkoutValidation : public ::testing::Test
{
  protected:
    explicit WorkoutValidation(const char *tz = "Europe/Berlin") : m_zone(tz)
    {
        vxsys::SetCurrentTimeSource([] { return kNow; });
        context.readLastRun = [this](DateParts *date, TimeParts *time) {
            ++lastRunQueries;
            *date = storedDate;
            *time = storedTime;
            return 1;
        };
    }
    ~WorkoutValidation() override { vxsys::SetCurrentTimeSource({}); }

    // Validates a copy in a heap block of exactly the image's length, so that any read past the end is
    // caught, and brings the (possibly re-dated) bytes back.
    int Validate(std::vector<uint8_t> &image)
    {
        auto block = std::make_unique<uint8_t[]>(image.size());
        std::memcpy(block.get(), image.data(), image.size());
        const int result = ValidateWorkoutFile(context, block.get(), image.size());
        std::memcpy(image.data(), block.get(), image.size());
        return result;
    }

    vxtest::ScopedTimeZone m_zone;
    WorkoutValidationContext context;
    DateParts storedDate{};
    TimeParts storedTime{};
    int lastRunQueries = 0;
};

struct NormalCase
{
    const char *name;
    std::vector<WorkoutRecordSpec> records;
    DateParts storedDate;
    TimeParts storedTime;
    int expected;
};
} // namespace

TEST_F(WorkoutValidation, NormalModeTable)
{
    const DateParts none{};
    const TimeParts midnight{};
    const NormalCase cases[] = {
        {"no records", {}, none, midnight, 1},
        {"one good record", {RecordAt(2012, 6, 1, 7, 0, 0)}, none, midnight, 1},
        {"before 2009", {RecordAt(2008, 12, 31, 23, 59, 59)}, none, midnight, -4},
        {"first day of 2009", {RecordAt(2009, 1, 1, 0, 0, 0)}, none, midnight, 1},
        {"month 13 before a date rejection",
         {RecordAt(2011, 13, 1), RecordAt(2008, 1, 1)},
         none,
         midnight,
         0},
        {"date rejection before month 13", {RecordAt(2008, 1, 1), RecordAt(2011, 13, 1)}, none, midnight, -4},
        {"day 32", {RecordAt(2011, 1, 32)}, none, midnight, 0},
        {"hour 24", {RecordAt(2011, 1, 1, 24, 0, 0)}, none, midnight, 0},
        {"minute 60", {RecordAt(2011, 1, 1, 0, 60, 0)}, none, midnight, 0},
        {"second 60", {RecordAt(2011, 1, 1, 0, 0, 60)}, none, midnight, 0},
        {"year after next", {RecordAt(2014, 1, 1)}, none, midnight, 0},
        {"next year is only in the future", {RecordAt(2013, 12, 31)}, none, midnight, -4},
        {"equal to the last stored run", {RecordAt(2012, 5, 20, 18, 0, 0)}, D(20, 5, 2012), {18, 0, 0}, -4},
        {"one second after the last stored run",
         {RecordAt(2012, 5, 20, 18, 0, 1)},
         D(20, 5, 2012),
         {18, 0, 0},
         1},
        {"earlier on the stored run's day",
         {RecordAt(2012, 5, 20, 17, 59, 59)},
         D(20, 5, 2012),
         {18, 0, 0},
         -4},
        {"a day before the stored run", {RecordAt(2012, 5, 19, 23, 0, 0)}, D(20, 5, 2012), {18, 0, 0}, -4},
        {"a later record behind an old one",
         {RecordAt(2012, 5, 21), RecordAt(2012, 5, 1)},
         D(20, 5, 2012),
         {18, 0, 0},
         -4},
        {"now plus 24 hours", {RecordAt(2012, 6, 16, 10, 30, 0)}, none, midnight, -4},
        {"a second less than now plus 24 hours", {RecordAt(2012, 6, 16, 10, 29, 59)}, none, midnight, 1},
        {"day 0", {RecordAt(2012, 3, 0)}, none, midnight, 0},
        {"month 0", {RecordAt(2012, 0, 5)}, none, midnight, 0},
        {"day 0 not newer than the stored run", {RecordAt(2012, 5, 0)}, D(20, 5, 2012), {18, 0, 0}, -4},
        {"31 February is carried into March", {RecordAt(2012, 2, 31, 8, 0, 0)}, none, midnight, 1},
    };
    for (const NormalCase &c : cases)
    {
        SCOPED_TRACE(c.name);
        for (bool extended : {false, true})
        {
            WorkoutFileBuilder builder(extended);
            for (const WorkoutRecordSpec &r : c.records)
                builder.AddRecord(r);
            std::vector<uint8_t> image = builder.Build();
            const std::vector<uint8_t> before = image;
            storedDate = c.storedDate;
            storedTime = c.storedTime;
            context = WorkoutValidationContext{context.extendedHeader, false, {}, context.readLastRun};
            context.extendedHeader = extended;
            EXPECT_EQ(Validate(image), c.expected) << (extended ? "extended header" : "plain header");
            EXPECT_EQ(context.recordCount, static_cast<int>(c.records.size()));
            EXPECT_EQ(context.lastRunDate.year, c.storedDate.year);
            EXPECT_EQ(context.lastRunTime.hour, c.storedTime.hour);
            EXPECT_EQ(image, before) << "the normal mode never changes the image";
        }
    }
}

TEST_F(WorkoutValidation, MalformedImages)
{
    std::vector<uint8_t> exact = WorkoutFileBuilder().Build();
    ASSERT_EQ(exact.size(), 208u);
    EXPECT_EQ(Validate(exact), 1);

    std::vector<uint8_t> badSum =
        WorkoutFileBuilder().AddRecord(RecordAt(2012, 1, 1)).WrongCheckByte().Build();
    EXPECT_EQ(Validate(badSum), 0);

    // The extended header needs 220 bytes.
    context.extendedHeader = true;
    std::vector<uint8_t> plain = WorkoutFileBuilder().Trailing(11).Build();
    EXPECT_EQ(Validate(plain), 0);
    context.extendedHeader = false;

    // Three records announced, 65 bytes behind the header.
    std::vector<uint8_t> three =
        WorkoutFileBuilder().AddRecord(RecordAt(2012, 1, 1)).RecordCount(3).Trailing(32).Build();
    ASSERT_EQ(three.size(), 208u + 65);
    EXPECT_EQ(Validate(three), 0);
    EXPECT_EQ(context.recordCount, 3);

    // The largest count with nothing behind the header.
    std::vector<uint8_t> many = WorkoutFileBuilder().RecordCount(255).Build();
    EXPECT_EQ(Validate(many), 0);

    EXPECT_EQ(lastRunQueries, 1) << "only an image that holds its records asks for the last stored run";
    EXPECT_EQ(ValidateWorkoutFile(context, nullptr, 208), 0);
}

TEST_F(WorkoutValidation, LongerImagesUpToOneMebibyte)
{
    std::vector<uint8_t> trailing =
        WorkoutFileBuilder().AddRecord(RecordAt(2012, 1, 1)).Trailing(33 * 3, 0xFF).Build();
    EXPECT_EQ(Validate(trailing), 1);
    EXPECT_EQ(context.recordCount, 1);

    std::vector<uint8_t> limit = WorkoutFileBuilder().Trailing(kWorkoutFileMaxLength - 208).Build();
    ASSERT_EQ(limit.size(), kWorkoutFileMaxLength);
    EXPECT_EQ(Validate(limit), 1);

    std::vector<uint8_t> over = WorkoutFileBuilder().Trailing(kWorkoutFileMaxLength - 208 + 1).Build();
    EXPECT_EQ(Validate(over), 0);
}

// A store that cannot tell its latest run is no store without runs: records already stored would
// pass as new (or be re-dated from 2009 on) and be stored again. Both modes fail and leave the
// records as they were.
TEST_F(WorkoutValidation, AFailedLastRunQueryFailsTheValidation)
{
    context.readLastRun = [this](DateParts *date, TimeParts *time) {
        ++lastRunQueries;
        *date = D(9, 9, 2099);
        *time = TimeParts{9, 9, 9};
        return 0;
    };
    for (const bool redating : {false, true})
    {
        SCOPED_TRACE(redating ? "re-dating" : "normal");
        context.userDateSet = redating;
        context.userDate = D(14, 6, 2012);
        lastRunQueries = 0;
        const std::vector<uint8_t> original = WorkoutFileBuilder()
                                                  .AddRecord(RecordAt(2012, 1, 1))
                                                  .AddRecord(RecordAt(2012, 1, 1))
                                                  .AddRecord(RecordAt(2012, 1, 2))
                                                  .Build();
        std::vector<uint8_t> image = original;
        EXPECT_EQ(Validate(image), kWorkoutStoreFailed);
        EXPECT_EQ(lastRunQueries, 1);
        EXPECT_EQ(image, original);
    }

    // Without a store to ask there are no stored runs.
    context.readLastRun = nullptr;
    context.userDateSet = false;
    std::vector<uint8_t> image = WorkoutFileBuilder().AddRecord(RecordAt(2012, 1, 1)).Build();
    EXPECT_EQ(Validate(image), 1);
    EXPECT_EQ(context.lastRunDate.year, 0);
}

// ---- re-dating ------------------------------------------------------------------------------------

namespace
{
WorkoutRecordSpec Tagged(WorkoutRecordSpec r, uint32_t calories)
{
    r.calories = calories;
    r.duration = 1800;
    r.walkingSteps = calories * 10;
    return r;
}
} // namespace

TEST_F(WorkoutValidation, RedateThreeRecordsAnHourApartToToday)
{
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(2010, 2, 28, 22, 15, 0), 1))
                                     .AddRecord(Tagged(RecordAt(2010, 2, 28, 23, 15, 0), 2))
                                     .AddRecord(Tagged(RecordAt(2010, 3, 1, 0, 15, 0), 3))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    EXPECT_EQ(context.recordCount, 3);
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 0)), "2012-06-15 08:30:00");
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 1)), "2012-06-15 09:30:00");
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 2)), "2012-06-15 10:30:00");
    for (int i = 0; i < 3; ++i)
    {
        const WorkoutRecordSpec r = vxtest::ReadRecordSpec(image, 208, i);
        EXPECT_EQ(r.calories, static_cast<uint32_t>(i + 1)) << "only the date and time change";
        EXPECT_EQ(r.walkingSteps, static_cast<uint32_t>((i + 1) * 10));
        EXPECT_EQ(r.duration, 1800u);
    }
    EXPECT_EQ(image[207], 3);
}

TEST_F(WorkoutValidation, RedateIgnoresTheDateRules)
{
    // Records in the future and in the year after next are moved, not rejected.
    context.userDateSet = true;
    context.extendedHeader = true;
    context.userDate = D(14, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder(true)
                                     .AddRecord(Tagged(RecordAt(2030, 1, 1, 12, 0, 0), 1))
                                     .AddRecord(Tagged(RecordAt(2030, 1, 2, 12, 0, 0), 2))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    EXPECT_EQ(context.recordCount, 2);
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 220, 0)), "2012-06-13 10:30:00");
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 220, 1)), "2012-06-14 10:30:00");
}

TEST_F(WorkoutValidation, RedateClockNeverSetDropsAllButTheNewest)
{
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(1970, 1, 1, 0, 0, 5), 1))
                                     .AddRecord(Tagged(RecordAt(1970, 1, 1, 0, 0, 5), 2))
                                     .AddRecord(Tagged(RecordAt(1970, 1, 1, 0, 0, 5), 3))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    EXPECT_EQ(context.recordCount, 1);
    const WorkoutRecordSpec first = vxtest::ReadRecordSpec(image, 208, 0);
    EXPECT_EQ(first.calories, 3u) << "the newest record moved to the front";
    EXPECT_EQ(Stamp(first), "2012-06-15 10:30:00");
    EXPECT_EQ(image[207], 3) << "the count byte stays; the import uses the count left in the context";
}

TEST_F(WorkoutValidation, RedateDropsARecordWithoutGapAndMovesTheRestForward)
{
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(2011, 5, 5, 9, 0, 0), 1))
                                     .AddRecord(Tagged(RecordAt(2011, 5, 5, 10, 0, 0), 2))
                                     .AddRecord(Tagged(RecordAt(2011, 5, 5, 10, 0, 0), 3))
                                     .AddRecord(Tagged(RecordAt(2011, 5, 5, 11, 0, 0), 4))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    ASSERT_EQ(context.recordCount, 3);
    // Record 3 shares record 2's instant, so record 2 is dropped and record 1 is spaced from record 3.
    const WorkoutRecordSpec r0 = vxtest::ReadRecordSpec(image, 208, 0);
    const WorkoutRecordSpec r1 = vxtest::ReadRecordSpec(image, 208, 1);
    const WorkoutRecordSpec r2 = vxtest::ReadRecordSpec(image, 208, 2);
    EXPECT_EQ(r0.calories, 1u);
    EXPECT_EQ(r1.calories, 3u);
    EXPECT_EQ(r2.calories, 4u);
    EXPECT_EQ(Stamp(r0), "2012-06-15 08:30:00");
    EXPECT_EQ(Stamp(r1), "2012-06-15 09:30:00");
    EXPECT_EQ(Stamp(r2), "2012-06-15 10:30:00");
}

TEST_F(WorkoutValidation, RedateOntoTheLastStoredRunsDay)
{
    storedDate = D(10, 6, 2012);
    storedTime = TimeParts{18, 0, 0};
    context.userDateSet = true;
    context.userDate = D(10, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(2011, 1, 1, 9, 0, 0), 1))
                                     .AddRecord(Tagged(RecordAt(2011, 1, 1, 10, 0, 0), 2))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    // The newest lands one second after the stored run; the other would land before it and is dropped.
    ASSERT_EQ(context.recordCount, 1);
    const WorkoutRecordSpec r0 = vxtest::ReadRecordSpec(image, 208, 0);
    EXPECT_EQ(r0.calories, 2u);
    EXPECT_EQ(Stamp(r0), "2012-06-10 18:00:01");
    EXPECT_EQ(lastRunQueries, 1);
}

TEST_F(WorkoutValidation, RedateOneSecondAfterARunAtTheDaysLastSecond)
{
    storedDate = D(10, 6, 2012);
    storedTime = TimeParts{23, 59, 59};
    context.userDateSet = true;
    context.userDate = D(10, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(2011, 1, 1, 10, 0, 0), 1))
                                     .AddRecord(Tagged(RecordAt(2011, 1, 1, 10, 0, 1), 2))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    // The newest opens the next day instead of going back to the start of the stored run's day; the
    // other one would land on the stored run itself and is dropped.
    ASSERT_EQ(context.recordCount, 1);
    const WorkoutRecordSpec r0 = vxtest::ReadRecordSpec(image, 208, 0);
    EXPECT_EQ(r0.calories, 2u);
    EXPECT_EQ(Stamp(r0), "2012-06-11 00:00:00");
}

TEST_F(WorkoutValidation, RedateKeepsOnlyRecordsAfterTheBase)
{
    // A stored run gives the base; records that would land at or before it are dropped.
    storedDate = D(14, 6, 2012);
    storedTime = TimeParts{12, 0, 0};
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(2011, 6, 30, 10, 0, 0), 1)) // 14 June 08:30
                                     .AddRecord(Tagged(RecordAt(2011, 7, 1, 10, 0, 0), 2))  // 15 June 08:30
                                     .AddRecord(Tagged(RecordAt(2011, 7, 2, 10, 0, 0), 3)) // after the newest
                                     .AddRecord(Tagged(RecordAt(2011, 7, 1, 12, 0, 0), 4)) // 15 June 10:30
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    ASSERT_EQ(context.recordCount, 2);
    const WorkoutRecordSpec r0 = vxtest::ReadRecordSpec(image, 208, 0);
    const WorkoutRecordSpec r1 = vxtest::ReadRecordSpec(image, 208, 1);
    EXPECT_EQ(r0.calories, 2u);
    EXPECT_EQ(Stamp(r0), "2012-06-15 08:30:00");
    EXPECT_EQ(r1.calories, 4u);
    EXPECT_EQ(Stamp(r1), "2012-06-15 10:30:00");
}

TEST_F(WorkoutValidation, RedateNeverBefore2009)
{
    context.userDateSet = true;
    context.userDate = D(1, 1, 2009);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(2011, 7, 1, 8, 0, 0), 1))
                                     .AddRecord(Tagged(RecordAt(2011, 7, 1, 9, 0, 0), 2))
                                     .AddRecord(Tagged(RecordAt(2011, 7, 2, 9, 0, 0), 3))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    ASSERT_EQ(context.recordCount, 1);
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 0)), "2009-01-01 10:30:00");
}

TEST_F(WorkoutValidation, RedateWithoutRecords)
{
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder().Build();
    EXPECT_EQ(Validate(image), 1);
    EXPECT_EQ(context.recordCount, 0);
    EXPECT_EQ(lastRunQueries, 1);
}

TEST_F(WorkoutValidation, RedateRecordThatCannotBeALocalTime)
{
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image =
        WorkoutFileBuilder().AddRecord(RecordAt(2011, 0, 1)).AddRecord(RecordAt(2011, 1, 1)).Build();
    EXPECT_EQ(Validate(image), 0);
}

namespace
{
class WorkoutValidationEast : public WorkoutValidation
{
  protected:
    WorkoutValidationEast() : WorkoutValidation("XST-8") {}
};
} // namespace

TEST_F(WorkoutValidationEast, RedateRecordsOfANeverSetClockEastOfUtc)
{
    // 1970-01-01 00:00 local lies before 1970 in UTC here; the records are still spaced correctly.
    context.userDateSet = true;
    context.userDate = D(15, 6, 2012);
    std::vector<uint8_t> image = WorkoutFileBuilder()
                                     .AddRecord(Tagged(RecordAt(1970, 1, 1, 0, 0, 0), 1))
                                     .AddRecord(Tagged(RecordAt(1970, 1, 1, 0, 30, 0), 2))
                                     .AddRecord(Tagged(RecordAt(1970, 1, 1, 2, 0, 0), 3))
                                     .Build();
    EXPECT_EQ(Validate(image), 1);
    ASSERT_EQ(context.recordCount, 3);
    // Now is 16:30 in a zone of UTC+8.
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 0)), "2012-06-15 14:30:00");
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 1)), "2012-06-15 15:00:00");
    EXPECT_EQ(Stamp(vxtest::ReadRecordSpec(image, 208, 2)), "2012-06-15 16:30:00");
}

TEST_F(WorkoutValidationEast, NormalModeInAnotherZone)
{
    // Now is 2012-06-15 16:30:00 here: a record 24 hours ahead of that is rejected, one second less passes.
    std::vector<uint8_t> ahead = WorkoutFileBuilder().AddRecord(RecordAt(2012, 6, 16, 16, 30, 0)).Build();
    EXPECT_EQ(Validate(ahead), -4);
    std::vector<uint8_t> justBefore =
        WorkoutFileBuilder().AddRecord(RecordAt(2012, 6, 16, 16, 29, 59)).Build();
    EXPECT_EQ(Validate(justBefore), 1);
}
