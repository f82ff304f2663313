// CPelmoDlg: the program's only top-level window. It owns the two audio servers
// and the client link's message window, shows the three status lines, offers
// Record, Pause and Stop, and is the one receiver of the system's own window
// messages (platform/main_window.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/handoff_target.h"
#include "net/audio_server.h"
#include "record/recording_control.h"
#include "ui/dialog.h"

// 1 while the main window stays above all other windows.
extern std::atomic<int32_t> keepOnTop;

class CPelmoDlg : public CDialog, public SessionView {
 public:
  CPelmoDlg();
  ~CPelmoDlg() override;

  // Re-reads every text of the window from the language file.
  void ApplyMainWindowTexts();
  // Menu exit, WM_EXIT_REQUEST: finishes a running recording (the process
  // waits for it) and ends the program.
  void RequestExit();
  // Every way out of the program, whatever ended the window's loop: no new
  // recording starts from here on, and a running one is finished (without
  // opening its folder) before the process ends.
  void FinishForExit();

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

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnDestroy() override;

 private:
  void OnTimer(UINT_PTR id);
  void OnViewRequest(WPARAM request, const std::wstring* text);
  void PostView(WPARAM request, const std::wstring& text = std::wstring());
  void ClientStatusLine();
  void FolderStatusLine();
  void RecordStatusLine();
  void SetLineText(int id, const std::wstring& text, bool repaintWhenChanged);
  void ShowHelpMenu();
  void StartFinishing();

  // The window as the other threads address it; null once it is destroyed.
  std::atomic<HWND> viewWindow_{nullptr};
  std::atomic<bool> exiting_{false};
  HICON icon_ = nullptr;
  HBRUSH hollowBrush_ = nullptr;
  // Each server hands its bytes to its direction's hand-off.
  HandoffTarget outTarget_{HandoffOf(Direction::Out)};
  HandoffTarget inTarget_{HandoffOf(Direction::In)};
  AudioServer outServer_;
  AudioServer inServer_;
  int osMajorVersion_ = 0;
  int clientState_ = 0;
  int folderState_ = 0;
  bool startupHideOver_ = false;
};
