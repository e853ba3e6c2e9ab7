#pragma once

#include "usbaccess/MonitorVendor.h"

#include <array>
#include <cstdint>

// The monitors the program supports and the model codes that confirm them. The vendor ID
// comes from usbaccess/MonitorVendor.h, where it is kept for the library and the udev rule.

// One supported monitor: its vendor and product ID as four upper-case hexadecimal digits
// and a terminating zero, and whether its workout file carries the 220-byte header.
struct SupportedDeviceEntry
{
    char szVendorId[5];
    char szProductId[5];
    std::uint8_t bExtendedHeader;
};

namespace vxdevice_detail
{
constexpr void WriteHexId(char (&text)[5], std::uint16_t value)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < 4; ++i)
        text[i] = kDigits[(value >> (12 - 4 * i)) & 0xF];
    text[4] = '\0';
}

constexpr SupportedDeviceEntry MakeEntry(std::uint16_t product, std::uint8_t extendedHeader)
{
    SupportedDeviceEntry entry{};
    WriteHexId(entry.szVendorId, VORMATIK_MONITOR_VENDOR_ID);
    WriteHexId(entry.szProductId, product);
    entry.bExtendedHeader = extendedHeader;
    return entry;
}
} // namespace vxdevice_detail

// Tried in this order. The first two answer under IDs that other products of the maker share,
// so they count only with one of the model codes below; the third is the HID model, the only
// one whose workout file has the extended header.
inline constexpr std::array<SupportedDeviceEntry, 4> kSupportedDevices = {
    vxdevice_detail::MakeEntry(0x5D01, 0),
    vxdevice_detail::MakeEntry(0x5D02, 0),
    vxdevice_detail::MakeEntry(0x5D03, 1),
    vxdevice_detail::MakeEntry(0x5D04, 0),
};

// Positions in kSupportedDevices.
inline constexpr std::size_t kModelCheckedEntries = 2; // entries 0 and 1 need a model code
inline constexpr std::size_t kHidEntry = 2;

// Model codes of the monitors: the first four characters of an MTP monitor's firmware version,
// or the four bytes after "TXCFG" in a mass-storage monitor's "Settings.dat".
inline constexpr std::size_t kModelCodeLength = 4;
inline constexpr std::array<std::array<char, kModelCodeLength>, 12> kModelCodes = {{
    {'V', 'M', 'A', '1'},
    {'V', 'M', 'A', '2'},
    {'V', 'M', 'A', '3'},
    {'V', 'M', 'A', '4'},
    {'V', 'M', 'B', '1'},
    {'V', 'M', 'B', '2'},
    {'V', 'M', 'B', '3'},
    {'V', 'M', 'B', '4'},
    {'V', 'M', 'C', '1'},
    {'V', 'M', 'C', '2'},
    {'V', 'M', 'C', '3'},
    {'V', 'M', 'C', '4'},
}};
