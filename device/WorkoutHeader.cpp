#include "device/WorkoutHeader.h"

bool TakeWorkoutHeaderSettings(std::span<const std::uint8_t> image, UserProfileSettings &profile,
                               DeviceSettings &device, FirmwareVersion &firmware)
{
    WorkoutExtendedSettings stored{};
    if (!ReadWorkoutExtendedSettings(image, &stored))
        return false;
    profile.placement = stored.placement;
    profile.walkingStep = static_cast<std::uint16_t>(stored.walkingStep);
    profile.runningStep = static_cast<std::uint16_t>(stored.runningStep);
    profile.doubleTapOff = (stored.flags & WorkoutFlag::DoubleTapOff) ? 1 : 0;
    profile.doubleTapSpeed = stored.doubleTapSpeed;
    firmware = FirmwareVersion{stored.firmwareMajor, stored.firmwareMinor, stored.firmwareBuild};
    device.language = stored.language;
    device.deviceValueA = stored.deviceValueA;
    device.deviceValueB = stored.deviceValueB;
    device.showTime = (stored.flags & WorkoutFlag::ShowTime) ? 1 : 0;
    device.showDistance = (stored.flags & WorkoutFlag::ShowDistance) ? 1 : 0;
    device.showSteps = (stored.flags & WorkoutFlag::ShowSteps) ? 1 : 0;
    device.showCalories = (stored.flags & WorkoutFlag::ShowCalories) ? 1 : 0;
    device.volume = stored.volume;
    return true;
}

bool PatchWorkoutHeader(std::span<std::uint8_t> image, bool extendedHeader, const WorkoutProfile &owner,
                        const UserProfileSettings &profile, const DeviceSettings &device,
                        const FirmwareVersion &firmware)
{
    if (image.size() < WorkoutHeaderLength(extendedHeader))
        return false;
    WriteWorkoutProfile(image, owner);
    if (!extendedHeader)
        return true;

    std::uint8_t flags = 0;
    if (device.showTime)
        flags |= WorkoutFlag::ShowTime;
    if (device.showDistance)
        flags |= WorkoutFlag::ShowDistance;
    if (device.showSteps)
        flags |= WorkoutFlag::ShowSteps;
    if (device.showCalories)
        flags |= WorkoutFlag::ShowCalories;
    if (profile.metric)
        flags |= WorkoutFlag::Metric;
    if (profile.doubleTapOff)
        flags |= WorkoutFlag::DoubleTapOff;
    const WorkoutExtendedSettings settings{
        static_cast<std::uint8_t>(profile.placement),
        profile.walkingStep,
        profile.runningStep,
        firmware.major,
        firmware.minor,
        firmware.build,
        device.language,
        static_cast<std::uint8_t>(device.deviceValueA),
        static_cast<std::uint8_t>(device.deviceValueB),
        flags,
        static_cast<std::uint8_t>(device.volume),
        static_cast<std::uint8_t>(profile.doubleTapSpeed),
    };
    return WriteWorkoutExtendedSettings(image, settings);
}
