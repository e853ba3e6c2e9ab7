#pragma once

#include "platform/mtp/MtpDeviceManager.h"
#include "usbaccess/ulvex_api.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

// The MTP side of Ulvex (not exported).
namespace ulvex
{
// A new device reference with a count of 1.
ULVEX_MTP_DEVICE *NewMtpDeviceReference(std::shared_ptr<vxmtp::MtpDevice> device);

// The facade device behind a reference made by NewMtpDeviceReference; null for null or for an
// object that did not come from here.
vxmtp::MtpDevice *MtpDeviceOf(ULVEX_MTP_DEVICE *reference);

// Carries one custom command: the input record in, the output record out; false when the control
// call failed.
using CustomCommandControl =
    std::function<bool(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)>;

// SendMTPCmd after its device check: argument checks, the input record, the control call and the
// outputs taken from the output record.
ULVEX_BOOL SendCustomCommand(const CustomCommandControl &control, unsigned short operationCode,
                             const unsigned int *params, unsigned int paramCount, unsigned int nextPhase,
                             unsigned int *returnParams, unsigned int *returnCount, unsigned char *data,
                             unsigned int *dataLength);
} // namespace ulvex
