#include "usbaccess/UlvexText.h"
#include "usbaccess/ulvex_api.h"

#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Sysfs.h"

using vxdev::InterfaceClass;

namespace
{
ULVEX_BOOL GetDevicePath(InterfaceClass cls, const char *vendorId, const char *productId, char *path,
                         unsigned int pathCapacity, char *parentId, unsigned int parentIdCapacity)
{
    if (path == nullptr || pathCapacity == 0)
        return 0;
    const auto record = ulvex::FindInterfaceByIds(cls, vendorId, productId, ulvex::kIdLookupBound);
    if (!record)
        return 0;
    ulvex::CopyCleared(parentId, parentIdCapacity, record->parentInstanceId);
    ulvex::CopyCleared(path, pathCapacity, record->interfacePath);
    return 1;
}

ULVEX_HANDLE OpenDevice(InterfaceClass cls, const char *vendorId, const char *productId,
                        vxdev::OpenAccess access)
{
    const auto record = ulvex::FindInterfaceByIds(cls, vendorId, productId, ulvex::kIdLookupBound);
    if (!record)
        return ULVEX_INVALID_HANDLE_VALUE;
    const int fd = vxdev::OpenInterface(cls, record->interfacePath, access);
    return fd < 0 ? ULVEX_INVALID_HANDLE_VALUE : fd;
}
} // namespace

extern "C" ULVEX_BOOL GetUSBDevicePath(const char *vendorId, const char *productId, char *path,
                                       unsigned int pathCapacity, char *parentId,
                                       unsigned int parentIdCapacity)
{
    const vxdev::SysfsCallScope scope;
    return GetDevicePath(InterfaceClass::UsbDevice, vendorId, productId, path, pathCapacity, parentId,
                         parentIdCapacity);
}

extern "C" ULVEX_BOOL IsUSBDevice(const char *vendorId, const char *productId)
{
    const vxdev::SysfsCallScope scope;
    return ulvex::FindInterfaceByIds(InterfaceClass::UsbDevice, vendorId, productId, ulvex::kIdLookupBound)
               ? 1
               : 0;
}

extern "C" ULVEX_HANDLE OpenUSBDevice(const char *vendorId, const char *productId)
{
    const vxdev::SysfsCallScope scope;
    return OpenDevice(InterfaceClass::UsbDevice, vendorId, productId, vxdev::OpenAccess::None);
}

extern "C" ULVEX_BOOL GetHIDDevicePath(const char *vendorId, const char *productId, char *path,
                                       unsigned int pathCapacity, char *parentId,
                                       unsigned int parentIdCapacity)
{
    const vxdev::SysfsCallScope scope;
    return GetDevicePath(InterfaceClass::Hid, vendorId, productId, path, pathCapacity, parentId,
                         parentIdCapacity);
}

extern "C" ULVEX_HANDLE OpenHIDDevice(const char *vendorId, const char *productId)
{
    const vxdev::SysfsCallScope scope;
    return OpenDevice(InterfaceClass::Hid, vendorId, productId, vxdev::OpenAccess::ReadWrite);
}
