// The recordings window's player panel: plays a recording inside the program
// with the position bar and the time beside it ("0:02 / 0:05"), and the Stop
// button enabled while it plays. Playing again the recording that was
// stopped goes on from where the bar stands; the end brings the bar to its
// end. Opening a file, starting and stopping the player (which waits for its
// feeding thread) and seeking run on a worker of the panel: the window's
// thread never waits for them. The panel tells what happened by `onStatus`.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "playback/sound_out.h"
#include "record/recording_scan.h"
#include "settings/language.h"
#include "ui/background_work.h"

class AudioPlayer;

class RecordingsPlayer {
 public:
  explicit RecordingsPlayer(const LanguageTable& language);
  // Stops what plays, without waiting for it.
  ~RecordingsPlayer();
  RecordingsPlayer(const RecordingsPlayer&) = delete;
  RecordingsPlayer& operator=(const RecordingsPlayer&) = delete;

  // The dialog `window` (its timer and posted actions) and its controls.
  void Attach(HWND window, HWND positionBar, HWND time, HWND stopButton);

  // Plays the recording's playable file.
  void Play(const RecordingEntry& entry);
  // Stops, keeping the place.
  void Stop();
  // The window goes: what plays stops, without a word.
  void Close();
  // A playback of this recording (its stem) is under way or starting.
  bool Plays(const std::wstring& stem) const;

  // The dialog's timer and position bar messages; true when they were the
  // panel's.
  bool OnTimer(UINT_PTR id);
  bool OnScroll(HWND bar, WORD code);

  // Where playback goes: the system's sound output, or a test's.
  std::function<std::unique_ptr<SoundOut>()> makeSoundOut = MakeSystemSoundOut;
  // What the line under the list says: a text, and whether it tells a
  // failure.
  std::function<void(const std::wstring& text, bool error)> onStatus;
  // Nothing plays any more (Stop, the end): the line may show its hint.
  std::function<void()> onIdle;

  // The timer the panel uses on the window.
  static constexpr UINT_PTR kPositionTimer = 1;

 private:
  void OnPlayStarted(bool started, const std::wstring& file, const AudioPlayer* player);
  void OnPlayEnded(const AudioPlayer* player);
  void ShowPosition();
  void ShowTime(uint64_t at);
  // Gives the player to the worker, which stops it and lets it go.
  void LetGo(std::shared_ptr<AudioPlayer> player);

  const LanguageTable& language_;
  HWND window_ = nullptr;
  HWND bar_ = nullptr;
  HWND time_ = nullptr;
  HWND stopButton_ = nullptr;
  std::shared_ptr<AudioPlayer> player_;
  std::wstring playing_;       // the file being played; empty when none
  std::wstring playingStem_;   // its recording
  uint64_t lengthFrames_ = 0;  // of the file played
  uint32_t rate_ = 0;
  bool dragging_ = false;      // the position bar is held
  // Declared last: it outlives the player it stops.
  BackgroundWork work_{BackgroundWork::AtEnd::kFinishInBackground};
};
