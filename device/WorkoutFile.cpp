#include "device/WorkoutFile.h"

namespace
{
uint16_t Get16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// A name field of 50 UTF-16LE units: the text up to its zero (or the field's end).
std::u16string GetName(const uint8_t *p)
{
    std::u16string name;
    for (std::size_t i = 0; i < kWorkoutNameMaxChars + 1; ++i)
    {
        const char16_t c = static_cast<char16_t>(Get16(p + 2 * i));
        if (c == 0)
            break;
        name.push_back(c);
    }
    return name;
}

void PutName(uint8_t *p, const std::u16string &name)
{
    std::size_t n = name.size() < kWorkoutNameMaxChars ? name.size() : kWorkoutNameMaxChars;
    // A cut between the two halves of a surrogate pair would leave the monitor half a character.
    if (n < name.size() && n > 0 && name[n - 1] >= 0xD800 && name[n - 1] <= 0xDBFF && name[n] >= 0xDC00 &&
        name[n] <= 0xDFFF)
        --n;
    for (std::size_t i = 0; i < n; ++i)
        Put16(p + 2 * i, static_cast<uint16_t>(name[i]));
    Put16(p + 2 * n, 0);
}

uint8_t Sum(const uint8_t *bytes, uint64_t length)
{
    uint8_t sum = 0;
    for (uint64_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum;
}
} // namespace

bool ReadWorkoutRecord(std::span<const uint8_t> bytes, WorkoutRecord *record)
{
    if (!record || bytes.size() < kWorkoutRecordSize)
        return false;
    const uint8_t *p = bytes.data();
    record->year = Get16(p);
    record->month = p[2];
    record->day = p[3];
    record->hour = p[4];
    record->minute = p[5];
    record->second = p[6];
    record->duration = Get32(p + 7);
    record->walkingSteps = Get32(p + 11);
    record->runningSteps = Get32(p + 15);
    record->walkingDistance = Get32(p + 19);
    record->runningDistance = Get32(p + 23);
    record->calories = Get32(p + 27);
    record->heartRateBefore = p[31];
    record->heartRateAfter = p[32];
    return true;
}

bool WriteWorkoutRecord(std::span<uint8_t> bytes, const WorkoutRecord &record)
{
    if (bytes.size() < kWorkoutRecordSize)
        return false;
    uint8_t *p = bytes.data();
    Put16(p, record.year);
    p[2] = record.month;
    p[3] = record.day;
    p[4] = record.hour;
    p[5] = record.minute;
    p[6] = record.second;
    Put32(p + 7, record.duration);
    Put32(p + 11, record.walkingSteps);
    Put32(p + 15, record.runningSteps);
    Put32(p + 19, record.walkingDistance);
    Put32(p + 23, record.runningDistance);
    Put32(p + 27, record.calories);
    p[31] = record.heartRateBefore;
    p[32] = record.heartRateAfter;
    return true;
}

bool ReadWorkoutProfile(std::span<const uint8_t> image, WorkoutProfile *profile)
{
    using namespace WorkoutHeaderOffset;
    if (!profile || image.size() < kWorkoutHeaderLength)
        return false;
    const uint8_t *p = image.data();
    profile->firstName = GetName(p + FirstName);
    profile->lastName = GetName(p + LastName);
    profile->age = p[Age];
    profile->gender = p[Gender];
    profile->height = Get16(p + Height);
    profile->weight = p[Weight];
    return true;
}

bool WriteWorkoutProfile(std::span<uint8_t> image, const WorkoutProfile &profile)
{
    using namespace WorkoutHeaderOffset;
    if (image.size() < kWorkoutHeaderLength)
        return false;
    uint8_t *p = image.data();
    PutName(p + FirstName, profile.firstName);
    PutName(p + LastName, profile.lastName);
    p[Age] = profile.age;
    p[Gender] = profile.gender;
    Put16(p + Height, profile.height);
    p[Weight] = profile.weight;
    return true;
}

bool ReadWorkoutExtendedSettings(std::span<const uint8_t> image, WorkoutExtendedSettings *settings)
{
    using namespace WorkoutHeaderOffset;
    if (!settings || image.size() < kWorkoutExtendedHeaderLength)
        return false;
    const uint8_t *p = image.data();
    settings->placement = p[Placement];
    settings->walkingStep = p[WalkingStep];
    settings->runningStep = p[WalkingStep] + p[RunningStepExtra];
    settings->firmwareMajor = p[FirmwareMajor];
    settings->firmwareMinor = p[FirmwareMinor];
    settings->firmwareBuild = p[FirmwareBuild];
    settings->language = p[Language];
    settings->deviceValueA = p[DeviceValueA];
    settings->deviceValueB = p[DeviceValueB];
    settings->flags = p[Flags];
    settings->volume = p[Volume];
    settings->doubleTapSpeed = p[DoubleTapSpeed];
    return true;
}

bool WriteWorkoutExtendedSettings(std::span<uint8_t> image, const WorkoutExtendedSettings &settings)
{
    using namespace WorkoutHeaderOffset;
    if (image.size() < kWorkoutExtendedHeaderLength)
        return false;
    uint8_t *p = image.data();
    p[Placement] = settings.placement;
    p[WalkingStep] = static_cast<uint8_t>(settings.walkingStep);
    const int extra = settings.runningStep - settings.walkingStep;
    p[RunningStepExtra] = static_cast<uint8_t>(extra > 0 ? extra : 0);
    p[FirmwareMajor] = settings.firmwareMajor;
    p[FirmwareMinor] = settings.firmwareMinor;
    p[FirmwareBuild] = settings.firmwareBuild;
    p[Language] = settings.language;
    p[DeviceValueA] = settings.deviceValueA;
    p[DeviceValueB] = settings.deviceValueB;
    p[Flags] = static_cast<uint8_t>(settings.flags & 0x3F);
    p[Volume] = settings.volume;
    p[DoubleTapSpeed] = settings.doubleTapSpeed;
    return true;
}

uint8_t WorkoutChecksum(const uint8_t *bytes, uint64_t length)
{
    if (!bytes || length == 0)
        return 0;
    return static_cast<uint8_t>(0x100 - Sum(bytes, length));
}

bool VerifyWorkoutChecksum(const uint8_t *bytes, uint64_t length, uint8_t check)
{
    if (!bytes || length == 0)
        return false;
    return static_cast<uint8_t>(Sum(bytes, length) + check) == 0;
}
