#pragma once

#include "store/DateParts.h"

#include <cstdint>

// Packed dates: one 32-bit calendar date, (year << 16) | (month << 8) | day, as the account and goal
// pages keep dates of birth and goal periods. Two packed dates compare in calendar order as numbers.
//
// They live beside DateParts so that both the main window and the kit's goal list can use them. Every
// sum is done on the calendar (days from a civil date), never in seconds, so a daylight-saving change
// between two dates moves nothing. "Today" is the local date of vxsys::CurrentTime().
namespace vxtime
{
constexpr uint32_t PackDate(int year, int month, int day)
{
    return (static_cast<uint32_t>(year & 0xFFFF) << 16) | (static_cast<uint32_t>(month & 0xFF) << 8) |
           static_cast<uint32_t>(day & 0xFF);
}
uint32_t PackDate(const DateParts &date);
DateParts UnpackDate(uint32_t packed);

constexpr int PackedYear(uint32_t packed)
{
    return static_cast<int>(packed >> 16);
}
constexpr int PackedMonth(uint32_t packed)
{
    return static_cast<int>((packed >> 8) & 0xFF);
}
constexpr int PackedDay(uint32_t packed)
{
    return static_cast<int>(packed & 0xFF);
}

// 1 for a real calendar date whose year is later than the current local year minus 120 (no upper
// limit), else 0. 0 also when the clock's "now" cannot be read as a local date.
int IsValidPackedDate(uint32_t date);

// 1 when the date lies after today, 0 for today, -1 before it. 0 when "now" cannot be read.
int CompareWithToday(uint32_t date);

// Whole years of age today for a valid date of birth; 0 for a date that is not valid.
int AgeFromPackedDate(uint32_t dateOfBirth);

// Whole calendar days from `first` to `second`. *days is first set to 0 and *count to 1. 1 with the
// count of days, 0 when a date lies outside year 1970-3000, month 1-12, day 1-31 (a day past the
// month's end counts on into the next month), when `second` is earlier, or when an output is null.
int DaysBetweenPackedDates(uint32_t first, uint32_t second, int *days, int *count);

// The date that ends `count` periods from `date`: unit 2 weeks, 3 months, 4 years, any other days.
// Months and years keep the day, fitted to a shorter month; days and weeks step on the calendar.
// 1 with *out set; 0 when count < 1, the date lies outside year 1970-3000, month 1-12, day 1-31, the
// end would not fit a packed date, or out is null.
int AddToPackedDate(int count, int unit, uint32_t date, uint32_t *out);

// `date` moved by a number of calendar days (negative goes back). 1 with *out set; 0 when the date
// lies outside year 1970-3000, month 1-12, day 1-31, the result would not fit, or out is null.
int ShiftPackedDate(uint32_t date, int64_t days, uint32_t *out);
} // namespace vxtime
