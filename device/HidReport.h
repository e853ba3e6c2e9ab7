#pragma once

#include "device/HidEnumeration.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// The HID report layer: one process-wide open HID device and the transfer of byte
// blocks of any length as sequences of whole reports. Every function takes the device
// mutex (device/DeviceMutex.h), so the process-wide state is never touched by two
// threads at once.

// A device handle is a file descriptor; -1 means none.
using HidHandle = int;
inline constexpr HidHandle kInvalidHidHandle = -1;

// The operating-system side of the layer, replaceable so tests can stand in for the
// hidraw devices. Every member has a working default (DefaultHidHooks).
struct HidHooks
{
    // The present HID interfaces.
    std::function<std::vector<HidInterfaceRecord>()> enumerate;
    // Opens an interface for reading and writing; -1 on failure. nonBlocking asks for
    // transfers that never block (the report transfers wait for the device themselves).
    std::function<HidHandle(const HidInterfaceRecord &, bool nonBlocking)> open;
    // The report descriptor of an opened interface.
    std::function<bool(const HidInterfaceRecord &, HidHandle, std::vector<std::uint8_t> &)> readDescriptor;
    // Sleeps (the pause after closing a device).
    std::function<void(unsigned milliseconds)> sleep;
    // How long one report may take before it is abandoned.
    int reportTimeoutMs = 5000;
};

HidHooks DefaultHidHooks();
HidHooks GetHidHooks();
// Installs hooks; members left empty take their defaults.
void SetHidHooks(HidHooks hooks);
void ResetHidHooks();

// ASCII-only case changes of a zero-terminated UTF-16 text in place; result: its length.
std::size_t WideToLowerAscii(char16_t *text);
std::size_t WideToUpperAscii(char16_t *text);

// Opens the interface when its path names the vendor and product ("vid_" and "pid_"
// followed by the four digits, in either case). The path is copied to pathOut when it
// fits in pathCapacity characters with its terminating zero; a path that does not fit
// is not a match. The IDs must be four hexadecimal digits each.
HidHandle OpenHidInterfaceByVidPid(const char16_t *vendor, const char16_t *product,
                                   const HidInterfaceRecord &record, char16_t *pathOut,
                                   std::size_t pathCapacity);

// The first present interface of the class (kHidInterfaceClassGuid) that
// OpenHidInterfaceByVidPid opens; pathOut may be null.
HidHandle FindHidDevice(const char16_t *vendor, const char16_t *product, std::u16string_view interfaceClass,
                        char16_t *pathOut, std::size_t pathCapacity);

bool IsHidDeviceConnected(const char16_t *vendor, const char16_t *product);

// Opens the device for the report functions (closing any open one first).
bool HidOpen(const char16_t *vendor, const char16_t *product);
// Closes the open device; does nothing when none is open.
void HidClose();

// The report lengths of the open device (report ID byte included), 0 when closed.
std::uint32_t HidInputReportLength();
std::uint32_t HidOutputReportLength();

// One whole report; false on a time-out, an error or a short transfer.
bool HidWriteReport(const std::uint8_t *bytes, std::size_t count);
bool HidReadReport(std::uint8_t *bytes, std::size_t count);

// A block as a sequence of reports, each carrying reportId in byte 0; the last one
// zero-padded. Returns the payload bytes sent.
std::size_t HidWrite(const std::uint8_t *bytes, std::size_t length, std::uint8_t reportId);
// Reads length payload bytes (byte 0 of each report, the report ID, is dropped).
// Returns the payload bytes received.
std::size_t HidRead(std::uint8_t *bytes, std::size_t length);
