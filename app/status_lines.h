// The main window's two status lines that watch the world outside the
// recording: the client's state and the record folder with its free space.
// Each is checked on a thread of its own (a scan of the process list, a
// question to a disk or a share) and shown when the answer comes back:
// the client line 100 ms after start-up and then every 5 s, the folder line
// 100 ms after start-up and then every 10 s, and each at once when asked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/call_recorder.h"
#include "ui/background_work.h"
#include "ui/dialog.h"

class StatusLines {
 public:
  // The main window's timers that the lines use.
  static constexpr UINT_PTR kClientStatusTimer = 4;  // 100 ms, then every 5000 ms
  static constexpr UINT_PTR kFolderStatusTimer = 5;  // 100 ms, then every 10000 ms

  // The folder states the line shows.
  enum FolderState { kUnknown = 0, kLowSpace = 1, kEnoughSpace = 2, kMissing = 3 };

  StatusLines(CDialog& window, CallRecorder& recorder) : window_(window), recorder_(recorder) {}

  // Arms both timers; `askVirtualStore`: the system keeps VirtualStore copies
  // (major version 6 and later), so the hint and its button may show.
  void Start(bool askVirtualStore);
  // Checks now (the client's state may have changed).
  void CheckClient();
  // Checks the folder `delayMs` from now (after a recording, a new setting).
  void ScheduleFolderCheck(UINT delayMs = 100);
  void CheckFolder();
  // The window's timers; true when the timer was one of the lines'.
  bool OnTimer(UINT_PTR id);
  // The Run Skype button's caption for the state shown.
  std::wstring RunSkypeCaption() const;

  // What the lines last showed: the client state (1 to 5) and the folder's;
  // 0 before the first answer.
  int clientState() const { return clientState_; }
  // The client line is green: attached to the client, or the computer's
  // sound with its devices open.
  bool ClientLineGreen() const { return showsSound_ ? soundFailure_.empty() : clientState_ == 4; }
  // A device of the computer's sound was opened or could not be (posted).
  void OnSoundDevice(Direction direction, bool open, const std::wstring& what);
  // The hotkey could not be registered: another program has it.
  void SetHotkeyTaken(bool taken) { hotkeyTaken_ = taken; }
  int folderState() const { return folderState_; }
  // No check waits or runs.
  bool Idle() const { return clientCheck_.Idle() && folderCheck_.Idle(); }

 private:
  // What the folder check found out, away from the window's thread.
  struct FolderFacts {
    std::wstring folder;
    bool exists = false;
    bool freeKnown = false;
    uint64_t freeBytes = 0;
    bool virtualStoreAsked = false;
    bool virtualStoreExists = false;
  };
  void ShowClientState(int state);
  void ShowSoundSource();
  void ShowFolderFacts(const FolderFacts& facts);
  void SetLineText(int id, const std::wstring& text);

  CDialog& window_;
  CallRecorder& recorder_;
  bool askVirtualStore_ = false;
  int clientState_ = 0;
  bool showsSound_ = false;
  // The device of each direction that could not be opened; empty when open.
  std::wstring soundFailures_[2];
  std::wstring soundFailure_;  // the first of them
  bool hotkeyTaken_ = false;
  int folderState_ = kUnknown;
  // Declared last: their jobs post actions that use the members above.
  BackgroundWork clientCheck_;
  BackgroundWork folderCheck_;
};
