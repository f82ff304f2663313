#include "ui/gdiplus_session.h"

#include <objbase.h>
#include <gdiplus.h>

#include <mutex>

namespace {
std::mutex sessionMutex;
int sessionCount = 0;
ULONG_PTR sessionToken = 0;

bool Acquire() {
  std::lock_guard<std::mutex> lock(sessionMutex);
  if (sessionCount == 0) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    sessionToken = token;
  }
  ++sessionCount;
  return true;
}

void Release() {
  std::lock_guard<std::mutex> lock(sessionMutex);
  if (--sessionCount == 0) {
    Gdiplus::GdiplusShutdown(sessionToken);
    sessionToken = 0;
  }
}
}  // namespace

GdiplusSession::GdiplusSession() : ok_(Acquire()) {}
GdiplusSession::GdiplusSession(const GdiplusSession&) : ok_(Acquire()) {}

GdiplusSession::~GdiplusSession() {
  if (ok_) Release();
}

int GdiplusSession::Count() {
  std::lock_guard<std::mutex> lock(sessionMutex);
  return sessionCount;
}

void GdiplusImageDeleter::operator()(Gdiplus::GpImage* image) const {
  if (image) Gdiplus::DllExports::GdipDisposeImage(image);
}
