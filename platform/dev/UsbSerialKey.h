#pragma once

#include <cstdint>
#include <string_view>

// Whether a serial number names a USB device the way the system's device list does.
//
// A USB device whose serial number is usable as part of its instance ID
// (USB\VID_1234&PID_ABCD\SER42) is listed under that serial; one without a usable serial
// is listed under a location-based name instead. A serial number that a device reports
// through another channel (an MTP DeviceInfo, a string descriptor read elsewhere) counts
// as an enumeration key only when a present USB device with the same vendor and product
// ID is listed under exactly that serial, letters compared without regard to case.
namespace vxdev
{
// serial is UTF-8. An empty serial is never a key. Reads sysfs afresh on every call.
bool UsbSerialIsEnumerated(std::uint16_t vendorId, std::uint16_t productId, std::string_view serial);
} // namespace vxdev
