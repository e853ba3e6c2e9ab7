#include "device/WorkoutHeader.h"
#include "device/WorkoutImporter.h"
#include "tests/support/workout/WorkoutFileBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
using vxtest::WorkoutFileBuilder;

namespace
{
WorkoutProfile Owner()
{
    return WorkoutProfile{u"Anna", u"Berg", 34, 1, 0x1234, 64};
}

TEST(WorkoutHeaderPatch, WritesTheOwnerAndLeavesCountReservedByteAndRecords)
{
    Bytes image = WorkoutFileBuilder()
                      .FirstName(u"Old")
                      .HeaderByte(206, 7)
                      .AddRecord(vxtest::RecordAt(2012, 1, 2))
                      .Trailing(20, 0xEE)
                      .Build();
    const Bytes before = image;
    ASSERT_TRUE(PatchWorkoutHeader(image, false, Owner(), UserProfileSettings{}, DeviceSettings{},
                                   FirmwareVersion{}));
    EXPECT_EQ(image[1], 'A');
    EXPECT_EQ(image[2], 0);
    EXPECT_EQ(image[9], 0) << "terminating zero after four characters";
    EXPECT_EQ(image[101], 'B');
    EXPECT_EQ(image[201], 34);
    EXPECT_EQ(image[202], 1);
    EXPECT_EQ(image[203], 0x34);
    EXPECT_EQ(image[204], 0x12);
    EXPECT_EQ(image[205], 64);
    EXPECT_EQ(image[0], before[0]) << "the check byte is the writer's";
    EXPECT_EQ(image[206], 7);
    EXPECT_EQ(image[207], 1);
    EXPECT_EQ(Bytes(image.begin() + 208, image.end()), Bytes(before.begin() + 208, before.end()));
}

TEST(WorkoutHeaderPatch, CutsLongNamesTo49Characters)
{
    Bytes image(208, 0xFF);
    WorkoutProfile owner = Owner();
    owner.firstName = std::u16string(60, u'x');
    ASSERT_TRUE(PatchWorkoutHeader(image, false, owner, {}, {}, {}));
    EXPECT_EQ(image[1 + 2 * 48], 'x');
    EXPECT_EQ(image[1 + 2 * 49], 0);
    EXPECT_EQ(image[2 + 2 * 49], 0);
    EXPECT_EQ(image[101], 'B');
}

// A character beyond the basic plane takes two units; a cut between them would leave the monitor a
// lone high surrogate.
TEST(WorkoutHeaderPatch, ACutNeverSplitsASurrogatePair)
{
    const std::u16string clef = u"\U0001D11E";
    const struct
    {
        std::u16string name;
        std::u16string written;
    } cases[] = {
        {std::u16string(48, u'a') + clef, std::u16string(48, u'a')},
        {std::u16string(47, u'a') + clef + u"b", std::u16string(47, u'a') + clef},
        {std::u16string(47, u'a') + clef, std::u16string(47, u'a') + clef},
        {std::u16string(48, u'a') + u"\xD834" + u"b", std::u16string(48, u'a') + u"\xD834"},
    };
    for (const auto &c : cases)
    {
        Bytes image(208, 0xFF);
        WorkoutProfile owner = Owner();
        owner.lastName = c.name;
        ASSERT_TRUE(PatchWorkoutHeader(image, false, owner, {}, {}, {}));
        WorkoutProfile back{};
        ASSERT_TRUE(ReadWorkoutProfile(image, &back));
        EXPECT_EQ(back.lastName, c.written) << c.name.size();
        const std::size_t end = 101 + 2 * c.written.size();
        EXPECT_EQ(image[end], 0);
        EXPECT_EQ(image[end + 1], 0);
    }
}

TEST(WorkoutHeaderPatch, RefusesAnImageShorterThanItsHeader)
{
    Bytes shortImage(207, 0);
    EXPECT_FALSE(PatchWorkoutHeader(shortImage, false, Owner(), {}, {}, {}));
    Bytes plain(219, 0);
    EXPECT_FALSE(PatchWorkoutHeader(plain, true, Owner(), {}, {}, {}));
    EXPECT_EQ(plain, Bytes(219, 0)) << "nothing written";
}

TEST(WorkoutHeaderPatch, WritesTheExtendedSettings)
{
    UserProfileSettings profile;
    profile.placement = 1;
    profile.metric = 1;
    profile.doubleTapOff = 1;
    profile.doubleTapSpeed = 2;
    profile.walkingStep = 95;
    profile.runningStep = 90; // not longer: the difference byte is 0
    DeviceSettings device;
    device.showTime = 1;
    device.showSteps = 1;
    device.volume = 2;
    device.language = 5;
    device.deviceValueA = 0x1AA;
    device.deviceValueB = 0xBB;
    Bytes image(220, 0);
    ASSERT_TRUE(PatchWorkoutHeader(image, true, Owner(), profile, device, FirmwareVersion{2, 2, 7}));
    const Bytes expected = {1, 95, 0, 2, 2, 7, 5, 0xAA, 0xBB, 0x01 | 0x04 | 0x10 | 0x20, 2, 2};
    EXPECT_EQ(Bytes(image.begin() + 208, image.end()), expected);

    profile.runningStep = 110;
    profile.metric = 0;
    device = DeviceSettings{};
    device.showDistance = 1;
    device.showCalories = 1;
    ASSERT_TRUE(PatchWorkoutHeader(image, true, Owner(), profile, device, FirmwareVersion{}));
    EXPECT_EQ(image[210], 15);
    EXPECT_EQ(image[217], 0x02 | 0x08 | 0x20);
}

TEST(WorkoutHeaderSettings, TakesEverySettingButTheUnit)
{
    const Bytes image = WorkoutFileBuilder(true)
                            .HeaderByte(208, 1)
                            .HeaderByte(209, 70)
                            .HeaderByte(210, 20)
                            .HeaderByte(211, 3)
                            .HeaderByte(212, 1)
                            .HeaderByte(213, 4)
                            .HeaderByte(214, 2)
                            .HeaderByte(215, 9)
                            .HeaderByte(216, 8)
                            .HeaderByte(217, 0x01 | 0x04 | 0x10)
                            .HeaderByte(218, 1)
                            .HeaderByte(219, 1)
                            .Build();
    UserProfileSettings profile;
    profile.metric = 0;
    DeviceSettings device;
    FirmwareVersion firmware;
    ASSERT_TRUE(TakeWorkoutHeaderSettings(image, profile, device, firmware));
    EXPECT_EQ(profile.placement, 1u);
    EXPECT_EQ(profile.walkingStep, 70);
    EXPECT_EQ(profile.runningStep, 90);
    EXPECT_EQ(profile.doubleTapOff, 0u);
    EXPECT_EQ(profile.doubleTapSpeed, 1u);
    EXPECT_EQ(profile.metric, 0u) << "bit 4 is not taken";
    EXPECT_EQ(firmware.major, 3);
    EXPECT_EQ(firmware.minor, 1);
    EXPECT_EQ(firmware.build, 4);
    EXPECT_EQ(device.language, 2);
    EXPECT_EQ(device.deviceValueA, 9u);
    EXPECT_EQ(device.deviceValueB, 8u);
    EXPECT_EQ(device.showTime, 1u);
    EXPECT_EQ(device.showDistance, 0u);
    EXPECT_EQ(device.showSteps, 1u);
    EXPECT_EQ(device.showCalories, 0u);
    EXPECT_EQ(device.volume, 1u);

    const Bytes plain(208, 0);
    EXPECT_FALSE(TakeWorkoutHeaderSettings(plain, profile, device, firmware));
}

TEST(WorkoutImportFirmware, LanguagesAreListedFrom227On)
{
    const struct
    {
        FirmwareVersion version;
        bool lists;
    } cases[] = {
        {{2, 2, 6}, false}, {{2, 2, 7}, true},  {{2, 2, 255}, true}, {{2, 3, 0}, true},
        {{3, 0, 0}, true},  {{2, 1, 9}, false}, {{1, 9, 9}, false},  {{0, 0, 0}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FirmwareListsLanguages(c.version), c.lists)
            << int(c.version.major) << "." << int(c.version.minor) << "." << int(c.version.build);
}
} // namespace
