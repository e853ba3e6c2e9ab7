#include "platform/mtp/MtpCustomCommand.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vxmtp
{
bool MtpDeviceIoControl(MtpDevice &device, std::uint32_t controlCode, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out)
{
    if (controlCode != kIoctlMtpCustomCommand || in.size() < kCommandDataInFixedSize ||
        out.size() < kCommandDataOutFixedSize)
        return false;

    MtpCommandDataIn command{};
    std::memcpy(&command, in.data(), std::min(in.size(), sizeof command));
    if (command.numParams > kCommandMaxParams)
        return false;

    DataPhase phase = DataPhase::None;
    std::vector<std::uint8_t> data;
    switch (command.nextPhase)
    {
    case kNextPhaseReadData:
        phase = DataPhase::In;
        break;
    case kNextPhaseWriteData:
        // The data must lie inside both the record's area and what the caller passed.
        if (command.writeDataSize > kCommandWriteDataSize ||
            in.size() < kCommandDataInFixedSize + command.writeDataSize)
            return false;
        phase = DataPhase::Out;
        data.assign(command.writeData, command.writeData + command.writeDataSize);
        break;
    case kNextPhaseNoData:
        break;
    default:
        return false;
    }

    const std::uint32_t params[kCommandMaxParams] = {command.params[0], command.params[1], command.params[2],
                                                     command.params[3], command.params[4]};
    const PtpResult r =
        device.SendVendorOperation(command.opCode, std::span(params, command.numParams), phase, &data);
    if (!r.Completed())
        return false;
    if (phase == DataPhase::In && data.size() > out.size() - kCommandDataOutFixedSize)
        return false; // the output cannot hold what the device sent

    MtpCommandDataOut answer{};
    answer.responseCode = r.code;
    // The record's fields are packed: they are assigned one by one, never through a pointer.
    const std::size_t count = std::min(r.params.size(), kCommandMaxParams);
    answer.numReturnParams = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i)
        answer.returnParams[i] = r.params[i];
    if (phase == DataPhase::In)
        answer.readDataSize = static_cast<std::uint32_t>(data.size());
    std::memcpy(out.data(), &answer, kCommandDataOutFixedSize);
    if (!data.empty() && phase == DataPhase::In)
        std::memcpy(out.data() + kCommandDataOutFixedSize, data.data(), data.size());
    return true;
}
} // namespace vxmtp
