#include "platform/dev/DevRoots.h"

#include <cstdlib>

namespace vxdev
{
namespace
{
std::string RootFromEnv(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    std::string root = (value != nullptr && value[0] != '\0') ? value : fallback;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}
} // namespace

std::string SysfsRoot()
{
    return RootFromEnv("VORMATIK_SYSFS_ROOT", "/sys");
}

std::string DevRoot()
{
    return RootFromEnv("VORMATIK_DEV_ROOT", "/dev");
}

std::string ProcRoot()
{
    return RootFromEnv("VORMATIK_PROC_ROOT", "/proc");
}
} // namespace vxdev
