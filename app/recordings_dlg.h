// CRecordingsDlg: the recordings window. It lists every recording of the
// record folder (date and time, partners or app, duration, formats, size) in
// a virtual list, so that a folder of a hundred thousand recordings opens at
// once; sorts by any column; filters by partner; plays a recording inside the
// program with a position bar; opens it with the default player, shows it in
// the file explorer, renames it (all its files together) and moves it to the
// Recycle Bin.
//
// It runs on a thread of its own, like the settings dialog, and that thread
// never waits either: the folder is listed, durations are read, files are
// renamed and recycled, and playback is started and stopped by background
// jobs that post their results back. The list stays current by itself: the
// folder is watched (a file deleted in Explorer goes), and the recorder's
// "finished" and "recovered" events ask for a new listing (Refresh).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/shell_open.h"
#include "app/skinned_dialog.h"
#include "engine/call_recorder.h"
#include "playback/sound_out.h"
#include "record/recording_library.h"
#include "ui/background_work.h"
#include "ui/edit_ex.h"
#include "ui/image_button.h"

class AudioPlayer;

// Posted to the recordings window: list the folder again.
constexpr UINT WM_RECORDINGS_REFRESH = WM_APP + 0x51;

class CRecordingsDlg : public CSkinnedDialog {
 public:
  CRecordingsDlg(HWND owner, CallRecorder& recorder);
  ~CRecordingsDlg() override;

  // Called on the dialog's thread once its window is shown, and once it is on
  // its way out.
  std::function<void(HWND)> onShown;
  std::function<void()> onClosing;

  // Where playback goes: the system's sound output, or a test's.
  std::function<std::unique_ptr<SoundOut>()> makeSoundOut = MakeSystemSoundOut;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(WORD id, WORD notifyCode, HWND control) override;
  INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  // Shared with the background jobs, which may outlive the window.
  struct Shared;

  void SkinControls();
  void ApplyTexts();
  void MakeColumns();
  void Close();

  // The folder is listed again in the background; the list follows.
  void Refresh();
  void TakeListing(std::vector<RecordingEntry> entries);
  void ShowCount();
  // The search box's text filters the rows.
  void Filter();
  // Asks for the durations of the rows on screen that are not known yet.
  void ReadVisibleDurations();
  void TakeDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations);

  LRESULT OnListNotify(NMHDR* header);
  void FillItem(NMLVDISPINFOW& item);
  void SortBy(int column);
  void ShowSortArrow();

  // The selected recording; null when none.
  const RecordingEntry* Selected() const;
  std::wstring SelectedStem() const;
  void Select(const std::wstring& stem);

  void Play();
  void StopPlaying();
  void OnPlayStarted(bool started, const std::wstring& file, const AudioPlayer* player);
  void OnPlayEnded(const AudioPlayer* player);
  void ShowPosition();
  void OnPositionBar(WORD code);
  void Rename();
  void Delete();
  // The line under the list: what happened, in the user's language.
  void SetStatus(const std::wstring& text, bool error);
  // What the line says while nothing else is to be told: how to play, and
  // which formats play here.
  void ShowHint();
  // Why this recording may not be renamed or deleted now; empty when it may.
  std::wstring BusyReason(const RecordingEntry& entry) const;
  std::wstring BusyText() const;

  void StartWatching(const std::wstring& folder);
  void StopWatching();

  CallRecorder& recorder_;
  std::wstring folder_;
  RecordingListModel model_;
  std::shared_ptr<Shared> shared_;
  CImageButton close_, play_, stop_, open_, show_, rename_, delete_;
  CEditEx search_;
  HWND list_ = nullptr;
  HWND position_ = nullptr;
  ShellLauncher shell_;
  // Listings, durations, renames and recycling, one after another.
  BackgroundWork work_;
  BackgroundWork durations_;
  // Starting and stopping playback (opening a file, waiting for the player's
  // thread) stays off the window's thread too.
  BackgroundWork playWork_;
  std::shared_ptr<AudioPlayer> player_;
  std::wstring playing_;       // the file being played; empty when none
  std::wstring playingStem_;   // its recording
  uint64_t lengthFrames_ = 0;  // of the file played
  uint32_t rate_ = 0;
  bool dragging_ = false;      // the position bar is held
  bool statusError_ = false;
  bool listingAsked_ = false;
  // The folder watch: a thread that waits for changes and posts a refresh.
  std::thread watcher_;
  HANDLE stopWatching_ = nullptr;
};
