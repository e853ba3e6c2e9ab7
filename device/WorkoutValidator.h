#pragma once

#include "store/DateParts.h"

#include <cstdint>
#include <functional>

// What the workout validation reads from and leaves in the main dialog.
struct WorkoutValidationContext
{
    // Read.
    bool extendedHeader = false; // the matched device kind writes the 220-byte header
    bool userDateSet = false;    // re-date the records so that the newest falls on userDate
    DateParts userDate{};
    // The latest stored run of the current user (all zero without runs); 0 when the store could not
    // tell. Asking for it also opens the store's transaction, which the import ends. May be empty: then
    // there are no stored runs.
    std::function<int(DateParts *, TimeParts *)> readLastRun;

    // Written.
    int recordCount = 0; // the records the import takes, from the header, fewer when re-dating drops some
    DateParts lastRunDate{};
    TimeParts lastRunTime{};
};

// Result codes of ValidateWorkoutFile.
constexpr int kWorkoutValid = 1;
constexpr int kWorkoutMalformed = 0;
constexpr int kWorkoutDatesRejected = -4;
// The latest stored run could not be read, so neither rule that depends on it can be applied: taking
// it as "no runs" would let records that are already stored pass as new and be stored again.
constexpr int kWorkoutStoreFailed = -3;

// Checks a workout file image before its records reach the records store: 1 valid, 0 malformed, -4
// rejected for its dates, -3 the store could not be read (records and image left as they were). When
// context.userDateSet is set the records' dates and times are rewritten in the image instead of checked.
// Reads stay within image[0..length-1].
int ValidateWorkoutFile(WorkoutValidationContext &context, uint8_t *image, uint64_t length);
