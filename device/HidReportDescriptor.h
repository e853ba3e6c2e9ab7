#pragma once

#include <cstddef>
#include <cstdint>

// Report lengths in bytes as the report layer transfers them: the longest report of
// each direction plus the report ID byte, 0 when the descriptor has no such report.
struct HidReportLengths
{
    std::uint32_t inputLength = 0;
    std::uint32_t outputLength = 0;
    // The descriptor numbers its reports (a Report ID item is present): such a device
    // sends the report ID as the first byte of every input report.
    bool usesReportIds = false;
};

// Reads the lengths from a HID report descriptor. Short items are parsed (Report Size,
// Report Count, Report ID, Push and Pop among the globals; Input and Output among the
// main items), long items are skipped. False for a truncated item, a Pop without a
// Push, or a report longer than 65535 bytes.
bool ParseHidReportDescriptor(const std::uint8_t *data, std::size_t size, HidReportLengths &out);
