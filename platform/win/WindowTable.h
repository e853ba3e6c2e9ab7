#pragma once

// The window table (handles to windows) and the dispatcher that carries posted messages and
// messages sent from other threads to the UI thread. Internal to the window layer.

#include "platform/win/WinTypes.h"

class CWnd;

namespace vxwin
{
// A new handle for the window. Handles are never reused, so a handle kept by a worker after its
// window died stays dead.
HWND RegisterWindow(CWnd *wnd);
void UnregisterWindow(HWND hwnd);
// The window behind a handle; null for a handle that is not (or no longer) a window.
CWnd *LookupWindow(HWND hwnd);

bool IsUiThread();
// Makes the dispatcher on the UI thread the first time; false when there is none and none can be
// made here (no application, or another thread).
bool EnsureDispatcher();
// A message sent from a thread other than the UI thread: the caller waits until the UI thread
// has handled it. 0 when there is no dispatcher or no such window.
LRESULT SendFromOtherThread(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
} // namespace vxwin
