// The main window's recording controls and line: Record, Pause and Stop, the
// recording line with the partners and the elapsed time (or the no-call
// notice, or the error line), and what the window does with the recording's
// events. On the main window's thread only.
#pragma once

#include <windows.h>

#include <atomic>
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
  static constexpr UINT_PTR kContactRuleTimer = 12;   // 3000 ms: the rule decides on what is known

  RecordingPresenter(CDialog& window, CallRecorder& recorder, MainTray& tray, StatusLines& lines,
                     ShellLauncher& shell)
      : window_(window), recorder_(recorder), tray_(tray), lines_(lines), shell_(shell) {}

  // Pause and Stop start disabled.
  void Init();

  // Record (and a call that starts with AutoRecord): a fresh recording, or a
  // paused one goes on; with no call in progress, the notice. With the
  // computer's sound as the source, Record begins its sound call (named after
  // `app`, the call app of an automatic start).
  void Record(const std::wstring& app = std::wstring());
  // With the computer's sound, a pause and a stop first hold both
  // directions at one sample (OnCaptureHeld), then act.
  void Pause();
  // Stop (and the end of the last call, and the exit): the finishing runs on
  // a thread of its own.
  void Stop();
  // A client's call started with AutoRecord on: recorded when the contact
  // rule takes it. A rule that names contacts waits for the partners
  // (OnPartnerKnown), at most 3 s; a call it skips is told on the line, and
  // Record still records it by hand.
  void AutoRecordClientCall();
  void OnPartnerKnown();
  // The client's last call ended: a rule still waiting gives up, and the line
  // of a skipped call goes.
  void OnClientCallsEnded();
  // The hotkey: Stop while a recording exists, else Record.
  void Toggle();
  // The automatic start of the computer's sound found a call app (start) or
  // all of them done (stop): only a recording it started is stopped.
  void OnAutoRecord(bool start, const std::wstring& app);
  void OnCaptureHeld(uint64_t hold);
  // From now on no recording starts, and a finished one does not open its
  // folder: nobody is there to look.
  void SetExiting() { exiting_ = true; }
  bool exiting() const { return exiting_.load(); }

  bool OnTimer(UINT_PTR id);

  // The recording line is green: it shows no error, and a call is in progress
  // or the line tells of a saved recording.
  bool RecordLineGreen() const;

  // No call can be recorded (no audio server listens): the line says so, in
  // red, from now on, and Record shows it again.
  void ShowNoAudio(const std::wstring& text);
  // A call came into progress: the saved recording's line has had its time.
  void OnCallStarted();

  // The recording's events, on the window's thread.
  void OnStarted();
  void OnResumed(bool timeRunning);
  void OnPaused();
  void OnFinishing();
  void OnStopped();
  void OnFinished(const FinishedRecording& finished);
  void OnFailed(RecordingFailure failure);

 private:
  void ShowRunning();
  void ShowStatusSoon();
  void DecideByContactRule(const CallRecorder::ContactVerdict& verdict);
  void RefreshRecordLine();
  void SetRecordLineText(const std::wstring& text, bool error);
  void BalloonIfWanted();
  void ShowSaved(const std::wstring& file);

  CDialog& window_;
  CallRecorder& recorder_;
  MainTray& tray_;
  StatusLines& lines_;
  ShellLauncher& shell_;
  // Clears what a failed recording left (its error line and balloon stay
  // until the next start), before a start.
  void ForgetFailure();

  std::atomic<bool> exiting_{false};
  bool recordLineShowsError_ = false;
  // The recording failed: its error line and balloon stay until a recording
  // starts again, whatever the recording's later events (which may arrive
  // after the failure's) would show.
  bool recordingFailed_ = false;
  // The line tells where the last recording was saved, until the next call.
  bool recordLineShowsSaved_ = false;
  // Why no call can be recorded; empty while the audio servers listen.
  std::wstring noAudioText_;
  // The computer's sound: the hold asked for, and what follows it.
  enum class AfterHold { Nothing, Pause, Stop };
  AfterHold afterHold_ = AfterHold::Nothing;
  uint64_t hold_ = 0;
  bool autoStarted_ = false;
  // A client's call waits for its partners before the contact rule decides.
  bool ruleWaiting_ = false;
  bool recordLineShowsSkipped_ = false;
  void FinishSoundCall();
};
