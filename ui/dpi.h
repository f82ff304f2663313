// Sizes on screens of any density. The program declares itself aware of the
// system's DPI (see app/res/CalvoroRecord.manifest): the system then draws
// nothing of it scaled, and the skin sizes given in pixels at 96 DPI (images,
// font heights, menu items) are scaled here to the screen's DPI.
#pragma once

#include <windows.h>

constexpr int kDesignDpi = 96;

// The screen's DPI (LOGPIXELSY), the same for every window of the process.
int ScreenDpi();

// A size given at 96 DPI, at `dpi`.
inline int ScaleForDpi(int value, int dpi) { return MulDiv(value, dpi, kDesignDpi); }
inline int ScaleForScreen(int value) { return ScaleForDpi(value, ScreenDpi()); }
