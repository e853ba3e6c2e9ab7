#include "platform/dev/DevRoots.h"
#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Sysfs.h"

#include <algorithm>

namespace vxdev
{
// hidraw nodes whose HID device sits on the USB bus (bus 0003); Bluetooth and I2C HID
// devices have no USB identity and are left out.
std::vector<DeviceInterfaceRecord> EnumerateHidDevices()
{
    const vxdev::SysfsCallScope scope;
    const std::string classDir = SysfsRoot() + "/class/hidraw";
    std::vector<std::string> names = ListDir(classDir);
    std::sort(names.begin(), names.end(), NaturalLess);

    std::vector<DeviceInterfaceRecord> records;
    for (const std::string &name : names)
    {
        auto hidDir = Canonical(classDir + "/" + name + "/device");
        if (!hidDir)
            continue;
        auto instance = InstanceIdOfSysfsDevice(*hidDir);
        if (!instance || instance->compare(0, 4, "HID\\") != 0)
            continue;
        DeviceInterfaceRecord record;
        record.instanceId = *instance;
        record.interfacePath = MakeInterfacePath(*instance, InterfaceClass::Hid);
        record.parentInstanceId = ParentInstanceIdOfSysfsDevice(*hidDir).value_or("");
        record.sysfsDir = *hidDir;
        record.devNode = DevRoot() + "/" + name;
        records.push_back(std::move(record));
    }
    return records;
}
} // namespace vxdev
