#include "device/WorkoutValidator.h"

#include "device/WorkoutFile.h"
#include "platform/sys/LocalTime.h"

#include <cstring>
#include <vector>

namespace
{
constexpr int64_t kSecondsPerDay = 86400;
constexpr int kFirstYear = 2009;

uint32_t DateKey(int year, int month, int day)
{
    return static_cast<uint32_t>(year) * 65536u + static_cast<uint32_t>(month) * 256u +
           static_cast<uint32_t>(day);
}

uint32_t TimeKey(int hour, int minute, int second)
{
    return static_cast<uint32_t>(hour) * 65536u + static_cast<uint32_t>(minute) * 256u +
           static_cast<uint32_t>(second);
}

uint8_t *RecordAt(uint8_t *image, std::size_t headerLength, int index)
{
    return image + headerLength + kWorkoutRecordSize * static_cast<std::size_t>(index);
}

WorkoutRecord ReadRecord(uint8_t *image, std::size_t headerLength, int index)
{
    WorkoutRecord record{};
    ReadWorkoutRecord(std::span<const uint8_t>(RecordAt(image, headerLength, index), kWorkoutRecordSize),
                      &record);
    return record;
}

bool RecordInstant(const WorkoutRecord &r, int64_t *instant)
{
    return vxsys::LocalTimeFromFields(
        vxsys::LocalFields{r.year, r.month, r.day, r.hour, r.minute, r.second, 0}, instant);
}

void StampRecord(uint8_t *image, std::size_t headerLength, int index, const vxsys::LocalFields &f)
{
    uint8_t *p = RecordAt(image, headerLength, index);
    WorkoutRecord record{};
    ReadWorkoutRecord(std::span<const uint8_t>(p, kWorkoutRecordSize), &record);
    record.year = static_cast<uint16_t>(f.year);
    record.month = static_cast<uint8_t>(f.month);
    record.day = static_cast<uint8_t>(f.day);
    record.hour = static_cast<uint8_t>(f.hour);
    record.minute = static_cast<uint8_t>(f.minute);
    record.second = static_cast<uint8_t>(f.second);
    WriteWorkoutRecord(std::span<uint8_t>(p, kWorkoutRecordSize), record);
}

int CheckRecords(uint8_t *image, std::size_t headerLength, int count, const DateParts &lastDate,
                 const TimeParts &lastTime, int64_t now, const vxsys::LocalFields &nowFields)
{
    const uint32_t lastDateKey = DateKey(lastDate.year, lastDate.month, lastDate.day);
    const uint32_t lastTimeKey = TimeKey(lastTime.hour, lastTime.minute, lastTime.second);
    for (int i = 0; i < count; ++i)
    {
        const WorkoutRecord r = ReadRecord(image, headerLength, i);
        if (r.year > nowFields.year + 1 || r.month > 12 || r.day > 31 || r.hour > 23 || r.minute > 59 ||
            r.second > 59)
            return kWorkoutMalformed;
        if (r.year < kFirstYear)
            return kWorkoutDatesRejected;
        const uint32_t dateKey = DateKey(r.year, r.month, r.day);
        if (dateKey < lastDateKey ||
            (dateKey == lastDateKey && TimeKey(r.hour, r.minute, r.second) <= lastTimeKey))
            return kWorkoutDatesRejected;
        // Month or day 0 cannot be a local time; 31 February is carried into March and accepted.
        int64_t instant = 0;
        if (!RecordInstant(r, &instant))
            return kWorkoutMalformed;
        if (instant >= now + kSecondsPerDay)
            return kWorkoutDatesRejected;
    }
    return kWorkoutValid;
}

// Moves the records so that the newest falls on the requested date, keeping their spacing; records
// that would land at or before the base, before 2009, or share an instant with a later record are
// dropped.
int RedateRecords(WorkoutValidationContext &context, uint8_t *image, std::size_t headerLength, int count,
                  int64_t now)
{
    const DateParts &lastDate = context.lastRunDate;
    const TimeParts &lastTime = context.lastRunTime;

    int64_t base = 0;
    if (!vxsys::LocalTimeFromFields(vxsys::LocalFields{kFirstYear, 1, 1, 0, 0, 0, 0}, &base))
        return kWorkoutMalformed;
    if (DateKey(lastDate.year, lastDate.month, lastDate.day) > DateKey(kFirstYear, 1, 1))
    {
        const vxsys::LocalFields last{
            lastDate.year, lastDate.month, lastDate.day, lastTime.hour, lastTime.minute, lastTime.second, 0};
        if (!vxsys::LocalTimeFromFields(last, &base))
            return kWorkoutMalformed;
    }
    if (count == 0)
        return kWorkoutValid;

    // The instants as recorded, a day late so that a clock that was never set (1970-01-01) still gives
    // an instant in every time zone; only their differences matter.
    std::vector<int64_t> recorded(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        const WorkoutRecord r = ReadRecord(image, headerLength, i);
        int64_t instant = 0;
        if (r.year == 1970 && r.month == 1 && r.day == 1)
        {
            if (!vxsys::LocalTimeFromFields(vxsys::LocalFields{1970, 1, 2, r.hour, r.minute, r.second, 0},
                                            &instant))
                return kWorkoutMalformed;
        }
        else
        {
            if (!RecordInstant(r, &instant))
                return kWorkoutMalformed;
            instant += kSecondsPerDay;
        }
        recorded[static_cast<std::size_t>(i)] = instant;
    }

    int64_t newest = 0;
    const DateParts &target = context.userDate;
    if (target.day == lastDate.day && target.month == lastDate.month && target.year == lastDate.year)
    {
        // The last stored run's own day: one second after it, also when that second opens the next day.
        newest = base + 1;
    }
    else
    {
        vxsys::LocalFields nowFields{};
        if (!vxsys::LocalFieldsFromTime(now, &nowFields))
            return kWorkoutMalformed;
        const vxsys::LocalFields f{target.year,      target.month,     target.day, nowFields.hour,
                                   nowFields.minute, nowFields.second, 0};
        if (!vxsys::LocalTimeFromFields(f, &newest))
            return kWorkoutMalformed;
    }
    vxsys::LocalFields fields{};
    if (!vxsys::LocalFieldsFromTime(newest, &fields))
        return kWorkoutMalformed;
    StampRecord(image, headerLength, count - 1, fields);

    int kept = count;
    int64_t nextRecorded = recorded[static_cast<std::size_t>(count - 1)];
    int64_t nextNew = newest;
    for (int i = count - 2; i >= 0; --i)
    {
        const int64_t gap = nextRecorded - recorded[static_cast<std::size_t>(i)];
        const int64_t candidate = nextNew - gap;
        if (gap > 0 && candidate > base && vxsys::LocalFieldsFromTime(candidate, &fields) &&
            fields.year >= kFirstYear)
        {
            StampRecord(image, headerLength, i, fields);
            nextRecorded = recorded[static_cast<std::size_t>(i)];
            nextNew = candidate;
        }
        else
        {
            // Records behind it move one place forward; record i itself was never moved.
            std::memmove(RecordAt(image, headerLength, i), RecordAt(image, headerLength, i + 1),
                         kWorkoutRecordSize * static_cast<std::size_t>(kept - 1 - i));
            --kept;
        }
    }
    context.recordCount = kept;
    return kWorkoutValid;
}
} // namespace

