#include "platform/dev/UsbHub.h"

#include "platform/dev/Sysfs.h"

#include <cstdio>

namespace vxdev
{
std::optional<int> HubPortCount(const std::string &hubSysfsDir)
{
    const auto count = ReadDecAttr(hubSysfsDir, "maxchild");
    if (!count || *count < 0 || *count > 255)
        return std::nullopt;
    return static_cast<int>(*count);
}

std::string ChildNameOnPort(const std::string &hubSysfsDir, int port)
{
    const std::string hub = BaseName(hubSysfsDir);
    if (hub.size() > 3 && hub.compare(0, 3, "usb") == 0)
        return hub.substr(3) + "-" + std::to_string(port);
    return hub + "." + std::to_string(port);
}

std::optional<UsbDeviceDescriptor> ReadDeviceDescriptor(const std::string &dir)
{
    const auto vid = ReadHexAttr(dir, "idVendor");
    const auto pid = ReadHexAttr(dir, "idProduct");
    if (!vid || !pid)
        return std::nullopt;
    UsbDeviceDescriptor d;
    d.idVendor = static_cast<std::uint16_t>(*vid);
    d.idProduct = static_cast<std::uint16_t>(*pid);
    d.bcdDevice = static_cast<std::uint16_t>(ReadHexAttr(dir, "bcdDevice").value_or(0));
    d.bDeviceClass = static_cast<std::uint8_t>(ReadHexAttr(dir, "bDeviceClass").value_or(0));
    d.bDeviceSubClass = static_cast<std::uint8_t>(ReadHexAttr(dir, "bDeviceSubClass").value_or(0));
    d.bDeviceProtocol = static_cast<std::uint8_t>(ReadHexAttr(dir, "bDeviceProtocol").value_or(0));
    d.bMaxPacketSize0 = static_cast<std::uint8_t>(ReadDecAttr(dir, "bMaxPacketSize0").value_or(0));
    d.bNumConfigurations = static_cast<std::uint8_t>(ReadDecAttr(dir, "bNumConfigurations").value_or(0));
    // "version" reads " 2.00"; bcdUSB 0x0200.
    if (auto version = ReadAttr(dir, "version"))
    {
        unsigned major = 0;
        unsigned minor = 0;
        if (std::sscanf(version->c_str(), "%u.%x", &major, &minor) == 2)
            d.bcdUSB = static_cast<std::uint16_t>(((major & 0xFF) << 8) | (minor & 0xFF));
    }
    return d;
}

bool QueryHubPort(const std::string &hubSysfsDir, int port, UsbPortConnection &out)
{
    out = UsbPortConnection{};
    const auto count = HubPortCount(hubSysfsDir);
    if (!count || port < 1 || port > *count)
        return false;
    const std::string child = hubSysfsDir + "/" + ChildNameOnPort(hubSysfsDir, port);
    if (!IsDirectory(child))
        return true;
    const auto descriptor = ReadDeviceDescriptor(child);
    if (!descriptor)
        return false;
    out.connected = true;
    out.descriptor = *descriptor;
    out.sysfsDir = Canonical(child).value_or(child);
    return true;
}
} // namespace vxdev
