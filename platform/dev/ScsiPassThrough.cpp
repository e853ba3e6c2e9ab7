#include "platform/dev/ScsiPassThrough.h"

#include <climits>
#include <mutex>
#include <sys/ioctl.h>
#include <utility>

namespace vxdev
{
namespace
{
// The low three bits of the driver status carry an error code; bit 3 only says that sense
// data came back, which the SCSI status already reports.
constexpr unsigned kDriverErrorMask = 0x07;

std::mutex &SeamMutex()
{
    static std::mutex mutex;
    return mutex;
}

SgIoFn &Seam()
{
    static SgIoFn fn;
    return fn;
}

int RealSgIo(int fd, sg_io_hdr_t &header)
{
    return ::ioctl(fd, SG_IO, &header);
}
} // namespace

SgIoFn SetSgIo(SgIoFn fn)
{
    std::lock_guard<std::mutex> lock(SeamMutex());
    return std::exchange(Seam(), std::move(fn));
}

bool ScsiPassThrough(int fd, const ScsiCommand &command, ScsiResult &result)
{
    result = ScsiResult{};
    if (fd < 0 || command.cdb == nullptr || command.cdbLength == 0 || command.cdbLength > 16)
        return false;
    if (command.direction != ScsiDirection::None && command.dataLength > 0 && command.data == nullptr)
        return false;
    if (command.timeoutSeconds > UINT_MAX / 1000)
        return false;

    // The kernel may write the CDB buffer back; keep the caller's bytes untouched.
    unsigned char cdb[16] = {};
    for (std::uint8_t i = 0; i < command.cdbLength; ++i)
        cdb[i] = command.cdb[i];

    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmdp = cdb;
    header.cmd_len = command.cdbLength;
    header.sbp = command.sense;
    header.mx_sb_len = command.sense != nullptr ? command.senseLength : 0;
    header.timeout = command.timeoutSeconds * 1000;
    if (command.direction == ScsiDirection::None || command.dataLength == 0)
    {
        header.dxfer_direction = SG_DXFER_NONE;
    }
    else
    {
        header.dxfer_direction =
            command.direction == ScsiDirection::ToDevice ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
        header.dxferp = command.data;
        header.dxfer_len = command.dataLength;
    }

    SgIoFn fn;
    {
        std::lock_guard<std::mutex> lock(SeamMutex());
        fn = Seam();
    }
    const int rc = fn ? fn(fd, header) : RealSgIo(fd, header);
    if (rc < 0)
        return false;
    if (header.host_status != 0 || (header.driver_status & kDriverErrorMask) != 0)
        return false;
    result.scsiStatus = header.status;
    result.senseWritten = header.sb_len_wr;
    return true;
}
} // namespace vxdev
