#pragma once

#include <string>
#include <string_view>

// A named lock that marks a running instance, standing in for a named mutex: a lock file in
// the user's runtime folder ($XDG_RUNTIME_DIR, else a private 0700 folder of the user's own
// below the temporary folder). The kernel releases it when the process ends, however it ends.
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

// The folder the locks live in; empty when there is none fit for use (owned by another user,
// not a folder, or open to others and not narrowable).
std::string InstanceFolder();

// The path of the lock file and of the socket beside it; empty when there is no folder.
std::string InstanceLockPath(std::u16string_view name);
std::string InstanceSocketPath(std::u16string_view name);
} // namespace vxsys
