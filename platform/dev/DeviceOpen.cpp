#include "platform/dev/DeviceOpen.h"

#include "platform/dev/DevRoots.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

namespace vxdev
{
int OpenInterface(InterfaceClass cls, const std::string &interfacePath, OpenAccess access)
{
    auto record = FindInterfaceByPath(cls, interfacePath);
    if (!record || record->devNode.empty())
        return -1;
    return OpenDeviceNode(record->devNode, access);
}

int OpenDeviceNode(const std::string &nodePath, OpenAccess access)
{
    if (nodePath.empty())
        return -1;
    int flags = O_CLOEXEC | O_NOCTTY;
    switch (access)
    {
    case OpenAccess::None:
        flags |= O_PATH;
        break;
    case OpenAccess::ReadWrite:
        flags |= O_RDWR;
        break;
    case OpenAccess::ReadWriteNonBlocking:
        flags |= O_RDWR | O_NONBLOCK;
        break;
    }
    return ::open(nodePath.c_str(), flags);
}

int DuplicateHandleAbove(int fd, int lowest)
{
    if (fd < 0)
        return -1;
    return ::fcntl(fd, F_DUPFD_CLOEXEC, lowest);
}

bool CloseHandle(int fd)
{
    if (fd < 0)
        return true;
    return ::close(fd) == 0;
}

std::optional<DeviceInterfaceRecord> InterfaceOfHandle(int fd)
{
    if (fd < 0)
        return std::nullopt;
    const std::string link = ProcRoot() + "/self/fd/" + std::to_string(fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return std::nullopt;
    target[length] = '\0';
    return FindInterfaceByDeviceNode(target);
}
} // namespace vxdev
