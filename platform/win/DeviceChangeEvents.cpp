#include "platform/win/DeviceChangeNotifier.h"

#include <map>

// What the device events mean, apart from where they come from: no Qt and no udev here, so the
// mount table's reader can be fed to a fuzzer on its own.

namespace
{
// The line's device ("major:minor", its third field) is a block device: major 0 is the kernel's
// own (tmpfs, proc, overlay, FUSE), which comes and goes without any device doing so.
bool IsBlockDeviceMount(std::string_view line)
{
    for (int field = 0; field < 2; ++field)
    {
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return false;
        line.remove_prefix(space + 1);
    }
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return false;
    bool nonZero = false;
    for (const char c : line.substr(0, colon))
    {
        if (c < '0' || c > '9')
            return false;
        nonZero = nonZero || c != '0';
    }
    return nonZero;
}

// The block-device mounts of a mount table by mount ID; a later line of the same ID wins.
std::map<std::string_view, std::string_view> MountsById(std::string_view table)
{
    std::map<std::string_view, std::string_view> mounts;
    while (!table.empty())
    {
        const std::size_t end = table.find('\n');
        const std::string_view line = table.substr(0, end);
        table = end == std::string_view::npos ? std::string_view() : table.substr(end + 1);
        if (IsBlockDeviceMount(line))
            mounts[line.substr(0, line.find(' '))] = line;
    }
    return mounts;
}
} // namespace

namespace vxwin
{
UINT DeviceChangeOfUdevAction(std::string_view action)
{
    if (action.empty())
        return 0;
    if (action == "add")
        return DBT_DEVICEARRIVAL;
    if (action == "remove")
        return DBT_DEVICEREMOVECOMPLETE;
    return DBT_DEVNODES_CHANGED;
}

std::vector<UINT> MountTableChanges(std::string_view before, std::string_view after)
{
    const auto was = MountsById(before);
    const auto now = MountsById(after);
    bool removed = false, added = false, changed = false;
    for (const auto &[id, line] : was)
    {
        const auto it = now.find(id);
        if (it == now.end())
            removed = true;
        else if (it->second != line)
            changed = true;
    }
    for (const auto &entry : now)
        added = added || !was.count(entry.first);
    std::vector<UINT> types;
    if (removed)
        types.push_back(DBT_DEVICEREMOVECOMPLETE);
    if (added)
        types.push_back(DBT_DEVICEARRIVAL);
    if (changed)
        types.push_back(DBT_DEVNODES_CHANGED);
    return types;
}
} // namespace vxwin
