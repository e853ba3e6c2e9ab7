// Makes the program's own string table what LoadString reads, from the start.
//
// Compiled into every executable that links the resources, not into their static library: a
// library object that nothing refers to would be left out by the linker, and with it this
// initialiser. The window layer may not know the resources, so the table plugs itself in here.
// A test may still put a table of its own in place with vxwin::SetStringTableLookup.

#include "platform/win/CString.h"
#include "resources/Resources.h"

namespace
{
struct InstallProgramStringTable
{
    InstallProgramStringTable() { vxwin::SetStringTableLookup(&vxres::LookupString); }
} const g_installProgramStringTable;
} // namespace
