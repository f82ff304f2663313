#include "ui/transparent_static.h"

#include <cwchar>

#include "ui/dpi.h"

PatternBrush MakeBackgroundBrush(int id, HWND parent, HBITMAP bitmap) {
  HWND child = GetDlgItem(parent, id);
  if (!child || !bitmap) return PatternBrush();
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  ClientDC parentDC(parent);
  MemoryDC source(parentDC.get());
  MemoryDC target(parentDC.get());
  GdiBitmap piece(CreateCompatibleBitmap(parentDC.get(), width, height));
  if (!piece || !source.get() || !target.get()) return PatternBrush();
  {
    SelectionScope readSource(source.get(), bitmap);
    SelectionScope writePiece(target.get(), piece.get());
    BitBlt(target.get(), 0, 0, width, height, source.get(), rect.left, rect.top, SRCCOPY);
  }
  return MakePatternBrush(std::move(piece));
}

HBRUSH CTransparentStatic::OnParentCtlColor(HDC dc, HWND label, UINT ctlType) {
  HWND parent = GetParent(label);
  DefWindowProcW(parent, WM_CTLCOLORMSGBOX + ctlType, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
  if (!font_) {
    LOGFONTW description = {};
    HFONT labelFont = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    GetObjectW(labelFont ? static_cast<HGDIOBJ>(labelFont) : GetStockObject(SYSTEM_FONT), sizeof description,
               &description);
    description.lfUnderline = underline;
    description.lfWeight = weight;
    if (height != 0) description.lfHeight = ScaleForScreen(height);
    if (!faceName.empty()) {
      std::wcsncpy(description.lfFaceName, faceName.c_str(), LF_FACESIZE - 1);
      description.lfFaceName[LF_FACESIZE - 1] = L'\0';
    }
    if (charSet != 255) description.lfCharSet = charSet;
    if (quality != 255) description.lfQuality = quality;
    font_.reset(CreateFontIndirectW(&description));
    // The static control selects its own font after asking for its colours,
    // so the label is given the new font to draw with (without a repaint: it
    // is painting now).
    if (font_) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  SetBkMode(dc, TRANSPARENT);
  // The label keeps the font selected after painting; it lives as long as the
  // label's object, which outlives the label's window.
  if (font_) SelectObject(dc, font_.get());
  SetTextColor(dc, textColor);
  if (!backgroundBrushCache_) backgroundBrushCache_ = MakeBackgroundBrush(::GetDlgCtrlID(label), parent, backgroundSource);
  return backgroundBrushCache_.get();
}

void CTransparentStatic::ResetBackground() {
  backgroundBrushCache_ = PatternBrush();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}
