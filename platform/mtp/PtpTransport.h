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
};
} // namespace vxmtp
