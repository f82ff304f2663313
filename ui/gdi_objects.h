// Owners for GDI objects and device contexts. Each object has exactly one owner
// that frees it, and a selection into a device context is undone before the
// context or the object goes away, so that painting a thousand times leaves the
// process's GDI handle count where it was.
//
//   GdiFont font(CreateFontIndirectW(&lf));      // DeleteObject when it goes
//   ClientDC dc(window);                          // GetDC ... ReleaseDC
//   SelectionScope keep(dc, font.get());          // selects, and puts back the old one
//
// Objects the system owns (stock objects, system colour brushes, a region given
// to SetWindowRgn) are never put into an owner.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  ~GdiObject() { reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : handle_(other.release()) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Gives the object up to a new owner (SetWindowRgn, for example).
  Handle release() { return std::exchange(handle_, nullptr); }
  void reset(Handle handle = nullptr) {
    if (handle_ && handle_ != handle) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

using GdiFont = GdiObject<HFONT>;
using GdiBrush = GdiObject<HBRUSH>;
using GdiBitmap = GdiObject<HBITMAP>;
using GdiRegion = GdiObject<HRGN>;
using GdiPen = GdiObject<HPEN>;

// Selects an object into a device context for the life of the scope.
class SelectionScope {
 public:
  SelectionScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  ~SelectionScope() {
    if (previous_) SelectObject(dc_, previous_);
  }
  SelectionScope(const SelectionScope&) = delete;
  SelectionScope& operator=(const SelectionScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A window's client area (GetDC) or whole window (GetWindowDC) surface.
class ClientDC {
 public:
  explicit ClientDC(HWND window, bool wholeWindow = false)
      : window_(window), dc_(wholeWindow ? GetWindowDC(window) : GetDC(window)) {}
  ~ClientDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  ClientDC(const ClientDC&) = delete;
  ClientDC& operator=(const ClientDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A memory surface compatible with another (CreateCompatibleDC ... DeleteDC).
class MemoryDC {
 public:
  explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~MemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// SaveDC ... RestoreDC: everything selected or set meanwhile is put back.
class SavedDCState {
 public:
  explicit SavedDCState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~SavedDCState() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  SavedDCState(const SavedDCState&) = delete;
  SavedDCState& operator=(const SavedDCState&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// Fills a rectangle with a colour without creating a brush (the classic
// ExtTextOut way). The rectangle may be given with its corners in any order.
void FillSolidRect(HDC dc, RECT rect, COLORREF color);
// A three-dimensional frame as the classic framework draws it: top and left
// edges in `topLeft`, right and bottom edges in `bottomRight`, each one pixel
// wide; a rectangle of height 0 gives a groove of two lines.
void Draw3dRect(HDC dc, const RECT& rect, COLORREF topLeft, COLORREF bottomRight);
