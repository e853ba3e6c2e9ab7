#include "usbaccess/UlvexMtp.h"

#include "platform/dev/UsbSerialKey.h"
#include "platform/mtp/MtpCustomCommand.h"
#include "platform/sys/TextConvert.h"
#include "usbaccess/UlvexText.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace ulvex
{
namespace
{
struct MtpDeviceReference : ULVEX_MTP_DEVICE
{
    std::atomic<unsigned long> count{1};
    std::shared_ptr<vxmtp::MtpDevice> device;
};

unsigned long AddRefReference(ULVEX_MTP_DEVICE *reference)
{
    return ++static_cast<MtpDeviceReference *>(reference)->count;
}

unsigned long ReleaseReference(ULVEX_MTP_DEVICE *reference)
{
    auto *self = static_cast<MtpDeviceReference *>(reference);
    const unsigned long left = --self->count;
    if (left == 0)
        delete self;
    return left;
}

const ULVEX_MTP_DEVICE_VTBL kReferenceTable = {AddRefReference, ReleaseReference};

} // namespace

ULVEX_MTP_DEVICE *NewMtpDeviceReference(std::shared_ptr<vxmtp::MtpDevice> device)
{
    auto *reference = new MtpDeviceReference;
    reference->vtbl = &kReferenceTable;
    reference->device = std::move(device);
    return reference;
}

vxmtp::MtpDevice *MtpDeviceOf(ULVEX_MTP_DEVICE *reference)
{
    if (reference == nullptr || reference->vtbl != &kReferenceTable)
        return nullptr;
    return static_cast<MtpDeviceReference *>(reference)->device.get();
}

ULVEX_BOOL SendCustomCommand(const CustomCommandControl &control, unsigned short operationCode,
                             const unsigned int *params, unsigned int paramCount, unsigned int nextPhase,
                             unsigned int *returnParams, unsigned int *returnCount, unsigned char *data,
                             unsigned int *dataLength)
{
    if (returnParams == nullptr || returnCount == nullptr)
        return 0;
    if (paramCount > ULVEX_MTP_MAX_PARAMS || (paramCount > 0 && params == nullptr))
        return 0;
    if (nextPhase != ULVEX_MTP_PHASE_READ && nextPhase != ULVEX_MTP_PHASE_WRITE &&
        nextPhase != ULVEX_MTP_PHASE_NONE)
        return 0;
    if (nextPhase != ULVEX_MTP_PHASE_NONE && (data == nullptr || dataLength == nullptr))
        return 0;
    if (nextPhase == ULVEX_MTP_PHASE_WRITE && *dataLength > ULVEX_MTP_MAX_WRITE)
        return 0;

    vxmtp::MtpCommandDataIn in{};
    in.opCode = operationCode;
    in.numParams = paramCount;
    for (unsigned int i = 0; i < paramCount; ++i)
        in.params[i] = params[i];
    in.nextPhase = nextPhase;
    std::size_t inSize = vxmtp::kCommandDataInFixedSize;
    if (nextPhase == ULVEX_MTP_PHASE_WRITE)
    {
        in.writeDataSize = *dataLength;
        std::memcpy(in.writeData, data, *dataLength);
        inSize = sizeof in;
    }
    std::vector<std::uint8_t> inBytes(inSize);
    std::memcpy(inBytes.data(), &in, inSize);

    std::vector<std::uint8_t> outBytes(sizeof(vxmtp::MtpCommandDataOut), 0);
    if (!control(inBytes, outBytes))
        return 0;
    vxmtp::MtpCommandDataOut out;
    std::memcpy(&out, outBytes.data(), sizeof out);
    if (out.responseCode != vxmtp::kRespOk)
        return 0;
    // Nothing is written past the caller's buffer: more data than it holds is a failure.
    if (nextPhase == ULVEX_MTP_PHASE_READ &&
        (out.readDataSize > ULVEX_MTP_MAX_READ || out.readDataSize > *dataLength))
        return 0;

    if (nextPhase == ULVEX_MTP_PHASE_READ)
    {
        std::memcpy(data, out.readData, out.readDataSize);
        *dataLength = out.readDataSize;
    }
    const std::uint32_t claimed = out.numReturnParams; // a packed field: read by value only
    const unsigned int count = std::min<std::uint32_t>(claimed, ULVEX_MTP_MAX_PARAMS);
    for (unsigned int i = 0; i < count; ++i)
        returnParams[i] = out.returnParams[i];
    *returnCount = count;
    return 1;
}
} // namespace ulvex

