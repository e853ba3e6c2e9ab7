#pragma once

#include "platform/dev/DeviceInterface.h"

#include <cstddef>
#include <optional>
#include <string>

// Helpers shared by the Ulvex functions (not exported).
namespace ulvex
{
// Clears capacity bytes of out and copies at most capacity - 1 bytes of text into it.
// Nothing happens for a null output or a capacity of 0.
void CopyCleared(char *out, std::size_t capacity, const std::string &text);

// Copies at most size - 1 bytes of text and a terminator (size > 0).
void CopyTerminated(char *out, std::size_t size, const std::string &text);

// Vendor and product ID text that ExtractPidVidFromHardwareID finds in a path.
struct PathIds
{
    std::string vendor;
    std::string product;
};
PathIds IdsOfPath(const std::string &path);

// The first interface of the class among the first `bound` whose path carries these IDs
// (compared without regard to case).
std::optional<vxdev::DeviceInterfaceRecord> FindInterfaceByIds(vxdev::InterfaceClass cls,
                                                               const char *vendorId, const char *productId,
                                                               std::size_t bound);

// A storage interface counts only when its path begins with "\\?\usbstor", spelled
// exactly so.
bool IsUsbStoragePath(const std::string &path);

// The lookups by vendor and product ID examine at most this many interfaces.
constexpr std::size_t kIdLookupBound = 128;
} // namespace ulvex
