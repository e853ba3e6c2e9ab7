#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <scsi/sg.h>

// SCSI pass-through on a disk's device node with SG_IO, behind a seam that tests replace.
// Sending a vendor command to a disk needs CAP_SYS_RAWIO besides access to the node.
namespace vxdev
{
enum class ScsiDirection
{
    None,       // no data phase
    ToDevice,   // the host writes data
    FromDevice, // the host reads data
};

struct ScsiCommand
{
    const std::uint8_t *cdb = nullptr;
    std::uint8_t cdbLength = 0; // 1..16
    ScsiDirection direction = ScsiDirection::None;
    std::uint8_t *data = nullptr;
    std::uint32_t dataLength = 0;
    std::uint8_t *sense = nullptr; // receives up to senseLength bytes of sense data
    std::uint8_t senseLength = 0;
    std::uint32_t timeoutSeconds = 120;
};

struct ScsiResult
{
    std::uint8_t scsiStatus = 0; // the target's status byte (2: check condition)
    std::uint8_t senseWritten = 0;
};

// Performs the ioctl on fd; returns what ioctl returns (-1 on failure).
using SgIoFn = std::function<int(int fd, sg_io_hdr_t &header)>;

// Replaces the SG_IO call (an empty function restores the real ioctl); returns the previous one.
SgIoFn SetSgIo(SgIoFn fn);

// Sends one command. False when the arguments are unusable (no CDB, a length of 0 or above
// 16, a data length without data), when the call fails, or when the host adapter or the
// driver reports an error; a command the target completed with a status other than 0
// is delivered (true) with that status in result.scsiStatus.
bool ScsiPassThrough(int fd, const ScsiCommand &command, ScsiResult &result);
} // namespace vxdev
