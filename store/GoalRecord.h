#pragma once

#include "store/DateParts.h"

#include <cstdint>

// One goal of the logged-in user with its progress, as the goal list and the current-goal summary read it.
// The end date is the first day after the goal: progress counts runs from midnight of the start date up
// to, not including, midnight of the end date.
struct GoalRecord
{
    int32_t goalId;        // -1 when the stored id is not a number
    uint32_t distance;     // target in metres, 0 unless a distance goal
    uint8_t distanceUnit;  // 1 metric, 0 imperial; 255 for time and calories goals
    uint32_t time;         // target in seconds, 0 unless a time goal
    uint32_t calories;     // target, 0 unless a calories goal
    uint32_t timeFrame;    // always 0
    uint8_t timeFrameType; // always 1
    DateParts start;       // all zero when not stored as a number
    DateParts end;         // all zero when not stored as a number
    uint32_t doneDistance; // running plus walking distance inside the goal's days, metres
    uint32_t doneDuration; // seconds
    uint32_t doneCalories;
    uint8_t status; // 0 when not stored as a number
};
