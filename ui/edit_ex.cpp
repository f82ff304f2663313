#include "ui/edit_ex.h"

#include "ui/dpi.h"

namespace {
int CornerEllipse() { return ScaleForScreen(6); }
}  // namespace

void DrawRoundBorder(HWND window, COLORREF border, COLORREF fill) {
  RECT whole, client;
  GetWindowRect(window, &whole);
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  OffsetRect(&client, -whole.left, -whole.top);
  OffsetRect(&whole, -whole.left, -whole.top);
  // The window's own surface, clipped to its rounded shape: the edit class asks
  // for its parent's clipping (CS_PARENTDC), which would ignore the shape.
  HDC dc = GetDCEx(window, nullptr, DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!dc) return;
  // The frame around the client area (if the edit has one) in the fill colour...
  SaveDC(dc);
  ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
  FillSolidRect(dc, whole, fill);
  RestoreDC(dc, -1);
  // ...and the outline on the window's outermost pixels, over the border that
  // an edit without a frame draws inside its client area.
  {
    GdiPen pen(CreatePen(PS_SOLID, 0, border));
    SelectionScope usePen(dc, pen.get());
    SelectionScope useBrush(dc, GetStockObject(NULL_BRUSH));
    int ellipse = CornerEllipse();
    RoundRect(dc, whole.left, whole.top, whole.right, whole.bottom, ellipse, ellipse);
  }
  ReleaseDC(window, dc);
}

void CEditEx::OnAttach() {
  ApplyRoundShape();
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CEditEx::ApplyRoundShape() {
  RECT rect;
  GetWindowRect(hwnd_, &rect);
  int ellipse = CornerEllipse();
  // The window owns the region from here on.
  HRGN shape = CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, ellipse, ellipse);
  if (shape && !SetWindowRgn(hwnd_, shape, TRUE)) DeleteObject(shape);
  // The owner paints the corners the shape leaves out.
  if (HWND owner = GetParent(hwnd_)) {
    MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&rect), 2);
    InvalidateRect(owner, &rect, TRUE);
  }
}

LRESULT CEditEx::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCPAINT:
      // In place of the system's frame, not on top of it.
      DrawRoundBorder(hwnd_, borderColor, backColor);
      return 0;
    case WM_PAINT: {
      // An edit with a plain border and no frame draws that border itself.
      LRESULT result = Default(message, wParam, lParam);
      DrawRoundBorder(hwnd_, borderColor, backColor);
      return result;
    }
    case WM_WINDOWPOSCHANGED:
      if (!(reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_NOSIZE)) ApplyRoundShape();
      break;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

bool CEditEx::OnReflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  // An editable field asks with WM_CTLCOLOREDIT, a read-only or disabled one
  // with WM_CTLCOLORSTATIC.
  if (message != WM_CTLCOLOREDIT && message != WM_CTLCOLORSTATIC) return false;
  if (!backBrush_ || backBrushColor_ != backColor) {
    backBrush_.reset(CreateSolidBrush(backColor));
    backBrushColor_ = backColor;
  }
  HDC dc = reinterpret_cast<HDC>(wParam);
  SetTextColor(dc, textColor);
  SetBkColor(dc, backColor);
  result = reinterpret_cast<LRESULT>(backBrush_.get());
  return true;
}
