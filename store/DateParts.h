#pragma once

#include <cstdint>

// Calendar parts that the records store takes and gives; all zero means "no date".
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
