// CPelmoDlg: the program's only top-level window, a borderless skinned dialog
// (template 102). It owns the two audio servers, the client link's message
// window and the tray icon, shows the three status lines, offers Record, Pause
// and Stop, the Option menu and the folder and client buttons, and is the one
// receiver of the system's own window messages (platform/main_window.h).
//
// Its thread never waits: the client check (a scan of the process list), the
// record folder's free space, the shell opening a folder or an address, and
// the ends of a recording run on other threads and report back by posting
// (ui/background_work.h). The settings dialog runs on a thread of its own.
//
// The code is in three files: pelmo_dlg.cpp (the window, its skin, texts and
// colours), pelmo_dlg_status.cpp (the status lines, timers and balloons) and
// pelmo_dlg_commands.cpp (buttons, menus, tray and the custom messages).
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "app/handoff_target.h"
#include "app/tray_icon.h"
#include "net/audio_server.h"
#include "record/recording_control.h"
#include "ui/background_work.h"
#include "ui/dialog.h"
#include "ui/gdi_objects.h"
#include "ui/image_button.h"
#include "ui/skin_bitmap.h"
#include "ui/transparent_static.h"

// 1 while the main window stays above all other windows.
extern std::atomic<int32_t> keepOnTop;
// 1 when the program was started with the command line "hide": the main
// window keeps itself from being shown during its first two seconds.
extern std::atomic<int32_t> startHidden;

// The main window's class, named in template 102: a copy of the standard
// dialog class under the program's own name, by which a second start finds
// the running window.
constexpr wchar_t kMainWindowClassName[] = L"SkypeDorvRecorder.Class";
bool RegisterMainWindowClass(HINSTANCE instance);

// The address the banner opens.
constexpr wchar_t kHomePageAddress[] = L"https://www.calvoro.example/record";
// The support contact formatted into the help text.
constexpr wchar_t kSupportContact[] = L"support@calvoro.example";

class CPelmoDlg : public CDialog, public SessionView {
 public:
  CPelmoDlg();
  ~CPelmoDlg() override;

  // Re-reads every text of the window from the language file (window's thread).
  void ApplyMainWindowTexts();
  // Option menu Exit, tray menu Exit, WM_EXIT_REQUEST: finishes a running
  // recording (the process waits for it), removes the tray icon and ends the
  // window's loop.
  void RequestExit();
  // Every way out of the program, whatever ended the window's loop: no new
  // recording starts from here on, a running one is finished (without opening
  // its folder), and an open settings dialog is closed.
  void FinishForExit();
  // Opens the settings dialog on a thread of its own, unless one is open
  // (then that one comes to the front).
  void RunSettingsDialog();
  // The about box, modal on the window's thread; one at a time.
  void ShowAboutBox();

  // SessionView, callable from any thread: each posts itself to the window.
  void ShowRecordingEnded() override;
  void ScheduleTrayBalloon() override;
  void ScheduleFolderStatus() override;
  void OpenRecordFolder(const std::wstring& folder) override;
  void ShowRecordingRunning() override;
  void ShowRecordingPaused() override;
  void ShowRecordStatus() override;
  void ScheduleRecordStatus() override;
  void ShowNoCallNotice(const std::wstring& text) override;

  // What the status lines last showed: the client state (1 to 5) and the
  // record-folder state (1 low space, 2 enough, 3 missing); 0 before the first.
  int clientState() const { return clientState_; }
  int folderState() const { return folderState_; }
  const TrayIcon& trayIcon() const { return trayIcon_; }
  // No client or folder check is waiting or under way.
  bool ChecksIdle() const { return clientCheck_.Idle() && folderCheck_.Idle(); }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnDestroy() override;

 private:
  // Timers of the window.
  static constexpr UINT_PTR kStartupTimer = 3;         // once, 2000 ms after start: the start-up period ends
  static constexpr UINT_PTR kClientStatusTimer = 4;    // 100 ms, then every 5000 ms
  static constexpr UINT_PTR kFolderStatusTimer = 5;    // 100 ms, then every 10000 ms
  static constexpr UINT_PTR kRecordStatusTimer = 7;    // every 1000 ms while recording
  static constexpr UINT_PTR kTrayBalloonTimer = 8;     // once: the balloon of the recording's state
  static constexpr UINT_PTR kBalloonRemovalTimer = 9;  // 7000 ms after a balloon: it goes
  static constexpr UINT_PTR kNoCallNoticeTimer = 11;   // 3000 ms: the no-call notice goes
  // Private messages: work that other threads hand to the window's thread.
  static constexpr UINT WM_RECORDING_VIEW = WM_APP + 1;   // a SessionView request, wParam its kind
  static constexpr UINT WM_SETTINGS_CLOSED = WM_APP + 2;  // the settings dialog has closed

