#include "tests/support/version_modules/VersionModules.h"

namespace vxtest
{
std::string VersionModuleName(const std::string &shape)
{
    return "libvx_vermod_" + shape + ".so";
}

std::string VersionModulePath(const std::string &shape)
{
    return std::string(VX_VERMOD_DIR) + "/" + VersionModuleName(shape);
}
} // namespace vxtest
