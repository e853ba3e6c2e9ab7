#pragma once

#include <functional>
#include <string>

#include "platform/win/WinTypes.h"

// How a second start reaches the first instance, standing in for finding its window by title:
// the first instance listens on a local socket beside its instance lock; a request makes it
// run its handler on the GUI thread and answer the handler's result.
namespace vxwin
{
// Starts listening at path (a stale socket file there is replaced). The handler returns 1
// when it brought a window to the front, else 0. false when the socket cannot be made.
bool ListenForActivation(const std::string &path, std::function<int()> handler);
void StopListening();

// Asks the instance listening at path to come to the front; its answer, or 0 when nobody
// listens there or no answer comes within timeoutMs.
int RequestActivation(const std::string &path, int timeoutMs = 5000);

// Brings the window's last active pop-up to the front: the open modal window (a dialog or a
// message box) when there is one, else hwnd itself. FALSE when there is neither.
BOOL BringLastActivePopupToFront(HWND hwnd);
} // namespace vxwin
