#include "usbaccess/UlvexText.h"
#include "usbaccess/ulvex_api.h"

#include "platform/dev/DeviceInterface.h"
#include "platform/dev/Sysfs.h"
#include "platform/sys/TextConvert.h"

#include <cstring>
#include <string>

namespace
{
// Where a marker counts: found, and not at the very start of the text.
std::size_t FindMarker(const std::string &upper, const char *marker)
{
    const std::size_t pos = upper.find(marker);
    return pos == 0 ? std::string::npos : pos;
}
} // namespace

extern "C" int a16toi(const char *text)
{
    return vxsys::Hex4ToU16(text);
}

extern "C" void GetVenProdByDevicePath(const char *devicePath, char *vendorText, char *productText)
{
    if (devicePath == nullptr)
        return;
    const std::string path = devicePath;
    const std::string upper = vxdev::ToUpperAscii(path);
    const auto take = [&](const char *marker, char *out) {
        const std::size_t pos = FindMarker(upper, marker);
        if (out == nullptr || pos == std::string::npos)
            return;
        const std::size_t start = pos + std::strlen(marker);
        const std::size_t end = path.find('&', start);
        std::string text = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (char &c : text)
            if (c == '_')
                c = ' ';
        ulvex::CopyTerminated(out, ULVEX_NAME_TEXT_SIZE, text);
    };
    take("VEN_", vendorText);
    take("PROD_", productText);
}

extern "C" void ExtractPidVidFromHardwareID(const char *text, int length, char *productId, char *vendorId,
                                            char *serial)
{
    if (text == nullptr || length <= 0)
        return;
    const std::string upper =
        vxdev::ToUpperAscii(std::string(text, strnlen(text, static_cast<std::size_t>(length))));

    if (const std::size_t vid = FindMarker(upper, "VID_"); vid != std::string::npos && vendorId != nullptr)
        ulvex::CopyTerminated(vendorId, ULVEX_ID_TEXT_SIZE, upper.substr(vid + 4, 4));

    const std::size_t pid = FindMarker(upper, "PID_");
    if (pid == std::string::npos)
        return;
    if (productId != nullptr)
        ulvex::CopyTerminated(productId, ULVEX_ID_TEXT_SIZE, upper.substr(pid + 4, 4));
    if (serial == nullptr)
        return;

    // The serial sits between the next two separators: "#" in a device path, "\" in an
    // instance ID (where it may also run to the end).
    char separator = '#';
    std::size_t first = upper.find('#', pid);
    if (first == std::string::npos)
    {
        separator = '\\';
        first = upper.find('\\', pid);
    }
    if (first == std::string::npos)
        return;
    const std::size_t second = upper.find(separator, first + 1);
    const std::size_t count = second == std::string::npos ? std::string::npos : second - first - 1;
    ulvex::CopyTerminated(serial, ULVEX_SERIAL_SIZE, upper.substr(first + 1, count));
}

extern "C" void GetPidVidByDeviceInfo(const char *deviceSysfsPath, char *productId, char *vendorId,
                                      char *serial)
{
    const vxdev::SysfsCallScope scope;
    if (deviceSysfsPath == nullptr)
        return;
    const auto dir = vxdev::Canonical(deviceSysfsPath);
    if (!dir)
        return;
    std::string parent = vxdev::ParentInstanceIdOfSysfsDevice(*dir).value_or("");
    if (parent.size() > 1000)
        parent.resize(1000);
    ExtractPidVidFromHardwareID(parent.c_str(), static_cast<int>(parent.size()), productId, vendorId, serial);
}
