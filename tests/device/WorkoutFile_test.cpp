#include "device/WorkoutFile.h"

#include "tests/support/workout/WorkoutFileBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using vxtest::WorkoutFileBuilder;

namespace
{
vxtest::WorkoutRecordSpec DistinctRecord()
{
    vxtest::WorkoutRecordSpec r = vxtest::RecordAt(2011, 3, 14, 15, 9, 26);
    r.duration = 0x12345678;
    r.walkingSteps = 0x01020304;
    r.runningSteps = 0xA0B0C0D0;
    r.walkingDistance = 4000;
    r.runningDistance = 5001;
    r.calories = 321;
    r.heartRateBefore = 61;
    r.heartRateAfter = 142;
    return r;
}
} // namespace

TEST(WorkoutRecord, ReadsEveryFieldLittleEndian)
{
    const std::vector<uint8_t> image = WorkoutFileBuilder().AddRecord(DistinctRecord()).Build();
    // The duration sits at byte 7 of the record, not aligned.
    EXPECT_EQ(image[208 + 7], 0x78);
    EXPECT_EQ(image[208 + 10], 0x12);

    WorkoutRecord r{};
    ASSERT_TRUE(ReadWorkoutRecord(std::span<const uint8_t>(image).subspan(208), &r));
    EXPECT_EQ(r.year, 2011);
    EXPECT_EQ(r.month, 3);
    EXPECT_EQ(r.day, 14);
    EXPECT_EQ(r.hour, 15);
    EXPECT_EQ(r.minute, 9);
    EXPECT_EQ(r.second, 26);
    EXPECT_EQ(r.duration, 0x12345678u);
    EXPECT_EQ(r.walkingSteps, 0x01020304u);
    EXPECT_EQ(r.runningSteps, 0xA0B0C0D0u);
    EXPECT_EQ(r.walkingDistance, 4000u);
    EXPECT_EQ(r.runningDistance, 5001u);
    EXPECT_EQ(r.calories, 321u);
    EXPECT_EQ(r.heartRateBefore, 61);
    EXPECT_EQ(r.heartRateAfter, 142);
}

TEST(WorkoutRecord, WriteGivesTheSameBytes)
{
    const std::vector<uint8_t> image = WorkoutFileBuilder().AddRecord(DistinctRecord()).Build();
    WorkoutRecord r{};
    ASSERT_TRUE(ReadWorkoutRecord(std::span<const uint8_t>(image).subspan(208), &r));
    std::vector<uint8_t> out(33, 0xEE);
    ASSERT_TRUE(WriteWorkoutRecord(out, r));
    EXPECT_EQ(out, std::vector<uint8_t>(image.begin() + 208, image.end()));
}

TEST(WorkoutRecord, ShortBufferIsRefused)
{
    // An exact-size heap buffer, so that a read past its end would be reported.
    auto bytes = std::make_unique<uint8_t[]>(32);
    WorkoutRecord r{};
    r.year = 77;
    EXPECT_FALSE(ReadWorkoutRecord(std::span<const uint8_t>(bytes.get(), 32), &r));
    EXPECT_EQ(r.year, 77);
    EXPECT_FALSE(WriteWorkoutRecord(std::span<uint8_t>(bytes.get(), 32), r));
    EXPECT_FALSE(ReadWorkoutRecord(std::span<const uint8_t>(bytes.get(), 32), nullptr));
}

TEST(WorkoutHeader, ProfileRoundTrip)
{
    const std::u16string longName(60, u'x');
    std::vector<uint8_t> image(208, 0xAA);
    ASSERT_TRUE(WriteWorkoutProfile(image, WorkoutProfile{u"J\u00f6rg", longName, 41, 1, 0x01B3, 80}));
    EXPECT_EQ(image[1], 'J');
    EXPECT_EQ(image[2], 0);
    EXPECT_EQ(image[3], 0xF6);
    EXPECT_EQ(image[9], 0); // terminating zero after four characters
    EXPECT_EQ(image[10], 0);
    EXPECT_EQ(image[11], 0xAA); // the rest of the field is left as it was
    // The last name is cut to 49 characters and ends with a zero in the field's last two bytes.
    EXPECT_EQ(image[101 + 98], 0);
    EXPECT_EQ(image[101 + 99], 0);
    EXPECT_EQ(image[101 + 96], 'x');
    EXPECT_EQ(image[203], 0xB3);
    EXPECT_EQ(image[204], 0x01);
    EXPECT_EQ(image[206], 0xAA); // reserved byte untouched
    EXPECT_EQ(image[207], 0xAA); // record count untouched

    WorkoutProfile back{};
    ASSERT_TRUE(ReadWorkoutProfile(image, &back));
    EXPECT_EQ(back.firstName, u"J\u00f6rg");
    EXPECT_EQ(back.lastName, std::u16string(49, u'x'));
    EXPECT_EQ(back.age, 41);
    EXPECT_EQ(back.gender, 1);
    EXPECT_EQ(back.height, 0x01B3);
    EXPECT_EQ(back.weight, 80);

    std::vector<uint8_t> shortImage(207);
    EXPECT_FALSE(WriteWorkoutProfile(shortImage, back));
    EXPECT_FALSE(ReadWorkoutProfile(shortImage, &back));
}

