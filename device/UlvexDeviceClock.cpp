#include "device/UlvexDevice.h"

#include "device/DeviceMutex.h"
#include "platform/dev/DeviceOpen.h"
#include "platform/sys/LocalTime.h"

#include <algorithm>
#include <array>
#include <ctime>

namespace
{
constexpr unsigned short kMtpOpPrepareClock = 0x9D04;
constexpr unsigned short kMtpOpSetClock = 0x9D03;
constexpr std::size_t kMtpClockRecordLength = 36;
constexpr std::size_t kScsiClockCdbLength = 9;
constexpr std::size_t kScsiClockReadLength = 2;
constexpr std::size_t kMtpVersionSize = 100;

// Now, broken down as local time (month counted from 0).
bool LocalNow(std::tm &local)
{
    const std::time_t now = static_cast<std::time_t>(vxsys::CurrentTime());
    if (!localtime_r(&now, &local))
        return false;
    // A leap second is not a second the monitor knows.
    local.tm_sec = std::min(local.tm_sec, 59);
    return true;
}

void PutU32(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Six little-endian 32-bit fields (year, month 0-11, day, hour, minute, second) and 12 zero bytes.
std::array<std::uint8_t, kMtpClockRecordLength> MtpClockRecord(const std::tm &local)
{
    std::array<std::uint8_t, kMtpClockRecordLength> record{};
    const int fields[] = {local.tm_year + 1900, local.tm_mon, local.tm_mday,
                          local.tm_hour,        local.tm_min, local.tm_sec};
    for (std::size_t i = 0; i < 6; ++i)
        PutU32(record.data() + 4 * i, static_cast<std::uint32_t>(fields[i]));
    return record;
}

std::array<unsigned char, kScsiClockCdbLength> ScsiClockCdb(const std::tm &local)
{
    const int year = local.tm_year + 1900;
    return {0xE0,
            0x01,
            static_cast<unsigned char>(year & 0xFF),
            static_cast<unsigned char>((year >> 8) & 0xFF),
            static_cast<unsigned char>(local.tm_mon),
            static_cast<unsigned char>(local.tm_mday),
            static_cast<unsigned char>(local.tm_hour),
            static_cast<unsigned char>(local.tm_min),
            static_cast<unsigned char>(local.tm_sec)};
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
    std::tm local{};
    if (!LocalNow(local))
        return false;
    auto record = MtpClockRecord(local);
    unsigned int length = static_cast<unsigned int>(record.size());
    return SendMtpCommand(kMtpOpSetClock, ULVEX_MTP_PHASE_WRITE, record.data(), &length);
}

bool UlvexDevice::SetClockScsi()
{
    if (!m_pfnOpenSCSIDevice || !m_pfnSendSCSICmd)
        return false;
    std::tm local{};
    if (!LocalNow(local))
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
