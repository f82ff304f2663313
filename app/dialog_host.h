// The main window's dialogs: the settings dialog and the recordings window,
// which run on threads of their own (their disk work and the folder browser
// never hold up the main window), and the about box, modal on the main
// window's thread. Each is open at most once; asking for an open one brings
// it forward.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "engine/call_recorder.h"

class DialogHost {
 public:
  // `onSettingsApplied` and `onSettingsClosed` run on the main window's
  // thread after an apply and after the dialog has gone.
  DialogHost(CallRecorder& recorder, std::function<void()> onSettingsApplied,
             std::function<void()> onSettingsClosed);
  // The settings dialog may outlive this object by the time it takes to
  // close (an exit while it is open): what it shares with it stays.
  ~DialogHost() = default;
  DialogHost(const DialogHost&) = delete;
  DialogHost& operator=(const DialogHost&) = delete;

  void SetMainWindow(HWND main) { main_ = main; }

  // Opens the settings dialog on a thread of its own; when it is open it comes
  // to the front instead, and when it is closing it opens again once it has
  // gone.
  void OpenSettings();
  // Closes the settings dialog (the exit).
  void CloseSettings();
  // The settings dialog's window while it is shown; null otherwise.
  HWND SettingsWindow() const;
  bool SettingsRunning() const;

  // Opens the recordings window on a thread of its own, or brings it to the
  // front; it has no owner, so the main window stays usable beside it.
  void OpenRecordings();
  // The record folder changed (a recording finished or was recovered): an
  // open recordings window lists it again.
  void RecordingsChanged();
  HWND RecordingsWindow() const { return recordings_->shown.load(); }

  // The about box, modal on the window's thread; one at a time.
  void ShowAbout();

  // No dialog opens any more (the exit).
  void SetExiting() { exiting_ = true; }

 private:
  // What the settings dialog's thread shares with the window.
  struct SettingsRun {
    std::atomic<bool> running{false};   // a dialog takes input, or is coming up
    std::atomic<HWND> shown{nullptr};   // its window, from shown to closing
    std::atomic<bool> closing{false};   // on its way out
    std::atomic<bool> reopen{false};    // asked for again while it was closing
  };
  void SettingsClosed();
  struct RecordingsRun {
    std::atomic<bool> running{false};
    std::atomic<HWND> shown{nullptr};
  };

  CallRecorder& recorder_;
  std::function<void()> onSettingsApplied_;
  std::function<void()> onSettingsClosed_;
  HWND main_ = nullptr;
  std::shared_ptr<SettingsRun> settings_ = std::make_shared<SettingsRun>();
  std::shared_ptr<RecordingsRun> recordings_ = std::make_shared<RecordingsRun>();
  bool aboutOpen_ = false;
  std::atomic<bool> exiting_{false};
};
