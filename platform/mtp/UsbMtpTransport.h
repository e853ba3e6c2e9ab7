#pragma once

#include "platform/mtp/MtpDeviceManager.h"

#include <cstdint>
#include <string>
#include <vector>

struct libusb_interface_descriptor;

namespace vxmtp
{
// Endpoints of an MTP interface, 0 when missing.
struct MtpEndpoints
{
    std::uint8_t bulkIn = 0;
    std::uint8_t bulkOut = 0;
    std::uint8_t interruptIn = 0;
    std::uint16_t maxPacketSize = 0; // of the bulk-in endpoint

    bool Complete() const { return bulkIn != 0 && bulkOut != 0 && interruptIn != 0; }
};

// Still image class 6/1/1, or a vendor-specific interface (class 0xFF) whose string is "MTP".
bool IsMtpInterfaceClass(std::uint8_t cls, std::uint8_t subClass, std::uint8_t protocol,
                         const std::string &interfaceString);
// True when the class is 0xFF and the interface's string must be read to decide.
bool NeedsInterfaceString(std::uint8_t cls);
MtpEndpoints FindMtpEndpoints(const libusb_interface_descriptor &alt);

// The MTP interfaces on the USB bus in bus/port order. Finds nothing, without failing, when there
// is no USB bus or libusb cannot start.
std::vector<MtpDeviceCandidate> DiscoverUsbMtpDevices();
} // namespace vxmtp
