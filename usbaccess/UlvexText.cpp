#include "usbaccess/UlvexText.h"

#include "usbaccess/ulvex_api.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace ulvex
{
void CopyCleared(char *out, std::size_t capacity, const std::string &text)
{
    if (out == nullptr || capacity == 0)
        return;
    std::memset(out, 0, capacity);
    std::memcpy(out, text.data(), std::min(text.size(), capacity - 1));
}

void CopyTerminated(char *out, std::size_t size, const std::string &text)
{
    if (out == nullptr || size == 0)
        return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

bool IsUsbStoragePath(const std::string &path)
{
    return path.compare(0, 11, "\\\\?\\usbstor") == 0;
}

PathIds IdsOfPath(const std::string &path)
{
    char vendor[ULVEX_ID_TEXT_SIZE] = {};
    char product[ULVEX_ID_TEXT_SIZE] = {};
    ExtractPidVidFromHardwareID(path.c_str(), static_cast<int>(path.size()), product, vendor, nullptr);
    return {vendor, product};
}

std::optional<vxdev::DeviceInterfaceRecord> FindInterfaceByIds(vxdev::InterfaceClass cls,
                                                               const char *vendorId, const char *productId,
                                                               std::size_t bound)
{
    if (vendorId == nullptr || productId == nullptr)
        return std::nullopt;
    const auto records = vxdev::EnumerateInterfaces(cls);
    for (std::size_t i = 0; i < records.size() && i < bound; ++i)
    {
        const PathIds ids = IdsOfPath(records[i].interfacePath);
        if (strcasecmp(ids.vendor.c_str(), vendorId) == 0 && strcasecmp(ids.product.c_str(), productId) == 0)
            return records[i];
    }
    return std::nullopt;
}
} // namespace ulvex
