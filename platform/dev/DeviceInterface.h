#pragma once

#include <optional>
#include <string>
#include <vector>

// Device interface enumeration in the shape the Windows-facing code expects: each
// present device of an interface class appears with a device interface path, a device
// instance ID and its parent's instance ID, all synthesised from sysfs.
//
//   instance ID      USB\VID_1234&PID_ABCD\SER42           (upper case)
//   interface path   \\?\usb#vid_1234&pid_abcd#ser42#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
//
// The path is "\\?\" + the lower-cased instance ID with "\" turned into "#", then
// "#" + the class GUID. Every call walks the tree afresh: what one call learns of the tree (resolved
// paths, attributes) serves only that call and the calls nested in it (SysfsCallScope in Sysfs.h).
namespace vxdev
{
enum class InterfaceClass
{
    UsbDevice,
    UsbHub,
    Hid,
    Disk,
    CdRom,
};

// The published class GUID in lower case with braces, e.g. "{a5dcbf10-6530-11d2-901f-00c04fb951ed}".
const char *InterfaceClassGuid(InterfaceClass cls);

struct DeviceInterfaceRecord
{
    std::string interfacePath;    // \\?\usb#vid_1234&pid_abcd#ser42#{...}
    std::string instanceId;       // USB\VID_1234&PID_ABCD\SER42
    std::string parentInstanceId; // the parent device's instance ID; empty when it has none
    std::string sysfsDir;         // canonical sysfs directory of the device
    std::string devNode;          // device node below the dev root ("" when the device has none)
};

// The present interfaces of the class, in a stable order (bus and port order for USB,
// node number for hidraw).
std::vector<DeviceInterfaceRecord> EnumerateInterfaces(InterfaceClass cls);

// Each class has its own enumerator; EnumerateInterfaces dispatches to them.
std::vector<DeviceInterfaceRecord> EnumerateUsbDevices();
std::vector<DeviceInterfaceRecord> EnumerateUsbHubs();
std::vector<DeviceInterfaceRecord> EnumerateHidDevices();
// Disk and CD-ROM interfaces (the storage enumerator's own file).
std::vector<DeviceInterfaceRecord> EnumerateStorageInterfaces(InterfaceClass cls);

// "\\?\" + lower-cased instance ID with "\" as "#" + "#" + GUID.
std::string MakeInterfacePath(const std::string &instanceId, InterfaceClass cls);

// The instance ID of a sysfs device directory that has one of its own: a USB device,
// a root hub, the interface of a composite USB device, a HID device on the USB bus.
// Nothing for directories that are not devices of that kind.
std::optional<std::string> InstanceIdOfSysfsDevice(const std::string &sysfsDir);

// The instance ID of the nearest ancestor of sysfsDir that has one (its parent device).
std::optional<std::string> ParentInstanceIdOfSysfsDevice(const std::string &sysfsDir);

// The nearest USB device directory at or above sysfsDir (a directory with idVendor and
// busnum whose name is not an interface's); nothing when there is none.
std::optional<std::string> FindUsbDeviceAncestor(const std::string &sysfsDir);

// The usbfs node of a USB device directory: <dev root>/bus/usb/BBB/DDD.
std::optional<std::string> UsbDeviceNode(const std::string &usbDeviceDir);

// The serial part of a USB device's instance ID: the serial attribute when it is usable
// (printable ASCII without "," "#" "\"), else "5&<hash of the sysfs path>&0&<port>".
std::string UsbSerialPart(const std::string &usbDeviceDir);

// The record of the given class whose interface path is exactly this one.
std::optional<DeviceInterfaceRecord> FindInterfaceByPath(InterfaceClass cls,
                                                         const std::string &interfacePath);

// The record (of any class) whose device node is this file.
std::optional<DeviceInterfaceRecord> FindInterfaceByDeviceNode(const std::string &nodePath);
} // namespace vxdev