  // pelmo_dlg.cpp: the window.
  void SetUpSkin();
  void FitBackground();
  void PlaceBanner();
  void OnSize();
  void SetUpButtons();
  void SetUpTooltips();
  void SetTooltipText(int id, const std::wstring& text);
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT type, bool& handled);
  HFONT LabelFont(HWND label, int height);
  bool OnPaint();
  void OnMouseMove(LPARAM position);
  bool OnSetCursor(HWND over);

  // pelmo_dlg_status.cpp: status lines, timers and balloons.
  void OnTimer(UINT_PTR id);
  void OnViewRequest(WPARAM request, const std::wstring* text);
  void PostView(WPARAM request, const std::wstring& text = std::wstring());
  void ClientStatusLine();
  void ShowClientState(int state);
  void FolderStatusLine();
  struct FolderFacts;
  void ShowFolderFacts(const FolderFacts& facts);
  void RecordStatusLine();
  void TrayBalloon();
  void OnWriterFailed();
  void SetLineText(int id, const std::wstring& text);
  void SetRecordLineText(const std::wstring& text, bool error);

  // pelmo_dlg_commands.cpp: buttons, menus, tray, custom messages.
  bool OnCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
  void ShowHelpMenu();
  void ToggleKeepOnTop();
  LRESULT OnTrayNotify(WPARAM iconId, LPARAM mouseMessage);
  void RestoreMainWindow(bool fromDoubleClick);
  void ShowTrayMenu();
  void StartFinishing();
  // Finishes the recordings a crash left in the record folder (recovery.h) and
  // tells the user with a balloon.
  void StartRecovery();
  void ShowRecovered(const std::wstring& text);
  void OpenFolderInShell(const std::wstring& folder);
  void OpenVirtualStoreFolder();
  void CloseSettingsDialog();

  // Controls.
  CImageButton closeButton_, minimizeButton_, optionButton_, openFolderButton_, runSkypeButton_,
      openVirtualStoreButton_, recordButton_, pauseButton_, stopButton_;
  CTransparentStatic titleLabel_, recordLine_;
  HWND tooltips_ = nullptr;

  // Skin.
  HICON icon_ = nullptr;       // 128 at the system's large size: window, tray, minimised
  HICON smallIcon_ = nullptr;  // 128 at the small size: caption, the icon static
  // Bitmap 130 fitted to the client area: the background brush and the bitmap
  // the transparent labels cut from (`backgroundBitmap`), one and the same.
  PatternBrush backgroundBrush_;
  RECT fittedTo_ = {};  // the client area the background was fitted to
  GdiBitmap banner_;
  GdiBrush menuBrush_;
  std::map<int, GdiFont> labelFonts_;  // made once per label

  TrayIcon trayIcon_;
  UINT taskbarCreatedMessage_ = 0;

  // Each server hands its bytes to its direction's hand-off.
  HandoffTarget outTarget_{HandoffOf(Direction::Out)};
  HandoffTarget inTarget_{HandoffOf(Direction::In)};
  AudioServer outServer_;
  AudioServer inServer_;

  // Work that must not hold up the window's thread; declared after what their
  // posted actions touch.
  BackgroundWork clientCheck_;
  BackgroundWork folderCheck_;
  BackgroundWork shell_{true};
  BackgroundWork recovery_;  // recordings a crash left behind, finished at start-up

  // The settings dialog's thread shares this with the window and may outlive it.
  struct SettingsRun {
    std::atomic<int> open{0};
    std::atomic<DWORD> threadId{0};
  };
  std::shared_ptr<SettingsRun> settingsRun_ = std::make_shared<SettingsRun>();
  bool aboutOpen_ = false;

  // The window as the other threads address it; null once it is destroyed.
  std::atomic<HWND> viewWindow_{nullptr};
  std::atomic<bool> exiting_{false};
  int osMajorVersion_ = 0;
  int clientState_ = 0;
  int folderState_ = 0;
  bool startupHideOver_ = false;
  bool skinned_ = false;
  bool recordLineShowsError_ = false;
};