extern "C" ULVEX_BOOL GetVersionStringbyMtpInfo(unsigned short vendor, unsigned short product,
                                                char *manufacturer, char *version,
                                                unsigned int versionCapacity, ULVEX_MTP_DEVICE **device)
{
    if (device != nullptr)
        *device = nullptr;
    try
    {
        // Only devices with exactly these IDs count (the device manager reads 0 as "any").
        for (const auto &mtp : vxmtp::MtpDeviceManager::EnumerateDevices(vendor, product))
        {
            if (mtp->Location().vendorId != vendor || mtp->Location().productId != product ||
                !vxdev::UsbSerialIsEnumerated(vendor, product, vxsys::Utf16ToUtf8(mtp->SerialNumber())))
                continue;
            ulvex::CopyTerminated(manufacturer, ULVEX_MANUFACTURER_SIZE,
                                  vxsys::Utf16ToLatin1(mtp->Manufacturer()));
            ulvex::CopyCleared(version, versionCapacity, vxsys::Utf16ToLatin1(mtp->FirmwareVersion()));
            if (device != nullptr)
                *device = ulvex::NewMtpDeviceReference(mtp);
            return 1;
        }
    }
    catch (...)
    {
    }
    return 0;
}

extern "C" int GetMtpDeviceInfo(char **vendorIds, char **productIds, char **manufacturers, char **versions,
                                unsigned int versionCapacity, int maximum)
{
    if (vendorIds == nullptr || productIds == nullptr || maximum <= 0)
        return 0;
    int count = 0;
    try
    {
        for (const vxdev::DeviceInterfaceRecord &usb :
             vxdev::EnumerateInterfaces(vxdev::InterfaceClass::UsbDevice))
        {
            if (count >= maximum)
                break;
            const ulvex::PathIds ids = ulvex::IdsOfPath(usb.interfacePath);
            if (ids.vendor.empty() || ids.product.empty())
                continue;
            char *manufacturer = manufacturers != nullptr ? manufacturers[count] : nullptr;
            char *version = versions != nullptr ? versions[count] : nullptr;
            if (!GetVersionStringbyMtpInfo(static_cast<unsigned short>(a16toi(ids.vendor.c_str())),
                                           static_cast<unsigned short>(a16toi(ids.product.c_str())),
                                           manufacturer, version, versionCapacity, nullptr))
                continue;
            ulvex::CopyTerminated(vendorIds[count], ULVEX_ID_TEXT_SIZE, ids.vendor);
            ulvex::CopyTerminated(productIds[count], ULVEX_ID_TEXT_SIZE, ids.product);
            ++count;
        }
    }
    catch (...)
    {
    }
    return count;
}

extern "C" ULVEX_BOOL SendMTPCmd(ULVEX_MTP_DEVICE *device, unsigned short operationCode,
                                 const unsigned int *params, unsigned int paramCount, unsigned int nextPhase,
                                 unsigned int *returnParams, unsigned int *returnCount, unsigned char *data,
                                 unsigned int *dataLength)
{
    try
    {
        vxmtp::MtpDevice *mtp = ulvex::MtpDeviceOf(device);
        if (mtp == nullptr)
            return 0;
        const auto control = [mtp](std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
            return vxmtp::MtpDeviceIoControl(*mtp, vxmtp::kIoctlMtpCustomCommand, in, out);
        };
        return ulvex::SendCustomCommand(control, operationCode, params, paramCount, nextPhase, returnParams,
                                        returnCount, data, dataLength);
    }
    catch (...)
    {
        return 0;
    }
}
