#pragma once

#include <cstdint>

// Calendar parts as the records store takes and gives them. A DateParts of all
// zeros means "no date".
struct DateParts
{
    uint8_t day;
    uint8_t month;
    uint16_t year;
};

struct TimeParts
{
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
};
