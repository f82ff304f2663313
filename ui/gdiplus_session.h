// The GDI+ library, started once for the whole process and shut down after the
// last user has gone. Every object that holds GDI+ objects (a button's images,
// a window that draws with GDI+) holds a GdiplusSession, so the library is up
// for as long as any of them lives, on whichever thread it runs; the
// application holds one for its whole run, so the library starts only once.
#pragma once

#include <windows.h>

#include <memory>

namespace Gdiplus {
class GpImage;
}

class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession& other);
  GdiplusSession& operator=(const GdiplusSession&) { return *this; }
  // The library started (it can fail only when the system lacks it).
  bool ok() const { return ok_; }
  // Number of live sessions in the process (for tests).
  static int Count();

 private:
  bool ok_;
};

// Owner of one GDI+ image (GdipDisposeImage).
struct GdiplusImageDeleter {
  void operator()(Gdiplus::GpImage* image) const;
};
using GdiplusImage = std::unique_ptr<Gdiplus::GpImage, GdiplusImageDeleter>;
