// SimSkype's windows, on the main thread: the API window that talks to the
// recorder (discover broadcasts, commands in WM_COPYDATA), the foreign window
// whose texts the recorder must refuse, and the windows of the client's
// classes (its main window, its call-quality window) that the recorder looks
// for, hides and closes.
#pragma once

#include <string>

namespace simclient {

// Registers the window messages and classes and makes the API and foreign
// windows (top-level, not message-only: only those receive broadcasts). On
// the main thread, before its message loop; false when one is missing.
bool CreateApiWindows();
// Destroys every window of SimSkype; on the main thread, after its loop.
void DestroyApiWindows();

// From any thread: shows a window of class `className`, or destroys it
// again, on the main thread; returns once done.
void ShowClientWindow(const std::string& className);
void CloseClientWindow(const std::string& className);

// From any thread: ends the main thread's message loop.
void EndMessageLoop();

}  // namespace simclient
