#pragma once

#include <string>
#include <string_view>

// A named lock that marks a running instance, standing in for a named mutex: a lock file in
// the first of these folders that is the user's alone (a real folder, not a link, owned by the
// user, no access for others): $XDG_RUNTIME_DIR as it is; <temporary folder>/vormatik-<uid>,
// <state folder>/Vormatik/instance and <cache folder>/Vormatik/instance, each made 0700 when
// missing and narrowed to 0700 when opened. The kernel releases the lock when the process ends,
// however it ends.
namespace vxsys
{
enum class InstanceLockResult
{
    First = 0,   // taken; held until the process ends
    Another = 1, // another open of the lock holds it (another process, as a rule)
    Failed = 2,  // no usable folder or file
};

// Takes the lock named `name`. When taken, a socket file left beside it (by an instance that
// died) is removed.
InstanceLockResult AcquireInstanceLock(std::u16string_view name);

// Whether this process holds the lock named `name`.
bool HoldsInstanceLock(std::u16string_view name);

// Whether the lock named `name` is held, by this process or by any other, without taking it
// (and without making its file). Stands in for looking for another program's window by title.
bool IsInstanceLockTaken(std::u16string_view name);

// The folder the locks live in; empty only when no candidate is fit for use.
std::string InstanceFolder();

// The path of the lock file and of the socket beside it; empty when there is no folder.
std::string InstanceLockPath(std::u16string_view name);
std::string InstanceSocketPath(std::u16string_view name);
} // namespace vxsys
