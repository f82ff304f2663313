// The Skype client seen from the outside: its windows (by class name), its
// program file (registered path) and its process. Windows:
// window_control_win32.cpp (FindWindowW, the registry, psapi, ShellExecuteW);
// natively the tests link a stand-in that they drive
// (tests/support/skype_client_standin.h). RunSkype and OpenSkype are the same
// on both and live in window_control.cpp.
#pragma once

#include <string>

#include "skype/skype_link.h"

// The client's main window (the first of its four class names found), or 0.
WindowId FindSkypeMainWindow();

// Posts WM_CLOSE to the first window of each of the four call-quality classes.
void CloseCallQualityWindows();

// The client's program file from "SkypePath" under Software\Skype\Phone, first
// under HKEY_CURRENT_USER and, only when that key is missing, under
// HKEY_LOCAL_MACHINE. False when the key or value is missing (a trace line
// says so) or the file does not exist.
bool GetSkypePath(std::wstring& path);

// Whether a process "skype.exe" runs (any letter case). A failed process
// listing counts as running.
bool IsSkypeRunning();

// The client's state, from the install and process checks and the link's flags.
SkypeClientState GetSkypeClientState(const SkypeLink& link);

// The same in two steps, for a caller that looks at the client on one thread
// and at the link on another: the install and process checks (slow: the
// registry and the process list), then the state they give with the link's
// flags.
struct ClientPresence {
  bool installed = false;  // its path is registered and the file is there
  bool running = false;    // a "skype.exe" process runs (looked for only when installed)
};
ClientPresence CheckClientPresence();
SkypeClientState ClientStateOf(const ClientPresence& presence, const SkypeLink& link);

// Opens the client's program file (shell verb "open", shown normally).
void RunSkype(const std::wstring& path);

// The Run Skype button, given the client state the status line last showed:
// not installed: opens the client maker's web site; attached: brings the
// client's window back ("SET WINDOWSTATE NORMAL", "FOCUS"); otherwise starts the
// client when its path is known. Returns after a moment for what was opened to
// come up (the caller then gives the focus back to its window); false when
// nothing was opened.
bool OpenSkype(SkypeLink& link, SkypeClientState lastState);
// The same with what it needs of the link taken beforehand: whether it is
// attached and where its commands go.
bool OpenSkype(bool attached, const CommandRoute& route, SkypeClientState lastState);
