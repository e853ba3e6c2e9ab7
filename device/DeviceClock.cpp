#include "device/DeviceClock.h"

#include "device/DeviceCommandSession.h"
#include "device/DeviceMutex.h"
#include "device/UlvexDevice.h"

bool SetDeviceClock(UlvexDevice &device, DeviceCommandSession &session)
{
    DeviceLock lock(DeviceMutex());
    switch (device.GetDeviceType())
    {
    case DeviceType::Hid:
        return session.SetClock();
    case DeviceType::Mtp:
        return device.ReadMtpInfo() && device.SetClockMtp();
    case DeviceType::MassStorage:
        return device.SetClockScsi();
    case DeviceType::None:
        break;
    }
    return false;
}
