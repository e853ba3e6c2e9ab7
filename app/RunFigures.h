#pragma once

// Figures that several pages show of the same runs (home, My Runs, the detail panel, the share
// picture), so that each page says the same thing of the same day.

#include <cstdint>

#include "platform/win/CString.h"
#include "store/DateParts.h"

class KvtDatabase;

// Metres to the pages' distance units, in double precision (the graph has its own float values).
constexpr double kKmPerMetre = 0.001;
constexpr double kMilesPerMetre = 0.000621371192;

// The day's last run as the heart-rate views show it: when it ended (a run that goes on past
// midnight ends at that time of the next day) and the heart rate after it. Both are 0 when the
// store has no run of the day or cannot be read.
struct DayLastRun
{
    int64_t endSecondOfDay = 0;
    uint8_t heartRateAfter = 0;
};
DayLastRun ReadDayLastRun(KvtDatabase *database, const DateParts &date);

// "hh:mm:ss" of a second of the day.
CString TimeOfDayText(int64_t secondOfDay);
