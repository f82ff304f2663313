// The window through which the client talks to the link. On Windows it is a
// hidden window of the calling thread, whose message loop serves it
// (message_window_win32.h); elsewhere there is none: tests hand the client's
// messages to the link directly.
#pragma once

class SkypeLink;

// Creates the link's window on the calling thread and posts the first
// discover broadcast; false when the link stays inactive.
bool OpenClientWindow(SkypeLink& link);
// The window goes (on the thread that made it); nothing when there is none.
void CloseClientWindow(SkypeLink& link);
