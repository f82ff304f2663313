// The program's icon in the notification area: one NOTIFYICONDATAW record kept
// for the whole run and handed whole to Shell_NotifyIconW, each operation
// setting only its own fields. Used on the main window's thread only.
//
// The record is passed in its version-3 size (balloons, no balloon icon): 952
// bytes in a 32-bit program, the same fields with wider handles here.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

#include "common/contracts.h"  // WM_TRAY_NOTIFY, kTrayIconId
// The tip holds 127 characters, the balloon text 255 (each plus the end).
constexpr size_t kTrayTipMaxChars = 127;
constexpr size_t kTrayBalloonMaxChars = 255;
constexpr UINT kTrayBalloonTimeoutMs = 3000;
constexpr DWORD kTrayIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

class TrayIcon {
 public:
  // Fills in the window, the icon id, the callback message and the icon.
  void Init(HWND window, HICON icon);
  // NIM_ADD with the icon, message and tip flags.
  bool Add(const std::wstring& tip);
  // NIM_MODIFY of the tip. The icon, message and tip flags are passed whatever
  // the last operation left in the record: with a balloon's NIF_INFO still
  // there, the old balloon would be shown again instead of the new tip.
  bool SetTip(const std::wstring& tip);
  // NIM_MODIFY with NIF_INFO alone: the balloon with the information icon, no
  // title and a time-out of 3000 ms.
  bool ShowBalloon(const std::wstring& text);
  // Deletes the icon and adds it again with the icon, message and tip flags:
  // the way a balloon is taken away before its time.
  bool RemoveBalloon();
  // Adds the icon again after the taskbar was created anew (the shell was
  // restarted): its icons are gone with the old one. Nothing when the icon
  // was deleted for the exit.
  bool Restore();
  // NIM_DELETE; the icon stays away until Add.
  bool Delete();

  bool shown() const { return shown_; }
  const NOTIFYICONDATAW& record() const { return data_; }

 private:
  bool Notify(DWORD message);

  NOTIFYICONDATAW data_ = {};
  bool shown_ = false;  // added and not deleted since
};

// Tests see every request, with the whole record, instead of the shell; the
// hook's answer is the result. An empty hook gives the shell back.
using ShellNotifyHook = std::function<BOOL(DWORD message, const NOTIFYICONDATAW& data)>;
void SetShellNotifyHook(ShellNotifyHook hook);
