// Feeds arbitrary workout file images to the validation, in both modes and both header lengths.
//
// Input: byte 0 selects the mode (bit 0 extended header, bit 1 re-dating), bytes 1-4 the re-dating
// target (day, month, year low, year high), bytes 5-10 the last stored run (day, month, year offset
// from 2000, hour, minute, second), bytes 11-12 a shift of "now" in days; the rest is the image.

#include "device/WorkoutFile.h"
#include "device/WorkoutValidator.h"
#include "platform/sys/LocalTime.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

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
            (context.recordCount != announced || std::memcmp(image.get(), data + kPrefix, length)))
            std::abort();
    }
    if (result == kWorkoutDatesRejected && context.userDateSet)
        std::abort();
    return 0;
}
