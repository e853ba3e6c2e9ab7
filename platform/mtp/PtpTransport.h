#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxmtp
{
enum class TransferStatus
{
    Ok,
    Timeout,
    Stall,
    NoDevice,
    Busy, // the interface is held by another program
    Error,
};

// The two bulk pipes of a PTP interface. The USB transport implements it over libusb; tests put
// a simulated monitor behind it.
class PtpTransport
{
  public:
    virtual ~PtpTransport() = default;

    // Sends the whole buffer as one transfer (split into packets of maxPacketSize). An empty buffer
    // sends one zero-length packet.
    virtual TransferStatus bulkOut(std::span<const std::uint8_t> data, unsigned timeoutMs) = 0;

    // One transfer into the buffer: it ends when the buffer is full or a packet shorter than
    // maxPacketSize (a zero-length packet included) arrives. The caller passes a buffer whose
    // size is a multiple of maxPacketSize.
    virtual TransferStatus bulkIn(std::span<std::uint8_t> buffer, std::size_t &received,
                                  unsigned timeoutMs) = 0;

    virtual std::size_t maxPacketSize() const = 0;

    // Class-specific requests of the still-image class to the interface over the control pipe:
    // Cancel Request and Device Reset go out (data may be empty), Get Device Status comes in. A
    // transport that has no control pipe fails them, and the session then cannot recover a
    // broken transaction.
    virtual TransferStatus classRequestOut(std::uint8_t request, std::span<const std::uint8_t> data,
                                           unsigned timeoutMs)
    {
        (void)request, (void)data, (void)timeoutMs;
        return TransferStatus::Error;
    }
    virtual TransferStatus classRequestIn(std::uint8_t request, std::span<std::uint8_t> buffer,
                                          std::size_t &received, unsigned timeoutMs)
    {
        (void)request, (void)buffer, (void)timeoutMs;
        received = 0;
        return TransferStatus::Error;
    }
    // Clears a halt on one of the interface's bulk endpoints (by direction).
    virtual TransferStatus clearHalt(bool bulkInEndpoint, unsigned timeoutMs)
    {
        (void)bulkInEndpoint, (void)timeoutMs;
        return TransferStatus::Error;
    }
};

// The still-image class requests.
constexpr std::uint8_t kClassCancelRequest = 0x64;
constexpr std::uint8_t kClassDeviceReset = 0x66;
constexpr std::uint8_t kClassGetDeviceStatus = 0x67;
constexpr std::uint16_t kCancellationCode = 0x4001;
} // namespace vxmtp
