// MainWindow: the program's only top-level window, a borderless skinned dialog
// (template 102). It shows what the recorder (engine/call_recorder.h) tells
// and hands the user's commands to it; its messages, commands and timers, and
// the recorder's events, go to the part whose job they are:
//
//   MainTray            the notification-area icon, its balloons and menu
//   StatusLines         the client and record-folder lines with their checks
//   RecordingPresenter  Record, Pause, Stop and the recording line
//   DialogHost          the settings, recordings and about windows
//   ShellLauncher       folders, the home page and the client, opened by the
//                       shell
//
// main_window.cpp holds its start, its dispatch and its commands;
// main_window_skin.cpp its look (skin, labels, colours, banner, texts).
//
// Its thread never waits: the recorder decides on a thread of its own, and
// checks, the shell and the dialogs' disk work run on other threads and report
// back by posting. The recorder's events reach it through the application's
// WindowEventChannel, which calls them here on the window's thread.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "app/dialog_host.h"
#include "app/main_tray.h"
#include "app/recording_presenter.h"
#include "app/shell_open.h"
#include "app/status_lines.h"
#include "app/window_events.h"
#include "common/contracts.h"
#include "engine/call_recorder.h"
#include "ui/dialog.h"
#include "ui/gdi_objects.h"
#include "ui/image_button.h"
#include "ui/skin_bitmap.h"
#include "ui/tooltip.h"
#include "ui/transparent_static.h"

// Registers the main window's class, named in template 102: a copy of the
// standard dialog class under the program's own name (kMainWindowClassName),
// by which a second start and the installer find the running window.
bool RegisterMainWindowClass(HINSTANCE instance);

// The address the banner opens.
constexpr wchar_t kHomePageAddress[] = L"https://www.calvoro.example/record";
// The support contact formatted into the help text.
constexpr wchar_t kSupportContact[] = L"support@calvoro.example";

class MainWindow : public CDialog, private RecorderEvents {
 public:
  // `startHidden`: the program was started with "hide"; the window keeps
  // itself from being shown during its first two seconds. The recorder (which
  // has been started) and the channel must outlive the window.
  MainWindow(CallRecorder& recorder, WindowEventChannel& events, bool startHidden = false);
  ~MainWindow() override;

  // Re-reads every text of the window from the language (window's thread).
  void ApplyMainWindowTexts();
  // Option menu Exit, tray menu Exit, WM_EXIT_REQUEST: finishes a running
  // recording (the process waits for it), removes the tray icon and ends the
  // window's loop.
  void RequestExit();
  // Every way out of the program, whatever ended the window's loop: no new
  // recording starts from here on, a running one is finished (without opening
  // its folder), and the open dialogs close.
  void FinishForExit();

  // The parts, for the application's tests.
  StatusLines& statusLines() { return statusLines_; }
  DialogHost& dialogs() { return dialogs_; }
  bool keepOnTop() const { return keepOnTop_; }
  // No client or folder check waits or runs.
  bool ChecksIdle() const { return statusLines_.Idle(); }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnDestroy() override;

 private:
  static constexpr int kRecordHotkeyId = 1;
  static constexpr UINT_PTR kStartupTimer = 3;  // once, 2000 ms after start: the start-up period ends

  // The recorder's events, on the window's thread.
  void OnClientStateChanged() override;
  void OnCallStarted() override;
  void OnCallsEnded() override { recording_.OnCallsEnded(); }
  void OnPartnerKnown() override;
  void OnStarting() override { recording_.OnStarting(); }
  void OnNothingToRecord() override { recording_.OnNothingToRecord(); }
  void OnNoAudio() override { recording_.OnNoAudio(); }
  void OnCallSkipped(const std::wstring& partners) override { recording_.OnCallSkipped(partners); }
  void OnHolding(bool stopping) override { recording_.OnHolding(stopping); }
  void OnHoldCalledOff() override { recording_.OnHoldCalledOff(); }
  void OnSettingsChanged() override;
  void OnRecordingsExpired(const RetentionResult& result) override;
  void OnRecordingStarted() override { recording_.OnStarted(); }
  void OnRecordingResumed(bool timeRunning) override { recording_.OnResumed(timeRunning); }
  void OnRecordingPaused() override { recording_.OnPaused(); }
  void OnRecordingFinishing() override { recording_.OnFinishing(); }
  void OnRecordingStopped() override { recording_.OnStopped(); }
  void OnRecordingFinished(const FinishedRecording& finished) override;
  void OnRecordingFailed(RecordingFailure failure, bool ending) override { recording_.OnFailed(failure, ending); }
  void OnRecordingsRecovered(const RecoveryReport& report) override;
  void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) override;

  // The hotkey the settings name, registered anew.
  void RegisterRecordHotkey();
  bool hotkeyRegistered_ = false;

  // Layout (main_window_skin.cpp).
  void SetUpSkin();
  void FitBackground();
  void PlaceBanner();
  void OnSize();
  void SetUpButtons();
  void SetUpTooltips();
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT type, bool& handled);
  HFONT LabelFont(HWND label, int height);
  bool OnPaint();
  void OnMouseMove(LPARAM position);
  bool OnSetCursor(HWND over);
  void ShowServerFailures(const AudioServersStart& start);

  // Commands.
  void ShowOptionMenu();
  void ToggleKeepOnTop();
  void RestoreMainWindow(bool fromDoubleClick);

  CallRecorder& recorder_;
  WindowEventChannel& events_;

  // Controls.
  CImageButton closeButton_, minimizeButton_, optionButton_, openFolderButton_, runSkypeButton_,
      openVirtualStoreButton_, recordButton_, pauseButton_, stopButton_;
  CTransparentStatic titleLabel_, recordLine_;
  ToolTip tooltips_;

  // Skin.
  HICON icon_ = nullptr;       // 128 at the system's large size: window, tray, minimised
  HICON smallIcon_ = nullptr;  // 128 at the small size: caption, the icon static
  // Bitmap 130 fitted to the client area: the background brush and the bitmap
  // the transparent labels cut from, one and the same.
  PatternBrush backgroundBrush_;
  RECT fittedTo_ = {};  // the client area the background was fitted to
  GdiBitmap banner_;
  GdiBrush menuBrush_;
  std::map<int, GdiFont> labelFonts_;  // made once per label

  // The parts; declared after what their posted work touches.
  ShellLauncher shell_;
  MainTray tray_;
  StatusLines statusLines_;
  RecordingPresenter recording_;
  DialogHost dialogs_;

  int osMajorVersion_ = 0;
  bool keepOnTop_ = false;
  const bool startHidden_;
  bool startupHideOver_ = false;
  bool skinned_ = false;
};
