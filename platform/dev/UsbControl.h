#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Control transfers on a USB device through usbfs (USBDEVFS_CONTROL), behind a seam
// that tests replace with a simulated device.
namespace vxdev
{
struct UsbControlSetup
{
    std::uint8_t bRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

// Performs one transfer on the usbfs node; data holds wLength bytes. Returns the number of
// bytes transferred, or -1.
using UsbControlTransferFn =
    std::function<int(const std::string &deviceNode, const UsbControlSetup &setup, unsigned char *data)>;

// Replaces the transfer (an empty function restores the usbfs one); returns the previous one.
UsbControlTransferFn SetUsbControlTransfer(UsbControlTransferFn fn);

int UsbControlTransfer(const std::string &deviceNode, const UsbControlSetup &setup, unsigned char *data);

// GET_DESCRIPTOR (string) for the device on a hub port: wValue 0x0300 + index, wIndex
// langId, wLength 255. Fills buffer (at least 255 bytes) and returns the byte count, or -1
// when the port is empty, the device has no node, or the transfer fails.
int GetStringDescriptorOnHubPort(const std::string &hubSysfsDir, int port, std::uint8_t index,
                                 std::uint16_t langId, unsigned char *buffer);
} // namespace vxdev
