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
    // O_RDWR | O_NONBLOCK: a removable disk without a medium opens too (for commands to the
    // drive itself) instead of failing with ENOMEDIUM.
    ReadWriteNonBlocking,
};

// Re-enumerates the class, matches the interface path exactly and opens the device node
// of the match (never creating it). Returns the file descriptor, or -1.
int OpenInterface(InterfaceClass cls, const std::string &interfacePath, OpenAccess access);

// Opens a device node by its file name (never creating it, never as a controlling
// terminal). Returns the file descriptor, or -1.
int OpenDeviceNode(const std::string &nodePath, OpenAccess access);

// A copy of the descriptor numbered lowest or above (the original stays open); -1 on failure.
int DuplicateHandleAbove(int fd, int lowest);

// Closes a descriptor opened by this layer or handed out by the Ulvex library; a negative
// one is left alone. False when the system reports a failure (the descriptor is gone either way).
bool CloseHandle(int fd);

// The interface record behind an open descriptor, found through <proc root>/self/fd.
std::optional<DeviceInterfaceRecord> InterfaceOfHandle(int fd);
} // namespace vxdev
