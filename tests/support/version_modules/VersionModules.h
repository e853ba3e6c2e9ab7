#pragma once

#include <string>

namespace vxtest
{
// File name ("libvx_vermod_<shape>.so") and full path of a version_modules library;
// shapes: "plain", "unloaded" (never to be loaded), "notranslation", "badsignature".
std::string VersionModuleName(const std::string &shape);
std::string VersionModulePath(const std::string &shape);
} // namespace vxtest
