// Feeds arbitrary workout file images to the validation, in both modes and both header lengths.
//
// Input: byte 0 selects the mode (bit 0 extended header, bit 1 re-dating, bit 2 lower the record count
// to the records present, bit 3 write a correct check byte: with bits 2 and 3 the date, order and
// re-dating rules are reached instead of the early rejections), bytes 1-4 the re-dating target (day,
// month, year low, year high), bytes 5-10 the last stored run (day, month, year offset from 2000,
// hour, minute, second), bytes 11-12 a shift of "now" in days; the rest is the image.

#include "device/WorkoutFile.h"
#include "device/WorkoutValidator.h"
#include "platform/sys/LocalTime.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace
{
constexpr std::size_t kPrefix = 13;
constexpr int64_t kBaseNow = 1339749000; // 2012-06-15 08:30:00 UTC
int64_t g_now = kBaseNow;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    vxsys::SetCurrentTimeSource([] { return g_now; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < kPrefix)
        return 0;
    const uint8_t mode = data[0];
    const DateParts target{data[1], data[2], static_cast<uint16_t>(data[3] | (data[4] << 8))};
    const DateParts lastDate{data[5], data[6], static_cast<uint16_t>(data[7] ? 2000 + data[7] : 0)};
    const TimeParts lastTime{data[8], data[9], data[10]};
    g_now = kBaseNow + static_cast<int64_t>(static_cast<int16_t>(data[11] | (data[12] << 8))) * 86400;

    const std::size_t length = size - kPrefix;
    // An exact-size copy: the re-dating mode writes into the image, and any read past it must show.
    auto image = std::make_unique<uint8_t[]>(length ? length : 1);
    if (length)
        std::memcpy(image.get(), data + kPrefix, length);

    WorkoutValidationContext context;
    context.extendedHeader = (mode & 1) != 0;
    const std::size_t headerLength = WorkoutHeaderLength(context.extendedHeader);
    if ((mode & 4) && length >= headerLength)
    {
        const std::size_t present = (length - headerLength) / kWorkoutRecordSize;
        if (image[WorkoutHeaderOffset::RecordCount] > present)
            image[WorkoutHeaderOffset::RecordCount] = static_cast<uint8_t>(present);
    }
    if ((mode & 8) && length > 0)
        image[WorkoutHeaderOffset::CheckByte] = WorkoutChecksum(image.get() + 1, length - 1);
    // What the validation must leave alone outside the re-dating mode.
    const std::vector<uint8_t> before(image.get(), image.get() + length);

    context.userDateSet = (mode & 2) != 0;
    context.userDate = target;
    context.readLastRun = [&](DateParts *date, TimeParts *time) {
        *date = lastDate;
        *time = lastTime;
        return 1;
    };
    const int result = ValidateWorkoutFile(context, length ? image.get() : nullptr, length);

    // What every caller relies on.
    if (result != kWorkoutValid && result != kWorkoutMalformed && result != kWorkoutDatesRejected)
        std::abort();
    if (result == kWorkoutValid)
    {
        const std::size_t header = WorkoutHeaderLength(context.extendedHeader);
        const int announced = image[WorkoutHeaderOffset::RecordCount];
        if (context.recordCount < 0 || context.recordCount > announced ||
            length < header + kWorkoutRecordSize * static_cast<std::size_t>(context.recordCount))
            std::abort();
        if (!context.userDateSet &&
            (context.recordCount != announced || std::memcmp(image.get(), before.data(), length)))
            std::abort();
    }
    if (result == kWorkoutValid && context.userDateSet)
    {
        // Every record the re-dating kept, but the newest (which takes the asked date), lies in
        // 2009 or later.
        const std::size_t header = WorkoutHeaderLength(context.extendedHeader);
        for (int i = 0; i + 1 < context.recordCount; ++i)
        {
            WorkoutRecord record{};
            const std::size_t at = header + kWorkoutRecordSize * static_cast<std::size_t>(i);
            if (!ReadWorkoutRecord(std::span<const uint8_t>(image.get() + at, kWorkoutRecordSize), &record) ||
                record.year < 2009)
                std::abort();
        }
    }
    if (result == kWorkoutDatesRejected && context.userDateSet)
        std::abort();
    return 0;
}
