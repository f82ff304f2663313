#include "ui/skin_bitmap.h"

GdiBitmap FitBitmap(HBITMAP source, int width, int height) {
  BITMAP info = {};
  if (!source || !GetObjectW(source, sizeof info, &info) || width <= 0 || height <= 0) return GdiBitmap();
  ClientDC screen(nullptr);
  GdiBitmap fitted(CreateCompatibleBitmap(screen.get(), width, height));
  MemoryDC from(screen.get());
  MemoryDC to(screen.get());
  if (!fitted || !from.get() || !to.get()) return GdiBitmap();
  {
    SelectionScope readSource(from.get(), source);
    SelectionScope writeCopy(to.get(), fitted.get());
    if (info.bmWidth == width && info.bmHeight == height) {
      BitBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, SRCCOPY);
    } else {
      SetStretchBltMode(to.get(), HALFTONE);
      SetBrushOrgEx(to.get(), 0, 0, nullptr);
      StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
  }
  return fitted;
}

PatternBrush MakePatternBrush(GdiBitmap bitmap) {
  PatternBrush pattern;
  if (!bitmap) return pattern;
  pattern.brush.reset(CreatePatternBrush(bitmap.get()));
  if (pattern.brush) pattern.bitmap = std::move(bitmap);
  return pattern;
}
