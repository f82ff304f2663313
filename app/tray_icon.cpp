#include "app/tray_icon.h"

#include <cwchar>

#include "platform/debug_trace.h"

namespace {

ShellNotifyHook& Hook() {
  static ShellNotifyHook hook;
  return hook;
}

// Copies a text into a fixed field, cut to fit with its end.
template <size_t N>
void CopyCut(wchar_t (&field)[N], const std::wstring& text) {
  size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::wmemcpy(field, text.data(), n);
  field[n] = L'\0';
}

}  // namespace

void SetShellNotifyHook(ShellNotifyHook hook) { Hook() = std::move(hook); }

void TrayIcon::Init(HWND window, HICON icon) {
  data_.cbSize = NOTIFYICONDATAW_V3_SIZE;
  data_.hWnd = window;
  data_.uID = kTrayIconId;
  data_.uCallbackMessage = WM_TRAY_NOTIFY;
  data_.hIcon = icon;
}

bool TrayIcon::Notify(DWORD message) {
  data_.cbSize = NOTIFYICONDATAW_V3_SIZE;
  BOOL ok = Hook() ? Hook()(message, data_) : Shell_NotifyIconW(message, &data_);
  if (!ok) DebugTrace(L"The tray refused the icon request %d.", {static_cast<int>(message)});
  return ok != FALSE;
}

bool TrayIcon::Add(const std::wstring& tip) {
  CopyCut(data_.szTip, tip);
  data_.uFlags = kTrayIconFlags;
  // Shown or not, the icon belongs on the taskbar from now on: a taskbar that
  // comes later (the shell starts after the program) gets it with Restore.
  shown_ = true;
  return Notify(NIM_ADD);
}

bool TrayIcon::SetTip(const std::wstring& tip) {
  CopyCut(data_.szTip, tip);
  data_.uFlags = kTrayIconFlags;
  return shown_ && Notify(NIM_MODIFY);
}

bool TrayIcon::ShowBalloon(const std::wstring& text) {
  data_.uFlags = NIF_INFO;
  data_.uTimeout = kTrayBalloonTimeoutMs;
  data_.dwInfoFlags = NIIF_INFO;
  CopyCut(data_.szInfo, text);
  data_.szInfoTitle[0] = L'\0';
  return shown_ && Notify(NIM_MODIFY);
}

bool TrayIcon::RemoveBalloon() {
  if (!shown_) return false;
  Notify(NIM_DELETE);
  data_.uFlags = kTrayIconFlags;
  return Notify(NIM_ADD);
}

bool TrayIcon::Restore() {
  if (!shown_) return false;
  data_.uFlags = kTrayIconFlags;
  return Notify(NIM_ADD);
}

bool TrayIcon::Delete() {
  if (!shown_) return false;
  shown_ = false;
  return Notify(NIM_DELETE);
}
