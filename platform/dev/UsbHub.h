#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the hub node queries of the Windows code read, taken from sysfs instead.
namespace vxdev
{
// The device descriptor fields sysfs publishes for a USB device.
struct UsbDeviceDescriptor
{
    std::uint16_t bcdUSB = 0;
    std::uint8_t bDeviceClass = 0;
    std::uint8_t bDeviceSubClass = 0;
    std::uint8_t bDeviceProtocol = 0;
    std::uint8_t bMaxPacketSize0 = 0;
    std::uint16_t idVendor = 0;
    std::uint16_t idProduct = 0;
    std::uint16_t bcdDevice = 0;
    std::uint8_t bNumConfigurations = 0;
};

// One downstream port of a hub. An empty port has connected false and everything zero.
struct UsbPortConnection
{
    bool connected = false;
    UsbDeviceDescriptor descriptor;
    std::string sysfsDir; // the device on the port
};

// Downstream port count of a hub (its maxchild attribute).
std::optional<int> HubPortCount(const std::string &hubSysfsDir);

// The sysfs name of the device on a port: "N-p" under root hub "usbN", "<hub>.p" under
// an external hub.
std::string ChildNameOnPort(const std::string &hubSysfsDir, int port);

// Asks one port (1..count). False when the hub cannot be read or the port does not exist;
// an empty port is a successful query with a zeroed connection.
bool QueryHubPort(const std::string &hubSysfsDir, int port, UsbPortConnection &out);

// The descriptor fields of a USB device directory.
std::optional<UsbDeviceDescriptor> ReadDeviceDescriptor(const std::string &usbDeviceDir);
} // namespace vxdev
