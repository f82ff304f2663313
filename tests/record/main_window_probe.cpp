#include "tests/record/main_window_probe.h"

#include <algorithm>
#include <atomic>

#include "platform/main_window.h"
#include "tests/support/wait.h"

#ifdef _WIN32
#include "platform/main_window_win32.h"

namespace {
LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* probe = reinterpret_cast<MainWindowProbe*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (probe && message >= WM_USER && message < WM_USER + 100) {
    probe->Record(message);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}
}  // namespace

MainWindowProbe::MainWindowProbe() {
  std::atomic<bool> ready{false};
  thread_ = std::thread([this, &ready] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CalvoroMainWindowProbe";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = hwnd;
    threadId_ = GetCurrentThreadId();
    PublishMainWindow(hwnd);
    ready = true;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    DestroyWindow(hwnd);
  });
  WaitUntil([&] { return ready.load(); });
}

MainWindowProbe::~MainWindowProbe() {
  PublishMainWindow(nullptr);
  PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  thread_.join();
}
#else
#include "tests/support/main_window_standin.h"

MainWindowProbe::MainWindowProbe() {
  StartMainWindowStandIn([this](uint32_t message) { Record(message); });
}
MainWindowProbe::~MainWindowProbe() { StopMainWindowStandIn(); }
#endif

void MainWindowProbe::Record(uint32_t message) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(message);
}

std::vector<uint32_t> MainWindowProbe::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

size_t MainWindowProbe::count(uint32_t message) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count(messages_.begin(), messages_.end(), message));
}
