// Feeds two readings of a mount table to the comparison that turns a mount-table change into
// device-change events.
//
// Input: the length of the first reading (16-bit little-endian), the first reading, then the second.

#include "fuzz/FuzzInput.h"
#include "platform/win/DeviceChangeNotifier.h"

#include <cstdlib>
#include <vector>

namespace
{
bool Contains(const std::vector<UINT> &types, UINT type)
{
    for (const UINT t : types)
        if (t == type)
            return true;
    return false;
}

// Each type at most once, in the order removal, arrival, change of nodes.
void CheckShape(const std::vector<UINT> &types)
{
    const UINT order[] = {DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL, DBT_DEVNODES_CHANGED};
    std::size_t at = 0;
    for (const UINT type : types)
    {
        while (at < 3 && order[at] != type)
            ++at;
        if (at == 3)
            std::abort();
        ++at;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vxfuzz::InputReader input(data, size);
    const std::string before = vxfuzz::AsString(input.Bytes(input.U16()));
    const std::string after = vxfuzz::AsString(input.Rest());

    const std::vector<UINT> forward = vxwin::MountTableChanges(before, after);
    const std::vector<UINT> backward = vxwin::MountTableChanges(after, before);
    CheckShape(forward);
    CheckShape(backward);
    // A mount that came one way went the other; a changed line changed both ways.
    if (Contains(forward, DBT_DEVICEARRIVAL) != Contains(backward, DBT_DEVICEREMOVECOMPLETE) ||
        Contains(forward, DBT_DEVICEREMOVECOMPLETE) != Contains(backward, DBT_DEVICEARRIVAL) ||
        Contains(forward, DBT_DEVNODES_CHANGED) != Contains(backward, DBT_DEVNODES_CHANGED))
        std::abort();
    if (!vxwin::MountTableChanges(before, before).empty() || !vxwin::MountTableChanges(after, after).empty())
        std::abort();
    return 0;
}
