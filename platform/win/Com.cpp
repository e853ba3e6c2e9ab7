#include "platform/win/Com.h"

namespace
{
thread_local int t_depth = 0;
thread_local int t_unbalanced = 0;
} // namespace

HRESULT CoInitializeEx(void *, DWORD)
{
    return t_depth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_depth > 0)
        --t_depth;
    else
        ++t_unbalanced;
}

namespace vxwin
{
int ComInitDepth()
{
    return t_depth;
}

int ComUnbalancedUninitCount()
{
    return t_unbalanced;
}
} // namespace vxwin
