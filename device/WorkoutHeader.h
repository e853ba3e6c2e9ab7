#pragma once

#include "device/DeviceSettings.h"
#include "device/WorkoutFile.h"

#include <cstdint>
#include <span>

// The header of the workout file between the monitor and the main dialog's records. Both the import
// and the settings write-back patch the header through PatchWorkoutHeader, so the monitor learns the
// same thing from either.

// The settings that the extended header carries, as the main dialog keeps them. The metric field of
// the profile is left alone: the header's unit bit is the program's to write, never to take.
// False (nothing changed) when the image is shorter than the extended header.
bool TakeWorkoutHeaderSettings(std::span<const std::uint8_t> image, UserProfileSettings &profile,
                               DeviceSettings &device, FirmwareVersion &firmware);

// Writes the owner's name and profile into the header, and with the extended header its settings:
// bit 4 of the flags byte from profile.metric, bit 5 from profile.doubleTapOff, bits 0-3 from the show
// flags. The reserved byte and the record count stay as they are. False (nothing written) when the
// image is shorter than the header.
bool PatchWorkoutHeader(std::span<std::uint8_t> image, bool extendedHeader, const WorkoutProfile &owner,
                        const UserProfileSettings &profile, const DeviceSettings &device,
                        const FirmwareVersion &firmware);
