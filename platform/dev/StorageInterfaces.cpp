#include "platform/dev/DeviceInterface.h"

namespace vxdev
{
// Disk and CD-ROM interfaces are not enumerated yet: no storage device is reported.
std::vector<DeviceInterfaceRecord> EnumerateStorageInterfaces(InterfaceClass)
{
    return {};
}
} // namespace vxdev
