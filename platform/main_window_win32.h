// Windows only: the main window publishes its handle during its
// initialisation, and the messages of main_window.h go to it.
#pragma once

#include <windows.h>

// The main window's handle, published during its initialisation; nullptr
// withdraws it.
void PublishMainWindow(HWND hwnd);
HWND PublishedMainWindow();

// The main window answers this private message by taking the keyboard focus:
// SetFocus acts only on windows of the calling thread, so another thread asks
// by posting it.
constexpr UINT WM_MAIN_WINDOW_FOCUS = WM_APP + 0x40;

// Gives the published main window the keyboard focus: at once on its own
// thread, by posting WM_MAIN_WINDOW_FOCUS from any other.
void FocusPublishedMainWindow();
