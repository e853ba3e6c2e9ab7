#include "platform/dev/DeviceInterface.h"

#include "platform/dev/DevRoots.h"
#include "platform/dev/Sysfs.h"

#include <cstdio>
#include <cstdlib>

namespace vxdev
{
const char *InterfaceClassGuid(InterfaceClass cls)
{
    switch (cls)
    {
    case InterfaceClass::UsbDevice:
        return "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    case InterfaceClass::UsbHub:
        return "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    case InterfaceClass::Hid:
        return "{4d1e55b2-f16f-11cf-88cb-001111000030}";
    case InterfaceClass::Disk:
        return "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    case InterfaceClass::CdRom:
        return "{53f56308-b6bf-11d0-94f2-00a0c91efb8b}";
    }
    return "";
}

std::vector<DeviceInterfaceRecord> EnumerateInterfaces(InterfaceClass cls)
{
    switch (cls)
    {
    case InterfaceClass::UsbDevice:
        return EnumerateUsbDevices();
    case InterfaceClass::UsbHub:
        return EnumerateUsbHubs();
    case InterfaceClass::Hid:
        return EnumerateHidDevices();
    case InterfaceClass::Disk:
    case InterfaceClass::CdRom:
        return EnumerateStorageInterfaces(cls);
    }
    return {};
}

std::string MakeInterfacePath(const std::string &instanceId, InterfaceClass cls)
{
    std::string body = ToLowerAscii(instanceId);
    for (char &c : body)
        if (c == '\\')
            c = '#';
    return std::string("\\\\?\\") + body + "#" + InterfaceClassGuid(cls);
}

namespace
{
std::string Format(const char *format, unsigned a, unsigned b)
{
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

bool IsUsbDeviceDir(const std::string &dir)
{
    const std::string name = BaseName(dir);
    return name.find(':') == std::string::npos && HasEntry(dir, "idVendor") && HasEntry(dir, "busnum");
}

bool IsRootHubName(const std::string &name)
{
    return name.size() > 3 && name.compare(0, 3, "usb") == 0;
}

bool IsUsbInterfaceDir(const std::string &dir)
{
    return BaseName(dir).find(':') != std::string::npos && HasEntry(dir, "bInterfaceNumber");
}

// The port number a USB device hangs on: the last number of its name ("1-2.3" gives 3).
unsigned PortOfName(const std::string &name)
{
    const auto sep = name.find_last_of("-.");
    if (sep == std::string::npos)
        return 0;
    return static_cast<unsigned>(std::strtoul(name.c_str() + sep + 1, nullptr, 10));
}

bool UsableSerial(const std::string &serial)
{
    if (serial.empty())
        return false;
    for (const char c : serial)
    {
        if (c < 0x20 || c > 0x7E || c == ',' || c == '#' || c == '\\')
            return false;
    }
    return true;
}

std::string VidPid(const std::string &usbDeviceDir)
{
    const unsigned vid = static_cast<unsigned>(ReadHexAttr(usbDeviceDir, "idVendor").value_or(0));
    const unsigned pid = static_cast<unsigned>(ReadHexAttr(usbDeviceDir, "idProduct").value_or(0));
    return Format("VID_%04X&PID_%04X", vid & 0xFFFF, pid & 0xFFFF);
}

bool IsComposite(const std::string &usbDeviceDir)
{
    return ReadDecAttr(usbDeviceDir, "bNumInterfaces").value_or(1) > 1;
}

// "0003:1234:ABCD.0001": bus, vendor and product of a HID device directory. The sequence
// number is at least four digits: it grows past 0xFFFF on a machine that has been up long.
bool ParseHidName(const std::string &name, unsigned &bus, unsigned &vid, unsigned &pid)
{
    unsigned seq = 0;
    char tail = 0;
    return std::sscanf(name.c_str(), "%4x:%4x:%4x.%8x%c", &bus, &vid, &pid, &seq, &tail) == 4;
}
} // namespace

std::optional<std::string> FindUsbDeviceAncestor(const std::string &sysfsDir)
{
    const std::string stop = CanonicalSysfsRoot();
    std::string dir = sysfsDir;
    while (dir.size() > stop.size() && dir != "/")
    {
        if (IsUsbDeviceDir(dir))
            return dir;
        dir = DirName(dir);
    }
    return std::nullopt;
}

std::optional<std::string> UsbDeviceNode(const std::string &usbDeviceDir)
{
    const auto bus = ReadDecAttr(usbDeviceDir, "busnum");
    const auto dev = ReadDecAttr(usbDeviceDir, "devnum");
    if (!bus || !dev)
        return std::nullopt;
    return DevRoot() + Format("/bus/usb/%03u/%03u", static_cast<unsigned>(*bus), static_cast<unsigned>(*dev));
}

std::string UsbSerialPart(const std::string &usbDeviceDir)
{
    if (auto serial = ReadAttr(usbDeviceDir, "serial"); serial && UsableSerial(*serial))
        return *serial;
    return Format("5&%08X&0&%u", StableHash(RelativeToSysfs(usbDeviceDir)),
                  PortOfName(BaseName(usbDeviceDir)));
}

std::optional<std::string> InstanceIdOfSysfsDevice(const std::string &sysfsDir)
{
    const std::string name = BaseName(sysfsDir);
    if (IsRootHubName(name) && HasEntry(sysfsDir, "busnum"))
    {
        const long speed = ReadDecAttr(sysfsDir, "speed").value_or(0);
        const char *kind = speed >= 5000 ? "USB\\ROOT_HUB30\\4&%08X&%u" : "USB\\ROOT_HUB20\\4&%08X&%u";
        return Format(kind, StableHash(RelativeToSysfs(sysfsDir)), 0);
    }
    if (IsUsbDeviceDir(sysfsDir))
        return ToUpperAscii("USB\\" + VidPid(sysfsDir) + "\\" + UsbSerialPart(sysfsDir));
    if (IsUsbInterfaceDir(sysfsDir))
    {
        const std::string device = DirName(sysfsDir);
        if (!IsUsbDeviceDir(device) || !IsComposite(device))
            return std::nullopt;
        const unsigned number = static_cast<unsigned>(ReadHexAttr(sysfsDir, "bInterfaceNumber").value_or(0));
        return "USB\\" + VidPid(device) +
               Format("&MI_%02X\\6&%08X", number & 0xFF, StableHash(RelativeToSysfs(device))) +
               Format("&0&%04X", number & 0xFF, 0);
    }
    unsigned bus = 0, vid = 0, pid = 0;
    if (ParseHidName(name, bus, vid, pid) && bus == 0x0003)
    {
        std::string id = Format("HID\\VID_%04X&PID_%04X", vid, pid);
        const std::string usbInterface = DirName(sysfsDir);
        if (IsUsbInterfaceDir(usbInterface) && IsUsbDeviceDir(DirName(usbInterface)) &&
            IsComposite(DirName(usbInterface)))
        {
            const unsigned number =
                static_cast<unsigned>(ReadHexAttr(usbInterface, "bInterfaceNumber").value_or(0));
            id += Format("&MI_%02X", number & 0xFF, 0);
        }
        return id + Format("\\7&%08X&0&%04u", StableHash(RelativeToSysfs(sysfsDir)), 0);
    }
    return std::nullopt;
}

std::optional<std::string> ParentInstanceIdOfSysfsDevice(const std::string &sysfsDir)
{
    const vxdev::SysfsCallScope scope;
    const std::string stop = CanonicalSysfsRoot();
    std::string dir = DirName(sysfsDir);
    while (dir.size() > stop.size() && dir != "/")
    {
        if (auto id = InstanceIdOfSysfsDevice(dir))
            return id;
        dir = DirName(dir);
    }
    return std::nullopt;
}

std::optional<DeviceInterfaceRecord> FindInterfaceByPath(InterfaceClass cls, const std::string &interfacePath)
{
    for (auto &record : EnumerateInterfaces(cls))
    {
        if (record.interfacePath == interfacePath)
            return record;
    }
    return std::nullopt;
}

std::optional<DeviceInterfaceRecord> FindInterfaceByDeviceNode(const std::string &nodePath)
{
    const vxdev::SysfsCallScope scope;
    const std::string wanted = Canonical(nodePath).value_or(nodePath);
    for (const InterfaceClass cls : {InterfaceClass::UsbDevice, InterfaceClass::UsbHub, InterfaceClass::Hid,
                                     InterfaceClass::Disk, InterfaceClass::CdRom})
    {
        for (auto &record : EnumerateInterfaces(cls))
        {
            if (record.devNode.empty())
                continue;
            if (Canonical(record.devNode).value_or(record.devNode) == wanted)
                return record;
        }
    }
    return std::nullopt;
}
} // namespace vxdev
