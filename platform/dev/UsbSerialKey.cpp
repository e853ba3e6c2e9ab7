#include "platform/dev/UsbSerialKey.h"

#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Sysfs.h"

#include <string>

namespace vxdev
{
bool UsbSerialIsEnumerated(std::uint16_t vendorId, std::uint16_t productId, std::string_view serial)
{
    const vxdev::SysfsCallScope scope;
    if (serial.empty())
        return false;
    const std::string wanted = ToUpperAscii(std::string(serial));
    for (const DeviceInterfaceRecord &record : EnumerateUsbDevices())
    {
        if (ReadHexAttr(record.sysfsDir, "idVendor") != vendorId ||
            ReadHexAttr(record.sysfsDir, "idProduct") != productId)
            continue;
        const auto attr = ReadAttr(record.sysfsDir, "serial");
        // The serial names the device only when the device is listed under it; a serial the
        // listing could not use was replaced by a location-based name.
        if (!attr || UsbSerialPart(record.sysfsDir) != *attr)
            continue;
        if (ToUpperAscii(*attr) == wanted)
            return true;
    }
    return false;
}
} // namespace vxdev
