#include "usbaccess/UlvexText.h"
#include "usbaccess/ulvex_api.h"

#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Sysfs.h"
#include "platform/dev/UsbControl.h"
#include "platform/dev/UsbHub.h"

#include <cstring>

using vxdev::InterfaceClass;

namespace
{
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;

// The instance ID a hub's interface path stands for: from "USB#" on, upper case, "#" as
// "\", without the class GUID at the end.
std::string HubIdOfPath(const std::string &path)
{
    std::string upper = vxdev::ToUpperAscii(path);
    const std::size_t start = upper.find("USB#");
    if (start == std::string::npos)
        return {};
    upper.erase(0, start);
    const std::size_t guid = upper.rfind("#{");
    if (guid != std::string::npos)
        upper.erase(guid);
    for (char &c : upper)
        if (c == '#')
            c = '\\';
    return upper;
}

// The sysfs directory of the hub behind an open handle; nothing when the handle is not a hub's.
std::optional<std::string> HubDirOfHandle(ULVEX_HANDLE hub)
{
    const auto record = vxdev::InterfaceOfHandle(hub);
    if (!record)
        return std::nullopt;
    for (const auto &h : vxdev::EnumerateUsbHubs())
    {
        if (h.sysfsDir == record->sysfsDir)
            return h.sysfsDir;
    }
    return std::nullopt;
}

struct ScopedFd
{
    int fd;
    ~ScopedFd() { vxdev::CloseHandle(fd); }
};
} // namespace

extern "C" ULVEX_BOOL GetUSBHubDevicePath(const char *parentId, unsigned int parentIdLength, char *hubPath,
                                          unsigned int hubPathCapacity)
{
    const vxdev::SysfsCallScope scope;
    if (parentId == nullptr || hubPath == nullptr || hubPathCapacity == 0)
        return 0;
    const std::string wanted = vxdev::ToUpperAscii(std::string(parentId, strnlen(parentId, parentIdLength)));
    if (wanted.empty())
        return 0;
    for (const auto &hub : vxdev::EnumerateUsbHubs())
    {
        if (HubIdOfPath(hub.interfacePath) == wanted)
        {
            ulvex::CopyCleared(hubPath, hubPathCapacity, hub.interfacePath);
            return 1;
        }
    }
    return 0;
}

extern "C" ULVEX_BOOL GetNumPort(ULVEX_HANDLE hub, unsigned int *portCount)
{
    const vxdev::SysfsCallScope scope;
    if (portCount == nullptr)
        return 0;
    *portCount = 0;
    if (hub < 0)
        return 0;
    const auto dir = HubDirOfHandle(hub);
    if (!dir)
        return 0;
    const auto count = vxdev::HubPortCount(*dir);
    if (!count)
        return 0;
    *portCount = static_cast<unsigned int>(*count);
    return 1;
}

extern "C" ULVEX_BOOL GetPortIndex(unsigned short vendor, unsigned short product, ULVEX_HANDLE hub,
                                   unsigned int portCount, unsigned int *port)
{
    const vxdev::SysfsCallScope scope;
    if (port == nullptr || hub < 0)
        return 0;
    const auto dir = HubDirOfHandle(hub);
    if (!dir)
        return 0;
    for (unsigned int p = 1; p <= portCount && p <= 255; ++p)
    {
        vxdev::UsbPortConnection connection;
        if (!vxdev::QueryHubPort(*dir, static_cast<int>(p), connection))
            return 0;
        if (connection.connected && connection.descriptor.idVendor == vendor &&
            connection.descriptor.idProduct == product)
        {
            *port = p;
            return 1;
        }
    }
    return 0;
}

extern "C" ULVEX_BOOL GetStringDescriptor(const char *vendorId, const char *productId, unsigned char index,
                                          char16_t *text, unsigned int capacity)
{
    const vxdev::SysfsCallScope scope;
    if (vendorId == nullptr || productId == nullptr || index == 0 || text == nullptr || capacity == 0)
        return 0;
    const auto device =
        ulvex::FindInterfaceByIds(InterfaceClass::UsbDevice, vendorId, productId, ulvex::kIdLookupBound);
    if (!device)
        return 0;
    const std::string &parentId = device->parentInstanceId;
    std::string hubPath(parentId.size() + 512, '\0');
    if (!GetUSBHubDevicePath(parentId.c_str(), static_cast<unsigned int>(parentId.size()), hubPath.data(),
                             static_cast<unsigned int>(hubPath.size())))
        return 0;
    hubPath.resize(std::strlen(hubPath.c_str()));

    // usbfs sends the request to the device itself; the hub is only asked which port it is on.
    const ScopedFd hub{vxdev::OpenInterface(InterfaceClass::UsbHub, hubPath, vxdev::OpenAccess::None)};
    if (hub.fd < 0)
        return 0;
    unsigned int ports = 0;
    unsigned int port = 0;
    if (!GetNumPort(hub.fd, &ports) ||
        !GetPortIndex(static_cast<unsigned short>(a16toi(vendorId)),
                      static_cast<unsigned short>(a16toi(productId)), hub.fd, ports, &port))
        return 0;
    const auto hubDir = HubDirOfHandle(hub.fd);
    if (!hubDir)
        return 0;

    unsigned char descriptor[256] = {};
    const int count = vxdev::GetStringDescriptorOnHubPort(*hubDir, static_cast<int>(port), index,
                                                          kLanguageEnglishUs, descriptor);
    // A string descriptor is its length byte, type 3 and whole UTF-16 characters, and the
    // transfer must have delivered exactly that many bytes.
    if (count < 2 || descriptor[1] != 3 || descriptor[0] != count || descriptor[0] < 2 ||
        descriptor[0] % 2 != 0)
        return 0;

    std::memset(text, 0, capacity * sizeof(char16_t));
    const unsigned int chars = std::min<unsigned int>((descriptor[0] - 2) / 2, capacity - 1);
    for (unsigned int i = 0; i < chars; ++i)
        text[i] = static_cast<char16_t>(descriptor[2 + 2 * i] | (descriptor[3 + 2 * i] << 8));
    return 1;
}
