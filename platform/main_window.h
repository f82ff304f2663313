// The system's own window messages to the main window, and how the other threads
// deliver them. On Windows they go to the handle that the main window publishes
// while it initialises (SendMessageW waits until the user-interface thread has
// handled the message, PostMessageW does not). The native build has a stand-in
// user-interface thread that tests start with a handler of their own.
#pragma once

#include <cstdint>
#include <functional>

enum MainWindowMessage : uint32_t {
  WM_SKYPE_CALL_STARTED = 0x0401,    // WM_USER+1
  WM_SKYPE_CALL_ENDED = 0x0402,      // WM_USER+2
  WM_SKYPE_STATUS_CHANGED = 0x0403,  // WM_USER+3
  WM_STREAM_FILE_FAILED = 0x0404,    // WM_USER+4
  WM_SKYPE_PARTNER_KNOWN = 0x0405,   // WM_USER+5
  WM_EXIT_REQUEST = 0x0406,          // WM_USER+6
  WM_SETTINGS_APPLIED = 0x0407,      // WM_USER+7
};

// Both parameters are 0. False when no main window is there to receive it.
bool SendToMainWindow(uint32_t message);
bool PostToMainWindow(uint32_t message);

#ifdef _WIN32
// The main window's handle (an HWND), published during its initialisation.
void PublishMainWindow(void* hwnd);
void* PublishedMainWindow();
#else
// The stand-in user-interface thread: one thread that runs the handler for each
// message in turn. Send waits for its message to be handled.
void StartMainWindowStandIn(std::function<void(uint32_t message)> handler);
void StopMainWindowStandIn();
#endif
