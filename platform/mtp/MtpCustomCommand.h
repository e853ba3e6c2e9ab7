#pragma once

// The custom-command control of a media-device-manager device: one vendor operation described by a
// byte-packed input record, answered in a byte-packed output record. The records keep the layout
// that callers written for the media device manager fill and read.
//
// Input record: operation code, parameter count, five parameter slots, next phase, write-data size,
// then a 1024-byte write-data area. A command without data sends only the 34-byte fixed part.
// Output record: response code, return-parameter count, five return-parameter slots, read-data
// size, then a 2048-byte read-data area (2078 bytes in all).

#include "platform/mtp/MtpDeviceManager.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxmtp
{
// The control code of the custom command.
constexpr std::uint32_t kIoctlMtpCustomCommand = 0x3150544D;

// Next-phase values of the input record.
constexpr std::uint32_t kNextPhaseReadData = 1;  // the host reads data from the device
constexpr std::uint32_t kNextPhaseWriteData = 2; // the host writes data to the device
constexpr std::uint32_t kNextPhaseNoData = 3;

constexpr std::size_t kCommandMaxParams = 5;
constexpr std::size_t kCommandWriteDataSize = 1024;
constexpr std::size_t kCommandReadDataSize = 2048;

#pragma pack(push, 1)
struct MtpCommandDataIn
{
    std::uint16_t opCode;
    std::uint32_t numParams;
    std::uint32_t params[kCommandMaxParams];
    std::uint32_t nextPhase;
    std::uint32_t writeDataSize;
    std::uint8_t writeData[kCommandWriteDataSize];
};

struct MtpCommandDataOut
{
    std::uint16_t responseCode;
    std::uint32_t numReturnParams;
    std::uint32_t returnParams[kCommandMaxParams];
    std::uint32_t readDataSize;
    std::uint8_t readData[kCommandReadDataSize];
};
#pragma pack(pop)

constexpr std::size_t kCommandDataInFixedSize = offsetof(MtpCommandDataIn, writeData);
constexpr std::size_t kCommandDataOutFixedSize = offsetof(MtpCommandDataOut, readData);
static_assert(kCommandDataInFixedSize == 34 && sizeof(MtpCommandDataIn) == 1058);
static_assert(kCommandDataOutFixedSize == 30 && sizeof(MtpCommandDataOut) == 2078);

// Runs the command of the input record on the device and fills the output record.
//
// The call fails (false, output untouched) when the control code is not kIoctlMtpCustomCommand, when
// the input is shorter than its fixed part or than the write data it announces, when it names more
// than five parameters or a phase outside 1-3, when the output cannot hold its fixed part or the data
// the device sent, or when the transaction did not complete on the bus. A transaction the device
// answered succeeds whatever its response code; the code is in the output record.
bool MtpDeviceIoControl(MtpDevice &device, std::uint32_t controlCode, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out);
} // namespace vxmtp
