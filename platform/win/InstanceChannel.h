#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win/WinTypes.h"

// How another process reaches the first instance, standing in for finding its window by title
// and sending it messages: the first instance listens on a local socket beside its instance
// lock and serves each request (InstanceRequest.h) on the GUI thread.
namespace vxwin
{
// How long the first instance waits for a connection's whole request before it drops it.
constexpr int kInstanceRequestTimeoutMs = 5000;
// Connections served at once; further ones are closed unanswered until one ends.
constexpr int kMaxInstanceConnections = 16;

// Starts listening at path (a stale socket file there is replaced). `activate` returns 1 when
// it brought a window to the front, else 0. `window` names the window that copy-data requests
// are sent to and postable messages posted to (null, or no `window`: those are answered 0).
// false when the socket cannot be made.
bool ListenForActivation(const std::string &path, std::function<int()> activate,
                         std::function<HWND()> window = {});
void StopListening();
// Replaces kInstanceRequestTimeoutMs for connections made from now on (tests); 0 restores it.
void SetInstanceRequestTimeout(int timeoutMs);

// Asks the instance listening at path to come to the front; its answer, or 0 when nobody
// listens there or no answer comes within timeoutMs.
int RequestActivation(const std::string &path, int timeoutMs = 5000);

// The client calls below wait for the answer: never make them on the listening process's own GUI
// thread, which would have to answer them (it acts on its own window directly instead).

// Has the instance listening at path send WM_COPYDATA (dwData = dataType, the bytes; lpData null
// when there are none) to its main window, and gives the window's result. false when nobody listens, the
// request is refused (more than kMaxCopyDataBytes, or bytes missing), or no answer comes in time.
bool RequestCopyData(const std::string &path, std::uint32_t dataType, const void *bytes, std::uint32_t length,
                     long long &result, int timeoutMs = 30000);

// Has the instance listening at path post `message` (wParam and lParam 0) to its main window:
// 1 when posted, 0 when refused (a message not postable from outside, no window) or no answer.
int RequestPostMessage(const std::string &path, std::uint32_t message, int timeoutMs = 5000);

// Brings the window's last active pop-up to the front: the open modal window (a dialog or a
// message box) when there is one, else hwnd itself. FALSE when there is neither.
BOOL BringLastActivePopupToFront(HWND hwnd);
} // namespace vxwin
