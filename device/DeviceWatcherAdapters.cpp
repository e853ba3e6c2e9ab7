#include "device/DeviceWatcherAdapters.h"

#include "device/DeviceMutex.h"
#include "device/WmdmTransfer.h"

static_assert(kDeviceIdSize == UlvexDevice::kIdentitySize &&
              kDeviceIdSize == DeviceCommandSession::kIdentityLength);

void UlvexWatcherBinding::SetIds(const char *vendorId, const char *productId)
{
    DeviceLock lock(DeviceMutex());
    m_device.SetIds(vendorId, productId);
    m_ids.SetFromHex(vendorId, productId);
}

bool UlvexWatcherBinding::IsPresent()
{
    DeviceLock lock(DeviceMutex());
    return m_device.IsPresent();
}

DeviceType UlvexWatcherBinding::DetectType()
{
    DeviceLock lock(DeviceMutex());
    m_device.DetectType();
    return m_device.GetDeviceType();
}

bool UlvexWatcherBinding::GetSerial(char *identity)
{
    DeviceLock lock(DeviceMutex());
    return m_device.GetSerial(identity);
}

bool UlvexWatcherBinding::GetDriveLetter(char *letter)
{
    DeviceLock lock(DeviceMutex());
    return m_device.GetDriveLetter(letter);
}

UsbIdPair UlvexWatcherBinding::UsbIds() const
{
    DeviceLock lock(DeviceMutex());
    return m_ids;
}

void SessionWatcherHid::SetIds(const char *vendorId, const char *productId)
{
    DeviceLock lock(DeviceMutex());
    m_session.SetIds(vendorId, productId);
}

bool SessionWatcherHid::ReadDeviceInfo(std::uint16_t &state, std::uint8_t &major, std::uint8_t &minor,
                                       std::uint8_t &build, std::uint16_t &value, char *identity)
{
    DeviceLock lock(DeviceMutex());
    return m_session.ReadDeviceInfo(state, major, minor, build, value, identity);
}

std::int32_t SessionWatcherHid::GetState() const
{
    DeviceLock lock(DeviceMutex());
    return m_session.GetState();
}

bool WmdmWatcherMtp::FindDevice(std::uint16_t vendorId, std::uint16_t productId, char *identity,
                                std::size_t capacity)
{
    DeviceLock lock(DeviceMutex());
    return WmdmDeviceFinder(vendorId, productId, identity, capacity);
}
