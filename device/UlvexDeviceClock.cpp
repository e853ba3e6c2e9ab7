#include "device/UlvexDevice.h"

#include "device/DeviceMutex.h"
#include "device/MonitorClockTime.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/sys/LocalTime.h"

#include <array>

namespace
{
constexpr unsigned short kMtpOpPrepareClock = 0x9D04;
constexpr unsigned short kMtpOpSetClock = 0x9D03;
constexpr std::size_t kMtpClockRecordLength = 36;
constexpr std::size_t kScsiClockCdbLength = 9;
constexpr std::size_t kScsiClockReadLength = 2;
constexpr std::size_t kMtpVersionSize = 100;

void PutU32(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Six little-endian 32-bit fields (year, month 0-11, day, hour, minute, second) and 12 zero bytes.
std::array<std::uint8_t, kMtpClockRecordLength> MtpClockRecord(const vxsys::LocalFields &local)
{
    std::array<std::uint8_t, kMtpClockRecordLength> record{};
    const int fields[] = {local.year, local.month - 1, local.day, local.hour, local.minute, local.second};
    for (std::size_t i = 0; i < 6; ++i)
        PutU32(record.data() + 4 * i, static_cast<std::uint32_t>(fields[i]));
    return record;
}

std::array<unsigned char, kScsiClockCdbLength> ScsiClockCdb(const vxsys::LocalFields &local)
{
    const int year = local.year;
    return {0xE0,
            0x01,
            static_cast<unsigned char>(year & 0xFF),
            static_cast<unsigned char>((year >> 8) & 0xFF),
            static_cast<unsigned char>(local.month - 1),
            static_cast<unsigned char>(local.day),
            static_cast<unsigned char>(local.hour),
            static_cast<unsigned char>(local.minute),
            static_cast<unsigned char>(local.second)};
}

// Gives the device reference back when the command is done, whatever happened.
struct MtpDeviceReference
{
    ULVEX_MTP_DEVICE *device = nullptr;
    MtpDeviceReference() = default;
    MtpDeviceReference(const MtpDeviceReference &) = delete;
    MtpDeviceReference &operator=(const MtpDeviceReference &) = delete;
    ~MtpDeviceReference() { UlvexMtpDeviceRelease(device); }
};
} // namespace

bool UlvexDevice::SendMtpCommand(unsigned short operationCode, unsigned int nextPhase, unsigned char *data,
                                 unsigned int *dataLength)
{
    DeviceLock lock(DeviceMutex());
    char manufacturer[ULVEX_MANUFACTURER_SIZE] = {};
    char version[kMtpVersionSize] = {};
    MtpDeviceReference reference;
    if (!m_pfnGetVersionStringbyMtpInfo(HexToU16(m_szVendorId), HexToU16(m_szProductId), manufacturer,
                                        version, sizeof version, &reference.device) ||
        !reference.device)
        return false;
    unsigned int returnParams[ULVEX_MTP_MAX_PARAMS] = {};
    unsigned int returnCount = 0;
    return m_pfnSendMTPCmd(reference.device, operationCode, nullptr, 0, nextPhase, returnParams, &returnCount,
                           data, dataLength) != 0;
}

bool UlvexDevice::ReadMtpInfo()
{
    if (m_nDeviceType != DeviceType::Mtp || !m_pfnGetVersionStringbyMtpInfo || !m_pfnSendMTPCmd)
        return false;
    return SendMtpCommand(kMtpOpPrepareClock, ULVEX_MTP_PHASE_NONE, nullptr, nullptr);
}

bool UlvexDevice::SetClockMtp()
{
    if (m_nDeviceType != DeviceType::Mtp || !m_pfnGetVersionStringbyMtpInfo || !m_pfnSendMTPCmd)
        return false;
    vxsys::LocalFields local{};
    if (!MonitorClockNow(local))
        return false;
    auto record = MtpClockRecord(local);
    unsigned int length = static_cast<unsigned int>(record.size());
    return SendMtpCommand(kMtpOpSetClock, ULVEX_MTP_PHASE_WRITE, record.data(), &length);
}

bool UlvexDevice::SetClockScsi()
{
    if (!m_pfnOpenSCSIDevice || !m_pfnSendSCSICmd)
        return false;
    vxsys::LocalFields local{};
    if (!MonitorClockNow(local))
        return false;
    const auto cdb = ScsiClockCdb(local);

    DeviceLock lock(DeviceMutex());
    const ULVEX_HANDLE handle = m_pfnOpenSCSIDevice(m_szVendorId, m_szProductId);
    if (handle == ULVEX_INVALID_HANDLE_VALUE || handle < 0)
        return false;
    unsigned char answer[kScsiClockReadLength] = {};
    const bool sent = m_pfnSendSCSICmd(handle, cdb.data(), static_cast<unsigned char>(cdb.size()), nullptr, 0,
                                       0, answer, sizeof answer) != 0;
    vxdev::CloseHandle(handle);
    return sent;
}
