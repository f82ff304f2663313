// Windows only: the main window publishes its handle during its
// initialisation, and the messages of main_window.h go to it.
#pragma once

#include <windows.h>

// The main window's handle, published during its initialisation; nullptr
// withdraws it.
void PublishMainWindow(HWND hwnd);
HWND PublishedMainWindow();
