#pragma once

#include "store/DateParts.h"

#include <cstdint>

// One exercise session as it crosses the records store: what the workout import adds and what the run
// list gives back. Every reader and writer goes through these named fields, so no caller depends on the
// column order of a statement.
struct RunRecord
{
    DateParts date;        // start date (local)
    TimeParts time;        // start time of day (local)
    uint32_t duration;     // seconds
    uint32_t walkSteps;    // walking steps
    uint32_t runSteps;     // running steps
    uint32_t runDistance;  // running distance in metres
    uint32_t walkDistance; // walking distance in metres
    uint32_t calories;
    uint8_t temperature;
    uint8_t heartRateBefore;
    uint8_t heartRateAfter;
};
