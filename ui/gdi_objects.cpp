#include "ui/gdi_objects.h"

#include <algorithm>

void FillSolidRect(HDC dc, RECT rect, COLORREF color) {
  if (rect.left > rect.right) std::swap(rect.left, rect.right);
  if (rect.top > rect.bottom) std::swap(rect.top, rect.bottom);
  COLORREF previous = SetBkColor(dc, color);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  SetBkColor(dc, previous);
}

void Draw3dRect(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
  LONG x = r.left, y = r.top, cx = r.right - r.left, cy = r.bottom - r.top;
  FillSolidRect(dc, {x, y, x + cx - 1, y + 1}, topLeft);
  FillSolidRect(dc, {x, y, x + 1, y + cy - 1}, topLeft);
  FillSolidRect(dc, {x + cx, y, x + cx - 1, y + cy}, bottomRight);
  FillSolidRect(dc, {x, y + cy, x + cx, y + cy - 1}, bottomRight);
}
