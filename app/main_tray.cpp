#include "app/main_tray.h"

#include "app/resource.h"
#include "app/status_text.h"
#include "platform/debug_trace.h"

namespace {

// Each tray menu command with the language key of its text.
constexpr std::pair<UINT, const wchar_t*> kTrayMenuTexts[] = {
    {ID_TRAY_OPEN, L"Menu_Open"}, {ID_TRAY_SETTING, L"Menu_Setting"}, {ID_MENU_RECORDINGS, L"Menu_Recordings"},
    {ID_TRAY_ABOUT, L"Menu_About"}, {ID_TRAY_EXIT, L"Menu_Exit"}};

constexpr UINT kBalloonShownMs = 7000;

}  // namespace

void MainTray::Init(HWND window, HICON icon, const std::wstring& tip, std::function<void(bool)> restore) {
  window_ = window;
  restore_ = std::move(restore);
  // A taskbar that starts (again) later announces itself with this message.
  taskbarCreatedMessage_ = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  icon_.Init(window, icon);
  icon_.Add(tip);
}

void MainTray::ScheduleStateBalloon(UINT delayMs) {
  if (!stateBalloonsHeld_) SetTimer(window_, kStateBalloonTimer, delayMs, nullptr);
}

void MainTray::HoldStateBalloons(bool hold) {
  stateBalloonsHeld_ = hold;
  if (hold) KillTimer(window_, kStateBalloonTimer);
}

void MainTray::CancelBalloons() {
  KillTimer(window_, kStateBalloonTimer);
  KillTimer(window_, kBalloonRemovalTimer);
}

void MainTray::ShowBalloon(const std::wstring& text, std::function<void()> onClick) {
  ShowBalloon(text, true);
  balloonClick_ = std::move(onClick);
}

void MainTray::ShowBalloon(const std::wstring& text, bool timedRemoval) {
  balloonClick_ = nullptr;
  KillTimer(window_, kBalloonRemovalTimer);
  icon_.ShowBalloon(text);
  if (timedRemoval) SetTimer(window_, kBalloonRemovalTimer, kBalloonShownMs, nullptr);
}

void MainTray::ShowStateBalloon() {
  const RecordingStatus status = recorder_.Status();
  std::wstring text = BuildBalloonText(recorder_.language(), status.finishing, status.stopped, status.paused,
                                       recorder_.Subject(true));
  ShowBalloon(text);
  SetFocus(window_);
}

bool MainTray::OnTimer(UINT_PTR id) {
  switch (id) {
    case kStateBalloonTimer:
      KillTimer(window_, id);
      if (!stateBalloonsHeld_) ShowStateBalloon();
      return true;
    case kBalloonRemovalTimer:
      KillTimer(window_, id);
      balloonClick_ = nullptr;
      icon_.RemoveBalloon();
      return true;
    default:
      return false;
  }
}

bool MainTray::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_TRAY_NOTIFY) {
    result = 0;
    if (wParam != kTrayIconId) {
      result = 1;
    } else if (lParam == WM_LBUTTONDBLCLK) {
      if (restore_) restore_(true);
    } else if (lParam == WM_RBUTTONUP) {
      ShowMenu();
    } else if (lParam == NIN_BALLOONUSERCLICK) {
      std::function<void()> click = std::move(balloonClick_);
      balloonClick_ = nullptr;
      if (click) click();
    } else if (lParam == NIN_BALLOONTIMEOUT) {
      balloonClick_ = nullptr;
    }
    return true;
  }
  // The shell was restarted: its new taskbar has none of the old icons.
  if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) {
    icon_.Restore();
    result = 0;
    return true;
  }
  return false;
}

void MainTray::ShowMenu() {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
  if (!menu) {
    DebugTrace(L"The tray menu resource did not load.");
    return;
  }
  HMENU popup = GetSubMenu(menu, 0);
  if (!popup) {
    DebugTrace(L"The tray menu resource has no popup.");
    DestroyMenu(menu);
    return;
  }
  for (const auto& item : kTrayMenuTexts) {
    std::wstring text = L"  " + recorder_.language().Text(item.second) + L"  ";
    ModifyMenuW(popup, item.first, MF_BYCOMMAND | MF_STRING, item.first, text.c_str());
  }
  POINT at;
  GetCursorPos(&at);
  SetForegroundWindow(window_);
  // The chosen command comes to the window as WM_COMMAND.
  TrackPopupMenu(popup, 0, at.x, at.y, 0, window_, nullptr);
  // The menu of a notification icon closes on a click elsewhere only when
  // its window gets a message after it.
  PostMessageW(window_, WM_NULL, 0, 0);
  DestroyMenu(menu);
}
