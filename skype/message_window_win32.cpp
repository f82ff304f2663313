#include "skype/message_window_win32.h"
#include "skype/client_window.h"

#include "skype/skype_api.h"
#include "skype/skype_link.h"
#include "skype/skype_transport.h"

uint32_t AttachMessage() {
  static const uint32_t attach = RegisterWindowMessageW(kAttachMessageName);
  return attach;
}

uint32_t DiscoverMessage() {
  static const uint32_t discover = RegisterWindowMessageW(kDiscoverMessageName);
  return discover;
}

bool RegisterMessageWindowClass() {
  WNDCLASSW windowClass = {};
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // A second link of the process uses the class the first one registered; a
  // class of that name with another procedure would never hand the link a
  // message.
  if (GetClassInfoW(instance, kMessageWindowClassName, &windowClass))
    return windowClass.lpfnWndProc == SkypeMessageWindowProc;
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = SkypeMessageWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kMessageWindowClassName;
  return RegisterClassW(&windowClass) != 0;
}

bool CreateMessageWindow(SkypeLink& link) {
  // The link travels in the creation parameters and is kept in the window's
  // user data, where the procedure finds it.
  HWND window = CreateWindowExW(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, kMessageWindowClassName, L"",
                                WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 128,
                                128, nullptr, nullptr, GetModuleHandleW(nullptr), &link);
  link.messageWindow.store(reinterpret_cast<WindowId>(window));
  return window != nullptr;
}

LRESULT CALLBACK SkypeMessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* link = reinterpret_cast<SkypeLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!link) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_DESTROY) {
    link->messageWindow.store(0);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    PostQuitMessage(0);
    return 0;
  }
  if (message == WM_COPYDATA) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (copy == nullptr) return 0;
    return link->OnCopyData(static_cast<WindowId>(wParam), copy->lpData, copy->cbData) ? 1 : 0;
  }
  uint32_t attach = AttachMessage();
  if (attach != 0 && message == attach) {
    link->OnAttachStatus(static_cast<WindowId>(wParam), static_cast<uintptr_t>(lParam));
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool InitSkypeMessageWindow(SkypeLink& link) {
  if (AttachMessage() == 0 || DiscoverMessage() == 0) return false;
  if (!RegisterMessageWindowClass()) return false;
  if (!CreateMessageWindow(link)) return false;
  PostDiscoverBroadcast(link.messageWindow.load());
  return true;
}

bool OpenClientWindow(SkypeLink& link) { return InitSkypeMessageWindow(link); }

void CloseClientWindow(SkypeLink& link) {
  HWND window = reinterpret_cast<HWND>(link.messageWindow.load());
  if (window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) DestroyWindow(window);
}
