#pragma once

#include <ctime>
#include <functional>

// The moment the device link takes as "now" (seconds since 1970). Device commands
// that stamp the monitor with the computer's time read it here, so tests can pin it.
std::time_t DeviceNow();

// Replaces the source of DeviceNow; an empty function restores the system clock.
void SetDeviceNowSource(std::function<std::time_t()> source);
