// The system's own window messages to the main window, and how the other threads
// deliver them. On Windows they go to the handle that the main window publishes
// while it initialises (SendMessageW waits until the user-interface thread has
// handled the message, PostMessageW does not). Windows: main_window_win32.cpp,
// where the main window publishes its handle (main_window_win32.h); natively
// the tests' stand-in thread (tests/support/main_window_standin.h).
#pragma once

#include <cstdint>

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
