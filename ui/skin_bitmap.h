// Bitmaps of the skin: scaling a background to the size a window really has,
// and pattern brushes that keep their bitmap.
//
// A dialog's size follows its font and the screen's DPI (the 700 x 520 picture
// of a window may have to cover 817 x 520 or 1168 x 760 pixels), so a window
// makes its background once at its real client size with FitBitmap, owns it,
// paints with a pattern brush of it, and lets its transparent labels cut their
// backgrounds from the same bitmap.
#pragma once

#include <windows.h>

#include "ui/gdi_objects.h"

// A copy of `source` scaled to width x height (a plain copy at the same size);
// empty when `source` is not a bitmap or the copy cannot be made.
GdiBitmap FitBitmap(HBITMAP source, int width, int height);

// A pattern brush together with the bitmap it is made of, which lives exactly
// as long as the brush.
struct PatternBrush {
  GdiBitmap bitmap;
  GdiBrush brush;
  HBRUSH get() const { return brush.get(); }
  explicit operator bool() const { return static_cast<bool>(brush); }
};
PatternBrush MakePatternBrush(GdiBitmap bitmap);
