#pragma once

#include "platform/dev/DeviceInterface.h"

#include <optional>
#include <string>

namespace vxdev
{
enum class OpenAccess
{
    None,      // presence and queries only (O_PATH)
    ReadWrite, // O_RDWR
};

// Re-enumerates the class, matches the interface path exactly and opens the device node
// of the match (never creating it). Returns the file descriptor, or -1.
int OpenInterface(InterfaceClass cls, const std::string &interfacePath, OpenAccess access);

// The interface record behind an open descriptor, found through <proc root>/self/fd.
std::optional<DeviceInterfaceRecord> InterfaceOfHandle(int fd);
} // namespace vxdev
