#pragma once

#include <cstdint>
#include <functional>

// Local wall-clock time as the desktop framework's time class handles it: seconds since 1970 (UTC)
// built from and broken into the fields of the current time zone (TZ), with one replaceable "now".
namespace vxsys
{
struct LocalFields
{
    int year;    // four digits
    int month;   // 1-12
    int day;     // 1-31
    int hour;    // 0-23
    int minute;  // 0-59
    int second;  // 0-59
    int weekday; // 0 Sunday .. 6 Saturday (ignored when building)
};

// Builds an instant from local fields: year 1900 or later, month 1-12, day 1-31, hour 0-23, minute and
// second 0-59. A day past the month's end is carried into the next month; daylight saving is decided by
// the zone. False when a field is out of range or the instant falls outside 1970-01-01 00:00:00 ..
// 3000-12-31 23:59:59 UTC; the output is then left unchanged.
bool LocalTimeFromFields(const LocalFields &fields, int64_t *seconds);

// Local fields of an instant. False (output unchanged) for an instant the C library cannot break down.
bool LocalFieldsFromTime(int64_t seconds, LocalFields *fields);

// The current instant, from the system clock unless a test replaced it.
int64_t CurrentTime();

// Replaces the source of CurrentTime; an empty function brings back the system clock.
void SetCurrentTimeSource(std::function<int64_t()> source);
} // namespace vxsys
