// The link's platform operations: how a command reaches the client, how the
// client is asked to attach, and how a thread waits for the link threads to end
// (skype_transport_win32.cpp with window messages; natively the tests link a
// stand-in that they drive, tests/support/skype_client_standin.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "skype/skype_api.h"

// Sends one WM_COPYDATA to the client's API window, from `fromWindow` (wParam),
// with `data` as lpData and data.size() as cbData (dwData 0), and waits until
// the client has handled it. True when the client's answer is nonzero.
bool DeliverCommandToSkype(WindowId apiWindow, WindowId fromWindow, const std::string& data);

// The client's API window is still there (IsWindow). A client that quit or
// crashed without a goodbye leaves a handle that names no window any more.
bool ClientWindowExists(WindowId apiWindow);

// The process that owns the client's API window (GetWindowThreadProcessId); 0
// when there is no such window.
uint32_t ClientWindowProcess(WindowId apiWindow);

// Posts the discover message to every top-level window, with `fromWindow` as
// wParam.
void PostDiscoverBroadcast(WindowId fromWindow);

// Waits until `done` holds or `deadline` passes; true when it holds. On Windows
// the waiting thread goes on handling messages sent to its windows meanwhile,
// so a link thread that is waiting in a SendMessageW to a window of this thread
// can finish.
bool WaitServingSentMessages(const std::function<bool()>& done, std::chrono::milliseconds deadline);
