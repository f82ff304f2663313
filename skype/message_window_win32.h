// Windows only: the recorder's hidden window through which the Skype client
// talks to it, and the two registered messages of the client's API.
//
// The main window's initialisation, after it has published its own handle
// (PublishMainWindow), calls InitSkypeMessageWindow (or the three steps it is
// made of: RegisterMessageWindowClass, CreateMessageWindow, then the first
// discover broadcast). The window belongs to the calling thread, whose message
// loop dispatches its messages.
#pragma once

#include <windows.h>

#include <cstdint>

// RegisterWindowMessageW("SkypeControlAPIAttach") and ("SkypeControlAPIDiscover"),
// registered during static initialisation; 0 when registering failed.
extern const uint32_t attachMessage;
extern const uint32_t discoverMessage;

// Registers the class "SkypeDorvRecorder4SkypeMessage.Class"; true on success.
bool RegisterMessageWindowClass();
// Creates the hidden window (never shown) into `messageWindow`; true on success.
bool CreateMessageWindow();
// The window's procedure:
//   WM_DESTROY: `messageWindow` = 0 and the thread's message loop ends;
//   WM_COPYDATA: queued when it comes from the client's API window (result 1),
//     refused otherwise (result 0);
//   the attach message: the attach status is acted on (result 1).
LRESULT CALLBACK SkypeMessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The link's part of the main window's initialisation: when both registered
// messages are known, registers the class, creates the window and posts the
// first discover broadcast. False when the link stays inactive.
bool InitSkypeMessageWindow();
