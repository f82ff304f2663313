#include "skype/message_window_win32.h"

#include "skype/skype_api.h"
#include "skype/skype_link.h"
#include "skype/skype_transport.h"

const uint32_t attachMessage = RegisterWindowMessageW(kAttachMessageName);
const uint32_t discoverMessage = RegisterWindowMessageW(kDiscoverMessageName);

bool RegisterMessageWindowClass() {
  WNDCLASSW windowClass = {};
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = SkypeMessageWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kMessageWindowClassName;
  return RegisterClassW(&windowClass) != 0;
}

bool CreateMessageWindow() {
  HWND window = CreateWindowExW(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, kMessageWindowClassName, L"",
                                WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 128,
                                128, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  messageWindow.store(reinterpret_cast<WindowId>(window));
  return window != nullptr;
}

LRESULT CALLBACK SkypeMessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    messageWindow.store(0);
    PostQuitMessage(0);
    return 0;
  }
  if (message == WM_COPYDATA) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (copy == nullptr) return 0;
    return OnCopyDataFromSkype(static_cast<WindowId>(wParam), copy->lpData, copy->cbData) ? 1 : 0;
  }
  if (attachMessage != 0 && message == attachMessage) {
    OnAttachStatus(static_cast<WindowId>(wParam), static_cast<uintptr_t>(lParam));
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool InitSkypeMessageWindow() {
  if (attachMessage == 0 || discoverMessage == 0) return false;
  if (!RegisterMessageWindowClass()) return false;
  if (!CreateMessageWindow()) return false;
  PostDiscoverBroadcast(messageWindow.load());
  return true;
}
