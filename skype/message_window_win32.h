// Windows only: the recorder's hidden window through which the Skype client
// talks to its link, and the two registered messages of the client's API.
//
// The main window's initialisation calls InitSkypeMessageWindow with the
// recorder's link. The window belongs to the calling thread, whose message
// loop dispatches its messages, and it keeps a pointer to the link, which
// must outlive it.
#pragma once

#include <windows.h>

#include <cstdint>

class SkypeLink;

// RegisterWindowMessageW("SkypeControlAPIAttach") and ("SkypeControlAPIDiscover");
// 0 when registering failed. Registered names give every process the same id.
uint32_t AttachMessage();
uint32_t DiscoverMessage();

// Registers the class "SkypeDorvRecorder4SkypeMessage.Class" once; true when it
// is registered with this procedure.
bool RegisterMessageWindowClass();
// Creates the hidden window (never shown) for `link`, into its messageWindow;
// true on success.
bool CreateMessageWindow(SkypeLink& link);
// The window's procedure:
//   WM_DESTROY: the link's messageWindow = 0 and the thread's message loop ends;
//   WM_COPYDATA: queued when it comes from the client's API window (result 1),
//     refused otherwise (result 0);
//   the attach message: the attach status is acted on (result 1).
LRESULT CALLBACK SkypeMessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The link's part of the main window's initialisation: when both registered
// messages are known, registers the class, creates the window and posts the
// first discover broadcast. False when the link stays inactive.
bool InitSkypeMessageWindow(SkypeLink& link);
