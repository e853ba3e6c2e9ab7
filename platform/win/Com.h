#pragma once

// COM has no counterpart here: nothing the program calls through it needs setting up. The
// calls stay, as no-ops that count per thread, so the order of set-up and tear-down the
// callers keep can still be seen (and a tear-down without its set-up shows up).

#include "platform/win/WinTypes.h"

using HRESULT = LONG;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr DWORD COINIT_MULTITHREADED = 0;

constexpr bool SUCCEEDED(HRESULT result)
{
    return result >= 0;
}

// S_OK for the thread's first call, S_FALSE for every further one, as on Windows.
HRESULT CoInitializeEx(void *reserved, DWORD flags);
// Ends one CoInitializeEx of this thread; nothing when none is open.
void CoUninitialize();

namespace vxwin
{
// CoInitializeEx calls of this thread not yet ended by CoUninitialize.
int ComInitDepth();
// CoUninitialize calls of this thread that found nothing open.
int ComUnbalancedUninitCount();
} // namespace vxwin
