#pragma once

#include "platform/mtp/MtpDeviceManager.h"

#include <cstdint>
#include <functional>
#include <memory>
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

// One alternate setting of an interface, as its descriptor gives it.
struct UsbInterfaceSetting
{
    std::uint8_t number = 0;
    std::uint8_t altSetting = 0;
    std::uint8_t cls = 0, subClass = 0, protocol = 0;
    std::uint8_t stringIndex = 0; // iInterface
    MtpEndpoints endpoints;
};

// One device on the bus as discovery sees it. The IDs, the location and the interfaces come from
// descriptors the system already holds; only ReadString and OpenInterface open the device (and so
// may wake it from suspend or disturb its driver).
class UsbBusDevice
{
  public:
    virtual ~UsbBusDevice() = default;
    virtual bool Ids(std::uint16_t &vendorId, std::uint16_t &productId) = 0;
    virtual UsbLocation Location() = 0;
    // The interfaces of the active configuration (else the first one).
    virtual bool Interfaces(std::vector<UsbInterfaceSetting> &settings) = 0;
    // A string descriptor as ASCII; empty when there is none or it cannot be read.
    virtual std::string ReadString(std::uint8_t index) = 0;
    virtual TransferStatus OpenInterface(const UsbInterfaceSetting &setting,
                                         std::unique_ptr<PtpTransport> &transport) = 0;
};

using UsbBus = std::vector<std::shared_ptr<UsbBusDevice>>;
using UsbBusSource = std::function<UsbBus()>;
// Replaces the libusb device list for the whole process (tests); an empty source restores it.
void SetUsbBusSource(UsbBusSource source);

// The MTP interfaces of the bus's devices whose IDs match (0 matches any), in bus/port order.
// A device of other IDs is never opened; of the rest, a vendor-specific interface is opened to
// read its name.
std::vector<MtpDeviceCandidate> DiscoverMtpDevices(const UsbBus &bus, std::uint16_t vendorId,
                                                   std::uint16_t productId);

// The same over the USB bus. Finds nothing, without failing, when there is no USB bus or libusb
// cannot start.
std::vector<MtpDeviceCandidate> DiscoverUsbMtpDevices(std::uint16_t vendorId = 0, std::uint16_t productId = 0);
} // namespace vxmtp