int ValidateWorkoutFile(WorkoutValidationContext &context, uint8_t *image, uint64_t length)
{
    const std::size_t headerLength = WorkoutHeaderLength(context.extendedHeader);
    if (!image || length < headerLength || length > kWorkoutFileMaxLength)
        return kWorkoutMalformed;
    if (!VerifyWorkoutChecksum(image + 1, length - 1, image[WorkoutHeaderOffset::CheckByte]))
        return kWorkoutMalformed;

    const int count = image[WorkoutHeaderOffset::RecordCount];
    context.recordCount = count;
    if (length < headerLength + kWorkoutRecordSize * static_cast<uint64_t>(count))
        return kWorkoutMalformed;

    DateParts lastDate{};
    TimeParts lastTime{};
    if (context.readLastRun && !context.readLastRun(&lastDate, &lastTime))
        return kWorkoutStoreFailed;
    context.lastRunDate = lastDate;
    context.lastRunTime = lastTime;

    const int64_t now = vxsys::CurrentTime();
    if (context.userDateSet)
        return RedateRecords(context, image, headerLength, count, now);

    vxsys::LocalFields nowFields{};
    if (!vxsys::LocalFieldsFromTime(now, &nowFields))
        return kWorkoutMalformed;
    return CheckRecords(image, headerLength, count, lastDate, lastTime, now, nowFields);
}
