#pragma once

#include <string>

// Where the device layer looks for sysfs, device nodes and procfs. Each root is read
// from the environment on every call, so nothing is cached between calls and tests can
// point the layer at a fixture tree.
namespace vxdev
{
std::string SysfsRoot(); // VORMATIK_SYSFS_ROOT, default "/sys"
std::string DevRoot();   // VORMATIK_DEV_ROOT, default "/dev"
std::string ProcRoot();  // VORMATIK_PROC_ROOT, default "/proc"
} // namespace vxdev
