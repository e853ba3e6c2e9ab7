#pragma once

#include <cstdint>

// The monitor's settings as the main dialog keeps them: read from the extended header of the workout
// file by the import, edited on the device settings page, written back into that header.

// How the wearer uses the monitor.
struct UserProfileSettings
{
    std::uint32_t placement = 0;      // 0 waist or neckline, 1 armband
    std::uint32_t metric = 0;         // 1 centimetres, 0 inches
    std::uint32_t doubleTapOff = 0;   // 0 on, otherwise off
    std::uint32_t doubleTapSpeed = 0; // 1 normal, 2 fast
    std::uint16_t walkingStep = 0;    // centimetres
    std::uint16_t runningStep = 0;    // centimetres
};

// What the monitor shows and says.
struct DeviceSettings
{
    std::uint32_t showTime = 0;
    std::uint32_t showDistance = 0;
    std::uint32_t showSteps = 0;
    std::uint32_t showCalories = 0;
    std::uint32_t volume = 0;  // 0 low, 1 mid, 2 high
    std::uint8_t language = 0; // a code of the monitor's language list
    // Two values of the monitor that the program never edits, only carries through (low byte stored).
    std::uint32_t deviceValueA = 0;
    std::uint32_t deviceValueB = 0;
};

// The HID monitor's firmware version.
struct FirmwareVersion
{
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint8_t build = 0;
};
