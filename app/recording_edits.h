// Renaming a recording (all its files together) and moving it to the Recycle
// Bin, for the recordings window. Both look for the side files of a
// recording still being written first (listing a large folder is no work for
// the window's thread), so they run on a worker; what came of each is posted
// back to the window as the text of its line.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "record/recording_scan.h"
#include "settings/language.h"
#include "ui/background_work.h"

class RecordingEdits {
 public:
  // The line's text after an edit, and whether it tells a failure; called on
  // the window's thread, and only while the window exists.
  using Done = std::function<void(const std::wstring& text, bool error)>;

  explicit RecordingEdits(const LanguageTable& language) : language_(language) {}

  // The window whose loop runs `done`.
  void Attach(HWND window) { window_ = window; }

  // Renames the recording's files to `newFileStem` in `folder`.
  void Rename(const std::wstring& folder, const RecordingEntry& entry, const std::wstring& newFileStem, Done done);
  // Moves every file of the recording to the Recycle Bin.
  void Delete(const std::wstring& folder, const RecordingEntry& entry, Done done);

  // Why a recording cannot be renamed or deleted while it is being written
  // or recovered.
  std::wstring BusyText() const;

 private:
  const LanguageTable& language_;
  HWND window_ = nullptr;
  // An edit asked for goes through even when the window closes meanwhile.
  BackgroundWork work_{BackgroundWork::AtEnd::kFinishInBackground};
};
