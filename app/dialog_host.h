// The main window's other windows: the settings dialog, the recordings window
// and the about box. Each is a modeless window on the main window's thread,
// served by that thread's loop (ui/dialog.h), so the main window stays usable
// beside it; each is open at most once, and asked for again it comes to the
// front (restored when minimised). The exit closes them all.
//
// What they do that may take its time runs in the background and reports
// back by posting: the settings' apply and the listing of the capture devices
// on this host's worker, which the exit waits for (both use the recorder);
// the recordings window's listings, lengths, renames and playback on its own.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "engine/call_recorder.h"
#include "ui/background_work.h"

class CAboutDlg;
class CDialog;
class CRecordingsDlg;
class CSettingDlg;

class DialogHost {
 public:
  // `onSettingsClosed` runs once the settings dialog has gone, on the main
  // window's thread. (An apply that took effect the recorder tells itself.)
  DialogHost(CallRecorder& recorder, std::function<void()> onSettingsClosed);
  // Closes what is open; waits (up to BackgroundWork::kEndWait) for an apply
  // under way, which writes the recorder's settings.
  ~DialogHost();
  DialogHost(const DialogHost&) = delete;
  DialogHost& operator=(const DialogHost&) = delete;

  // The owner of the settings dialog and the about box, whose thread runs
  // every window; posted work comes back through it.
  void SetMainWindow(HWND main) { main_ = main; }

  // Opens the settings dialog, or brings the open one to the front. Asked
  // for while it is closing (its OK waits for the apply), it opens again
  // once it has gone.
  void OpenSettings();
  // Opens the recordings window, or brings it to the front. It has no owner:
  // it has a taskbar button of its own and stays when the main window hides.
  void OpenRecordings();
  // Opens the about box, or brings it to the front.
  void ShowAbout();
  // The record folder changed (a recording finished, was recovered or was
  // removed by the keeping): an open recordings window lists it again.
  void RecordingsChanged();
  // The exit: every window closes, and none opens any more.
  void CloseAll();

  // The windows while they are open; null otherwise.
  HWND SettingsWindow() const;
  HWND RecordingsWindow() const;
  HWND AboutWindow() const;
  // The worker of the settings' apply and device listing (tests hold it, as
  // a slow disk would).
  BackgroundWork& SettingsWork() { return settingsWork_; }

 private:
  // Shows the dialog `make` makes, unless one is open: that one comes to the
  // front. `afterClose` runs once its window has gone (not on the exit).
  template <class Dialog, class Make>
  bool Open(std::unique_ptr<Dialog>& dialog, Make make, std::function<void()> afterClose = nullptr);
  // The window has gone: its object waits in closed_ until nothing of it is
  // on the stack any more.
  template <class Dialog>
  void Closed(std::unique_ptr<Dialog>& dialog);
  void DeleteClosed();
  void SettingsClosed();
  // Runs `action` from the main window's loop, unless this host is gone by
  // then.
  void PostToMain(std::function<void()> action);

  CallRecorder& recorder_;
  std::function<void()> onSettingsClosed_;
  HWND main_ = nullptr;
  bool exiting_ = false;
  bool reopenSettings_ = false;
  std::unique_ptr<CSettingDlg> settings_;
  std::unique_ptr<CRecordingsDlg> recordings_;
  std::unique_ptr<CAboutDlg> about_;
  std::vector<std::unique_ptr<CDialog>> closed_;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
  // Declared last: it ends first, with what its jobs use still there.
  BackgroundWork settingsWork_;
};

// Brings a window of this program to the front as the user left it:
// restored when minimised, with what it shows in front of itself (a message
// box, a nested dialog) on top.
void BringToFront(HWND window);
