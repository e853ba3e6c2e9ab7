#include "platform/dev/DevRoots.h"
#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Storage.h"
#include "platform/dev/Sysfs.h"

#include <algorithm>
#include <cstdio>

namespace vxdev
{
namespace
{
// SCSI peripheral device types (the block device's device/type attribute).
constexpr long kScsiTypeDisk = 0;
constexpr long kScsiTypeCdRom = 5;
constexpr long kScsiTypeOptical = 7;
constexpr long kScsiTypeRbc = 14;

bool TypeBelongsTo(long scsiType, InterfaceClass cls)
{
    if (cls == InterfaceClass::CdRom)
        return scsiType == kScsiTypeCdRom;
    return scsiType == kScsiTypeDisk || scsiType == kScsiTypeOptical || scsiType == kScsiTypeRbc;
}

// An inquiry text as it appears in an instance ID: trailing blanks gone, inner blanks and
// anything that would break the ID's separators ("\", "#", "&", ",", control bytes) as "_".
std::string IdField(const std::string &text)
{
    std::string field = text;
    while (!field.empty() && field.back() == ' ')
        field.pop_back();
    for (char &c : field)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '\\' || c == '#' || c == '&' || c == ',' || c == '/')
            c = '_';
    }
    return ToUpperAscii(field);
}

// The logical unit: the last number of the SCSI device's name "host:channel:target:lun".
std::string LunOf(const std::string &scsiDeviceDir)
{
    const std::string name = BaseName(scsiDeviceDir);
    const auto colon = name.find_last_of(':');
    return colon == std::string::npos ? "0" : name.substr(colon + 1);
}

// The USB interface a block device hangs below, when it is a mass-storage interface
// (class 08); its bound driver is returned beside it.
std::optional<std::pair<std::string, std::string>> MassStorageInterface(const std::string &blockDir)
{
    const std::string stop = CanonicalSysfsRoot();
    std::string dir = DirName(blockDir);
    while (dir.size() > stop.size() && dir != "/")
    {
        if (BaseName(dir).find(':') != std::string::npos && HasEntry(dir, "bInterfaceNumber"))
        {
            if (ReadHexAttr(dir, "bInterfaceClass").value_or(0) != 0x08)
                return std::nullopt;
            const auto driver = Canonical(dir + "/driver");
            return std::make_pair(dir, driver ? BaseName(*driver) : std::string());
        }
        dir = DirName(dir);
    }
    return std::nullopt;
}
} // namespace

std::vector<DeviceInterfaceRecord> EnumerateStorageInterfaces(InterfaceClass cls)
{
    const vxdev::SysfsCallScope scope;
    if (cls != InterfaceClass::Disk && cls != InterfaceClass::CdRom)
        return {};
    const std::string classDir = SysfsRoot() + "/class/block";
    std::vector<std::string> names = ListDir(classDir);
    std::sort(names.begin(), names.end(), NaturalLess);

    std::vector<DeviceInterfaceRecord> records;
    for (const std::string &name : names)
    {
        const auto blockDir = Canonical(classDir + "/" + name);
        if (!blockDir || HasEntry(*blockDir, "partition"))
            continue;
        const auto scsiDevice = Canonical(*blockDir + "/device");
        if (!scsiDevice)
            continue;
        const auto type = ReadDecAttr(*scsiDevice, "type");
        if (!type || !TypeBelongsTo(*type, cls))
            continue;
        const auto usbInterface = MassStorageInterface(*blockDir);
        if (!usbInterface)
            continue;
        const auto usbDevice = FindUsbDeviceAncestor(usbInterface->first);
        if (!usbDevice)
            continue;

        const std::string kind = cls == InterfaceClass::CdRom ? "CDROM" : "DISK";
        const std::string ids = kind + "&VEN_" + IdField(ReadAttr(*scsiDevice, "vendor").value_or("")) +
                                "&PROD_" + IdField(ReadAttr(*scsiDevice, "model").value_or("")) + "&REV_" +
                                IdField(ReadAttr(*scsiDevice, "rev").value_or(""));
        std::string instance;
        if (usbInterface->second == "usb-storage")
        {
            instance =
                "USBSTOR\\" + ids + "\\" + ToUpperAscii(UsbSerialPart(*usbDevice)) + "&" + LunOf(*scsiDevice);
        }
        else if (usbInterface->second == "uas")
        {
            // The UAS driver puts its disks on the SCSI bus, where they carry no USB serial.
            char suffix[48];
            std::snprintf(suffix, sizeof suffix, "\\7&%08X&0&%06u", StableHash(RelativeToSysfs(*blockDir)),
                          0u);
            instance = "SCSI\\" + ids + suffix;
        }
        else
        {
            continue;
        }

        DeviceInterfaceRecord record;
        record.instanceId = instance;
        record.interfacePath = MakeInterfacePath(instance, cls);
        record.parentInstanceId = ParentInstanceIdOfSysfsDevice(*blockDir).value_or("");
        record.sysfsDir = *blockDir;
        record.devNode = DevRoot() + "/" + BaseName(*blockDir);
        records.push_back(std::move(record));
    }
    return records;
}
} // namespace vxdev
