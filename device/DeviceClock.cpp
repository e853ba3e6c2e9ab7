#include "device/DeviceClock.h"

#include "platform/sys/LocalTime.h"

#include <algorithm>

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

bool MonitorClockNow(vxsys::LocalFields &fields)
{
    if (!vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &fields))
        return false;
    fields.second = std::min(fields.second, 59);
    return true;
}
