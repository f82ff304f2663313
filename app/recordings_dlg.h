// CRecordingsDlg: the recordings window (template 140). It lists every
// recording of the record folder (date and time, partners or app, length,
// formats, size), sorts by any column, filters by partner, plays a
// recording inside the program with a position bar, opens it with the
// default player, shows it in the file explorer, renames it (all its files
// together) and moves it to the Recycle Bin.
//
// A modeless window on the main window's thread, without an owner (it has a
// taskbar button of its own). Its parts are files of their own: the list
// (recordings_list.h), the player panel (recordings_player.h), the renames
// and deletions (recording_edits.h) and the rename dialog (rename_dlg.h).
// None of them makes the window's thread wait: listings, lengths, renames,
// recycling and playback run on workers and post their results back. The
// list stays current by itself: the folder is watched (a file deleted in
// Explorer goes), and the recorder's "finished" and "recovered" events ask
// for a new listing (Refresh).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/recording_edits.h"
#include "app/recordings_list.h"
#include "app/recordings_player.h"
#include "app/shell_open.h"
#include "app/skinned_dialog.h"
#include "engine/call_recorder.h"
#include "platform/folder_watch.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"

class CRecordingsDlg : public CSkinnedDialog {
 public:
  CRecordingsDlg(HWND owner, CallRecorder& recorder);
  ~CRecordingsDlg() override;

  // The folder is listed again in the background; the list follows.
  void Refresh();

  // Where playback goes: the system's sound output, or a test's. Set it
  // before the window is created.
  std::function<std::unique_ptr<SoundOut>()> makeSoundOut = MakeSystemSoundOut;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnDestroy() override;

 private:
  void SkinControls();
  void ApplyTexts();
  void ShowCount();
  void Play();
  void Rename();
  void Delete();
  // The line under the list: what happened, in the user's language.
  void SetStatus(const std::wstring& text, bool error);
  // What the line says while nothing else is to be told: how to play, and
  // which formats play here.
  void ShowHint();
  // Why this recording may not be renamed or deleted now; empty when it may.
  std::wstring BusyReason(const RecordingEntry& entry) const;
  // An edit's result: the line, and a new listing.
  void EditDone(const std::wstring& text, bool error);

  CallRecorder& recorder_;
  std::wstring folder_;
  CImageButton close_, play_, stop_, open_, show_, rename_, delete_;
  CEditEx search_;
  // Opening a file or Explorer is not waited for when the window closes.
  ShellLauncher shell_{BackgroundWork::AtEnd::kFinishInBackground};
  RecordingsList list_;
  RecordingsPlayer player_;
  RecordingEdits edits_;
  FolderWatch watch_;
  bool statusError_ = false;
};
