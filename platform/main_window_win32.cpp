#include "platform/main_window_win32.h"

#include <atomic>

#include "platform/main_window.h"

namespace {
std::atomic<HWND> mainWindow{nullptr};
}

void PublishMainWindow(HWND hwnd) { mainWindow.store(hwnd); }
HWND PublishedMainWindow() { return mainWindow.load(); }

void FocusPublishedMainWindow() {
  HWND hwnd = mainWindow.load();
  if (!hwnd) return;
  if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId())
    SetFocus(hwnd);
  else
    PostMessageW(hwnd, WM_MAIN_WINDOW_FOCUS, 0, 0);
}

bool SendToMainWindow(uint32_t message) {
  HWND hwnd = mainWindow.load();
  if (!hwnd) return false;
  SendMessageW(hwnd, message, 0, 0);
  return true;
}

bool PostToMainWindow(uint32_t message) {
  HWND hwnd = mainWindow.load();
  if (!hwnd) return false;
  return PostMessageW(hwnd, message, 0, 0) != 0;
}
