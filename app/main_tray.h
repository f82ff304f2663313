// The main window's part in the notification area: the icon with its tip, the
// balloons (the recording's state, a recovery, a failure), the icon's menu,
// and the icon's return after the shell's taskbar is created anew. Used on the
// main window's thread only; the window hands it its timers and the icon's
// notifications.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/tray_icon.h"
#include "engine/call_recorder.h"

class MainTray {
 public:
  // The main window's timers that the tray uses.
  static constexpr UINT_PTR kStateBalloonTimer = 8;    // once: the balloon of the recording's state
  static constexpr UINT_PTR kBalloonRemovalTimer = 9;  // 7000 ms after a balloon: it goes

  explicit MainTray(CallRecorder& recorder) : recorder_(recorder) {}

  // Adds the icon for `window` with `tip`. `restore` brings the window back
  // (true: from a double click on the icon).
  void Init(HWND window, HICON icon, const std::wstring& tip, std::function<void(bool)> restore);
  void SetTip(const std::wstring& tip) { icon_.SetTip(tip); }

  // The recording's state in a balloon `delayMs` from now; a later request
  // before then replaces the earlier one.
  void ScheduleStateBalloon(UINT delayMs);
  // While held (a failed recording's balloon shows), no state balloon comes,
  // and one on its way is called off.
  void HoldStateBalloons(bool hold);
  // A balloon with this text, whatever ShowStatusOnTray says; with
  // `timedRemoval` it goes after 7 s, else after the shell's own time-out.
  void ShowBalloon(const std::wstring& text, bool timedRemoval = true);
  // The same, and a click on this balloon runs `onClick` (a later balloon
  // takes the click away).
  void ShowBalloon(const std::wstring& text, std::function<void()> onClick);
  // No state balloon comes, and a timed removal is forgotten.
  void CancelBalloons();

  // The window's messages for the tray; each returns true when it was the
  // tray's. OnNotify is WM_TRAY_NOTIFY.
  bool OnTimer(UINT_PTR id);
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // The icon goes (the exit), and does not come back with a new taskbar.
  void Remove() { icon_.Delete(); }
  const TrayIcon& icon() const { return icon_; }

 private:
  void ShowStateBalloon();
  void ShowMenu();

  CallRecorder& recorder_;
  HWND window_ = nullptr;
  TrayIcon icon_;
  UINT taskbarCreatedMessage_ = 0;
  std::function<void(bool)> restore_;
  bool stateBalloonsHeld_ = false;
  std::function<void()> balloonClick_;
};
