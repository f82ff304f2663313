// CTransparentStatic: a text label that seems to lie on its owner's picture.
// Its background is a brush cut from the owner's background bitmap at the
// label's own position, and its text is drawn transparently in a font made
// from the label's font with the fields below.
//
// The label handles no message itself: the owner, in its WM_CTLCOLORSTATIC
// handling, sets the fields it wants and returns OnParentCtlColor's brush. The
// font and the background brush are made at the first paint and kept: later
// changes of the font fields have no effect, and a new bitmap or a move of the
// label shows after ResetBackground.
#pragma once

#include <windows.h>

#include <string>

#include "ui/control.h"
#include "ui/gdi_objects.h"
#include "ui/skin_bitmap.h"

class CTransparentStatic : public CControl {
 public:
  // The brush for the label's background, with the surface set up for its
  // text; null when the background cannot be made (no bitmap, no label).
  HBRUSH OnParentCtlColor(HDC dc, HWND label, UINT ctlType);
  // Forgets the background brush, so the next paint cuts it anew.
  void ResetBackground();
  HFONT font() const { return font_.get(); }

  // Font description: the label's own font with these changes.
  BYTE underline = 0;
  int weight = FW_NORMAL;
  int height = 0;         // at 96 DPI; 0 keeps the label font's height
  BYTE charSet = 255;     // 255 keeps the label font's character set
  BYTE quality = 255;     // 255 keeps the label font's quality
  std::wstring faceName;  // empty keeps the label font's face
  // Read at every paint.
  COLORREF textColor = RGB(0, 0, 0);
  // The owner's background picture as it lies at the owner's client origin;
  // owned by the owner and alive as long as the label.
  HBITMAP backgroundSource = nullptr;

 private:
  GdiFont font_;
  PatternBrush backgroundBrushCache_;
};

// A brush that, painted from the top-left corner of the parent's child with
// this id, shows the part of `bitmap` (laid at the parent's client origin)
// under that child. Empty when there is no such child or no bitmap.
PatternBrush MakeBackgroundBrush(int id, HWND parent, HBITMAP bitmap);
