// The main window's recording controls and line: Record, Pause and Stop
// enabled as the recording's state asks, the recording line with the
// partners and the elapsed time (or the no-call notice, a skipped call, the
// saved recording, or the error line), and the tray's word on the recording.
// It only shows: the recorder decides (engine/call_recorder.h) and tells it
// through its events, which the main window hands on here. On the main
// window's thread only.
#pragma once

#include <windows.h>

#include <string>

#include "app/main_tray.h"
#include "app/shell_open.h"
#include "app/status_lines.h"
#include "engine/call_recorder.h"
#include "ui/dialog.h"

class RecordingPresenter {
 public:
  // The main window's timers that the recording line uses.
  static constexpr UINT_PTR kRecordStatusTimer = 7;   // every 1000 ms while recording
  static constexpr UINT_PTR kNoCallNoticeTimer = 11;  // 3000 ms: the no-call notice goes

  RecordingPresenter(CDialog& window, CallRecorder& recorder, MainTray& tray, StatusLines& lines,
                     ShellLauncher& shell)
      : window_(window), recorder_(recorder), tray_(tray), lines_(lines), shell_(shell) {}

  // Pause and Stop start disabled.
  void Init();
  bool OnTimer(UINT_PTR id);

  // The recording line is green: it shows no error, and a call is in progress
  // or the line tells of a saved recording.
  bool RecordLineGreen() const;

  // No call can be recorded (no audio server listens): the line says so, in
  // red, from now on, and Record shows it again.
  void ShowNoAudio(const std::wstring& text);

  // The recorder's events, on the window's thread.
  void OnCallStarted();
  void OnCallsEnded();
  void OnStarting();
  void OnNothingToRecord();
  void OnNoAudio() { ShowNoAudio(noAudioText_); }
  void OnCallSkipped(const std::wstring& partners);
  void OnHolding(bool stopping);
  void OnHoldCalledOff() { ShowRunning(); }
  void OnStarted();
  void OnResumed(bool timeRunning);
  void OnPaused();
  void OnFinishing();
  void OnStopped();
  void OnFinished(const FinishedRecording& finished);
  void OnFailed(RecordingFailure failure, bool ending);

 private:
  // What the recording line tells: the recording (or a notice), where the
  // last recording was saved (until the next call), a call the contact rule
  // skipped (until the calls end), or an error (in red).
  enum class RecordLine { Recording, Saved, Skipped, Error };

  void ShowRunning();
  void ShowStatusSoon();
  void RefreshRecordLine();
  void SetRecordLineText(const std::wstring& text, RecordLine line);
  void BalloonIfWanted();
  void ShowSaved(const std::wstring& file);

  CDialog& window_;
  CallRecorder& recorder_;
  MainTray& tray_;
  StatusLines& lines_;
  ShellLauncher& shell_;

  RecordLine line_ = RecordLine::Recording;
  // The recording failed: its error line and balloon stay until a recording
  // starts again, whatever the recording's later events (which may arrive
  // after the failure's) would show.
  bool recordingFailed_ = false;
  // Why no call can be recorded; empty while the audio servers listen.
  std::wstring noAudioText_;
};
