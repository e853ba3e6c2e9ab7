#include "platform/dev/DevRoots.h"
#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Sysfs.h"

#include <algorithm>

namespace vxdev
{
namespace
{
struct UsbEntry
{
    std::string name;
    std::string dir; // canonical
};

// Every entry of /sys/bus/usb/devices that resolves, in bus and port order.
std::vector<UsbEntry> ListUsbBus()
{
    const std::string bus = SysfsRoot() + "/bus/usb/devices";
    std::vector<UsbEntry> entries;
    for (const std::string &name : ListDir(bus))
    {
        if (auto dir = Canonical(bus + "/" + name))
            entries.push_back({name, *dir});
    }
    std::sort(entries.begin(), entries.end(),
              [](const UsbEntry &a, const UsbEntry &b) { return NaturalLess(a.name, b.name); });
    return entries;
}

bool IsRootHub(const std::string &name)
{
    return name.size() > 3 && name.compare(0, 3, "usb") == 0;
}

bool IsInterface(const std::string &name)
{
    return name.find(':') != std::string::npos;
}

std::optional<DeviceInterfaceRecord> MakeRecord(const UsbEntry &entry, InterfaceClass cls)
{
    auto instance = InstanceIdOfSysfsDevice(entry.dir);
    if (!instance)
        return std::nullopt;
    DeviceInterfaceRecord record;
    record.instanceId = *instance;
    record.interfacePath = MakeInterfacePath(*instance, cls);
    record.parentInstanceId = ParentInstanceIdOfSysfsDevice(entry.dir).value_or("");
    record.sysfsDir = entry.dir;
    record.devNode = UsbDeviceNode(entry.dir).value_or("");
    return record;
}
} // namespace

std::vector<DeviceInterfaceRecord> EnumerateUsbDevices()
{
    const vxdev::SysfsCallScope scope;
    std::vector<DeviceInterfaceRecord> records;
    for (const UsbEntry &entry : ListUsbBus())
    {
        if (IsRootHub(entry.name) || IsInterface(entry.name))
            continue;
        if (auto record = MakeRecord(entry, InterfaceClass::UsbDevice))
            records.push_back(std::move(*record));
    }
    return records;
}

std::vector<DeviceInterfaceRecord> EnumerateUsbHubs()
{
    const vxdev::SysfsCallScope scope;
    std::vector<DeviceInterfaceRecord> records;
    for (const UsbEntry &entry : ListUsbBus())
    {
        if (IsInterface(entry.name))
            continue;
        const bool hub = IsRootHub(entry.name) || ReadHexAttr(entry.dir, "bDeviceClass").value_or(0) == 0x09;
        if (!hub)
            continue;
        if (auto record = MakeRecord(entry, InterfaceClass::UsbHub))
            records.push_back(std::move(*record));
    }
    return records;
}
} // namespace vxdev
