#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small helpers for reading a sysfs tree: attributes, directory listings and the
// canonical location of a device directory.
namespace vxdev
{
// While one lives on a thread, the readers below answer a question asked before on that thread from
// what they learnt then: each resolved path component, attribute, listing and file type is asked of the
// kernel once. One enumeration looks at the same devices, parents and class folders dozens of times
// (and one Ulvex lookup runs several enumerations), each time through a dozen path components.
//
// The enumerators open one, so do the look-ups over them (FindInterfaceByDeviceNode,
// ParentInstanceIdOfSysfsDevice, UsbSerialIsEnumerated), the drive map and every Ulvex function that
// looks devices up; a function that reads each thing once needs none. Scopes nest: an inner one shares what
// the outermost knows, and all of it is forgotten when the outermost ends, so nothing learnt survives the
// call that learnt it; the next call sees the tree as it is then. What lies under /proc (descriptor links
// that name another file as soon as a descriptor number is reused) is always asked afresh.
class SysfsCallScope
{
  public:
    SysfsCallScope();
    ~SysfsCallScope();
    SysfsCallScope(const SysfsCallScope &) = delete;
    SysfsCallScope &operator=(const SysfsCallScope &) = delete;
};

// The attribute file's text without the trailing newline (and surrounding blanks);
// nothing when the file cannot be read.
std::optional<std::string> ReadAttr(const std::string &dir, const std::string &name);

// An attribute written as hexadecimal ("1d6b") or decimal (" 1", "480").
std::optional<unsigned long> ReadHexAttr(const std::string &dir, const std::string &name);
std::optional<long> ReadDecAttr(const std::string &dir, const std::string &name);

// The attribute's raw bytes (for binary attributes such as report_descriptor).
std::optional<std::vector<unsigned char>> ReadBinaryAttr(const std::string &dir, const std::string &name);

// The names in a directory, without "." and ".."; empty when it cannot be read.
std::vector<std::string> ListDir(const std::string &dir);

// realpath(); nothing when the path does not resolve. Within a SysfsCallScope an absolute path is
// resolved component by component from what the scope knows, with the same result.
std::optional<std::string> Canonical(const std::string &path);

// Whether dir holds an entry of this name (a link counts as what it leads to).
bool HasEntry(const std::string &dir, std::string_view name);

// The sysfs root resolved (as it is when it does not resolve).
std::string CanonicalSysfsRoot();

// The path below the (canonical) sysfs root, e.g. "devices/pci0000:00/.../1-2"; the
// path unchanged when it lies outside the root.
std::string RelativeToSysfs(const std::string &canonicalPath);

std::string BaseName(const std::string &path);
std::string DirName(const std::string &path);
bool IsDirectory(const std::string &path);
bool Exists(const std::string &path);

// Compares names so that runs of digits order by value ("1-9" before "1-10").
bool NaturalLess(const std::string &a, const std::string &b);

// 32-bit FNV-1a, stable across runs and machines.
unsigned int StableHash(const std::string &text);

std::string ToUpperAscii(std::string text);
std::string ToLowerAscii(std::string text);
} // namespace vxdev