TEST(WorkoutHeader, NameWithoutTerminatorStopsAtTheFieldEnd)
{
    std::vector<uint8_t> image(208, 'a');
    WorkoutProfile p{};
    ASSERT_TRUE(ReadWorkoutProfile(image, &p));
    EXPECT_EQ(p.firstName.size(), 50u);
    EXPECT_EQ(p.lastName.size(), 50u);
}

TEST(WorkoutHeader, ExtendedSettings)
{
    const struct
    {
        int walking;
        int running;
        uint8_t byte209;
        uint8_t byte210;
        int readRunning;
    } steps[] = {
        {95, 90, 95, 0, 95}, // a running step shorter than the walking step is not kept
        {70, 95, 70, 25, 95},
        {80, 80, 80, 0, 80},
        {300, 320, 44, 20, 64}, // only the low 8 bits of the walking step fit
    };
    for (const auto &s : steps)
    {
        std::vector<uint8_t> image(220, 0);
        WorkoutExtendedSettings in{1, s.walking, s.running, 2, 2, 7, 3, 0x5A, 0xA5, 0xFF, 2, 1};
        ASSERT_TRUE(WriteWorkoutExtendedSettings(image, in));
        EXPECT_EQ(image[209], s.byte209);
        EXPECT_EQ(image[210], s.byte210);
        EXPECT_EQ(image[217], 0x3F) << "bits 6 and 7 are written as 0";
        WorkoutExtendedSettings out{};
        ASSERT_TRUE(ReadWorkoutExtendedSettings(image, &out));
        EXPECT_EQ(out.walkingStep, s.byte209);
        EXPECT_EQ(out.runningStep, s.readRunning);
        EXPECT_EQ(out.placement, 1);
        EXPECT_EQ(out.firmwareMajor, 2);
        EXPECT_EQ(out.firmwareMinor, 2);
        EXPECT_EQ(out.firmwareBuild, 7);
        EXPECT_EQ(out.language, 3);
        EXPECT_EQ(out.deviceValueA, 0x5A);
        EXPECT_EQ(out.deviceValueB, 0xA5);
        EXPECT_EQ(out.volume, 2);
        EXPECT_EQ(out.doubleTapSpeed, 1);
    }
    std::vector<uint8_t> plain(208 + 11, 0);
    WorkoutExtendedSettings s{};
    EXPECT_FALSE(WriteWorkoutExtendedSettings(plain, s));
    EXPECT_FALSE(ReadWorkoutExtendedSettings(plain, &s));
}

TEST(WorkoutChecksum, MakesTheImageSumToZero)
{
    const std::vector<uint8_t> image =
        WorkoutFileBuilder(true).FirstName(u"Ann").AddRecord(DistinctRecord()).Trailing(5, 0x7F).Build();
    EXPECT_EQ(WorkoutChecksum(image.data() + 1, image.size() - 1), image[0]);
    EXPECT_TRUE(VerifyWorkoutChecksum(image.data() + 1, image.size() - 1, image[0]));
    EXPECT_FALSE(
        VerifyWorkoutChecksum(image.data() + 1, image.size() - 1, static_cast<uint8_t>(image[0] + 1)));

    const uint8_t bytes[] = {0x01, 0x02, 0xFF};
    EXPECT_EQ(WorkoutChecksum(bytes, 3), 0xFE); // 0x102 -> 0x02 -> 0x100 - 0x02
    EXPECT_TRUE(VerifyWorkoutChecksum(bytes, 3, 0xFE));
    const uint8_t zeros[4] = {};
    EXPECT_EQ(WorkoutChecksum(zeros, 4), 0);
    EXPECT_TRUE(VerifyWorkoutChecksum(zeros, 4, 0));

    EXPECT_EQ(WorkoutChecksum(nullptr, 10), 0);
    EXPECT_EQ(WorkoutChecksum(bytes, 0), 0);
    EXPECT_FALSE(VerifyWorkoutChecksum(nullptr, 10, 0));
    EXPECT_FALSE(VerifyWorkoutChecksum(bytes, 0, 0));
}
