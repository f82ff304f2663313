// CEditEx: an edit field with its own text, background and border colours. The
// border is a rounded outline in `borderColor` drawn in place of the system's
// frame, and the window is cut to the same rounded shape so that the owner's
// background shows at the corners. The colours are set by assignment and take
// effect at the next paint.
#pragma once

#include <windows.h>

#include "ui/control.h"
#include "ui/gdi_objects.h"

class CEditEx : public CControl {
 public:
  COLORREF borderColor = RGB(127, 157, 185);
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF backColor = RGB(255, 255, 255);

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnAttach() override;

 private:
  void ApplyRoundShape();

  GdiBrush backBrush_;
  COLORREF backBrushColor_ = 0;
};

// Draws a rounded outline (corner ellipse 6 x 6 at 96 DPI) in `border` on the
// window's outermost pixels and fills the rest of its frame, if it has one,
// with `fill`; the inside of the client area is left to the window.
void DrawRoundBorder(HWND window, COLORREF border, COLORREF fill);
