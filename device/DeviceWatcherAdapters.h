#pragma once

// The watcher's views of the program's own device objects. Each adapter refers to an object the
// main dialog owns (the dialog keeps it alive as long as the watcher thread runs) and holds the
// device mutex around every call, so a check and a transfer never interleave on the device.

#include "device/DeviceCommandSession.h"
#include "device/DeviceWatcher.h"
#include "device/UlvexDevice.h"

class UlvexWatcherBinding : public DeviceWatcherBinding
{
  public:
    UlvexWatcherBinding(UlvexDevice &device, UsbIdPair &ids) : m_device(device), m_ids(ids) {}

    void SetIds(const char *vendorId, const char *productId) override;
    bool IsPresent() override;
    DeviceType DetectType() override;
    bool GetSerial(char *identity) override;
    bool GetDriveLetter(char *letter) override;
    UsbIdPair UsbIds() const override;

  private:
    UlvexDevice &m_device;
    UsbIdPair &m_ids;
};

class SessionWatcherHid : public DeviceWatcherHid
{
  public:
    explicit SessionWatcherHid(DeviceCommandSession &session) : m_session(session) {}

    void SetIds(const char *vendorId, const char *productId) override;
    bool ReadDeviceInfo(std::uint16_t &state, std::uint8_t &major, std::uint8_t &minor, std::uint8_t &build,
                        std::uint16_t &value, char *identity) override;
    std::int32_t GetState() const override;

  private:
    DeviceCommandSession &m_session;
};

// The finder over the media-device-manager transfer (WmdmDeviceFinder).
class WmdmWatcherMtp : public DeviceWatcherMtp
{
  public:
    bool FindDevice(std::uint16_t vendorId, std::uint16_t productId, char *identity,
                    std::size_t capacity) override;
};
