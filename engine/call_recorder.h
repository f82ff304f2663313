// CallRecorder: the recorder as one object, and the one thing the windows talk
// to. It owns everything that records a call: the settings in force and the
// language texts, the client link with its call state machine and threads,
// the recording session with its hand-offs, writers and side file, the two
// audio servers that feed the hand-offs, the computer's sound with its
// automatic start, the recovery of what a crash left behind, and the keeping
// of the record folder to its days.
//
// And it decides: Record, Pause and Stop, a recording for each call that
// starts (AutoRecord) when the contact rule takes it, the end of the recording
// with the last call, the hold of the computer's sound at one sample before a
// pause or a stop, the automatic start and stop with a call app, a start that
// waits for the last recording's end. The decisions run on the recorder's own
// thread (engine/recorder_loop.h), whatever thread asks for them; what comes
// of them reaches the windows as events (engine/recorder_events.h), which
// the windows only show.
//
// The application creates one, calls Start, keeps it for its whole run, and
// at the end calls BeginExit, waits for FinishingRunning to end, and Shutdown.
// Tests build their own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "capture/auto_record.h"
#include "capture/capture_device.h"
#include "capture/sound_capture.h"
#include "common/direction.h"
#include "engine/handoff_target.h"
#include "engine/recorder_events.h"
#include "engine/recorder_loop.h"
#include "net/audio_server.h"
#include "net/client_admission.h"
#include "net/connection_owners.h"
#include "record/recording_events.h"
#include "record/recording_session.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"
#include "skype/window_control.h"

// What a recording of the computer's sound is named after, on the lines and
// in its file name: the call app without ".exe", or the language's name of
// the source ("本机声音") for a recording started by hand.
std::wstring SoundCallName(const LanguageTable& language, const std::wstring& app);

// The platform's sound devices and its table of connection owners, or a
// test's. Null members take the system's.
struct RecorderDevices {
  CaptureDevices* devices = nullptr;
  CaptureSessions* sessions = nullptr;
  ConnectionOwners* connectionOwners = nullptr;
};

// Where the recorder keeps its files, and the ports it listens on.
struct RecorderPlaces {
  std::wstring configPath;    // Config.ini
  std::wstring languagePath;  // Language\Language.ini
  uint16_t outPort = kOutPort;
  uint16_t inPort = kInPort;
};

// What the windows show of the recording, read at one moment.
struct RecordingStatus {
  bool exists = false;          // a recording runs (or is paused)
  bool paused = false;          // a pause (or a stop) was asked of it
  bool stopped = false;         // its stop was asked for
  bool finishing = false;       // it is being finished
  bool callInProgress = false;  // a call of the source in use is in progress
};

class CallRecorder {
 public:
  // How long the automatic recording waits for every partner of the calls
  // in progress before the contact rule decides on those it knows.
  static constexpr std::chrono::milliseconds kContactRuleWait{3000};
  // The record folder is kept to its days this long after the start (the
  // recovery first), then once a day.
  static constexpr std::chrono::milliseconds kKeepDaysFirst{10 * 1000};
  static constexpr std::chrono::milliseconds kKeepDaysEvery{24 * 60 * 60 * 1000};

  // `events` must outlive the recorder.
  CallRecorder(RecorderEvents& events, RecorderPlaces places, RecorderDevices devices = {});
  // Shutdown, when it was not called.
  ~CallRecorder();
  CallRecorder(const CallRecorder&) = delete;
  CallRecorder& operator=(const CallRecorder&) = delete;

  // --- Start and end ----------------------------------------------------------

  // The start-up, in its order: the hand-offs' memory, Config.ini with its
  // language and source, the link threads, the audio servers (what they found
  // stays in ServersStart), the link's message window (Windows: on the calling
  // thread, whose message loop serves it), the recovery of what a crash left,
  // and the keeping of the record folder (kKeepDaysFirst from now, then
  // daily). Failures come as events and as ServersStart, never as boxes.
  void Start();
  const AudioServersStart& ServersStart() const { return serversStart_; }
  // The exit: from now on no recording starts and a finished one does not
  // open its folder; a running one is finished at once (the computer's sound
  // without waiting for its hold). Returns once its finishing has begun.
  void BeginExit();
  bool Exiting() const { return exiting_.load(); }
  // A finishing or an abort is under way (its encoders included).
  bool FinishingRunning() const { return session_.FinishingRunning(); }
  // The link's message window goes (on the thread that made it): the client's
  // notifications fail at once from now on, instead of waiting for a thread
  // that no longer reads them.
  void CloseClientWindow();
  // The end of the run: stops the link threads (each given `linkDeadline`),
  // closes the audio servers, waits for the recovery and for a finishing
  // under way, finishes a recording that still runs, and ends the recorder's
  // thread. False when a link thread did not stop: it waits on a client that
  // does not answer, and the recorder must then be left to end with the
  // process rather than destroyed.
  bool Shutdown(std::chrono::milliseconds linkDeadline = kLinkStopDeadline);

  // --- Commands: from any thread; they run on the recorder's thread -----------

  // A fresh recording of the calls in progress, or a paused one goes on. With
  // the computer's sound as the source, its sound call begins (named after
  // the call app `app` of an automatic start; empty: none).
  void Record(const std::wstring& app = std::wstring());
  // With the computer's sound, a pause and a stop first hold both directions
  // at one sample, then act.
  void Pause();
  // The finishing runs on a thread of its own.
  void Stop();
  // The hotkey: Stop while a recording exists, else Record.
  void ToggleRecording();

  // Reads Config.ini into the settings in force, selects their language and
  // takes their audio source (the start does this).
  void LoadSettings();
  // Takes the settings dialog's values: Config.ini, the record folder, the
  // autorun entry and the language (on the calling thread, which must not be
  // a window's: it writes to the disk); the source follows on the recorder's
  // thread.
  ApplyResult ApplySettings(const SettingsDialogValues& values);

  // --- What the windows show: from any thread ----------------------------------

  SettingsStore& settings() { return settings_; }
  const SettingsStore& settings() const { return settings_; }
  LanguageTable& language() { return language_; }
  const LanguageTable& language() const { return language_; }
  const std::wstring& configPath() const { return places_.configPath; }

  RecordingStatus Status() const;
  // The seconds the recording line shows now.
  uint32_t ElapsedSeconds() { return session_.UpdateElapsedSeconds(); }
  // What the recording line and the tray name the recording after: up to
  // three partners (with `orFinished`, those of the calls just ended where the
  // live table has none), or the sound call's name.
  std::wstring Subject(bool orFinished) const;

  // The client's calls and audio ports, or the computer's sound. The source in
  // use changes with the settings, but never under a recording: a change made
  // while one runs applies once it has been finished.
  CaptureSource source() const { return source_.load(); }
  bool RecordsSound() const { return source_.load() == CaptureSource::Sound; }
  // A call of the source in use is in progress (a client's call, or the
  // sound call), as the recording session sees it.
  bool CallInProgress() const { return sessionCalls_.CallInProgress(); }

  // The client's state from what a check found of it (the registry, the
  // process list) and the link's flags; the user's handle once attached.
  SkypeClientState ClientState(const ClientPresence& presence) const;
  std::wstring ClientUser() const;
  // What the Run Skype button does, given the state the line shows: brings
  // the client forward, starts it, or opens its maker's site. What it needs of
  // the link is taken now; the opening may take a while (the shell starts a
  // program), so it is for a job off the window's thread, which may outlive
  // the recorder. It returns false when nothing was opened.
  std::function<bool()> ClientOpener(SkypeClientState lastState) const;

  // The computer's sound devices, for the dialog that picks them (listing
  // may take a while: off the window's thread).
  CaptureDevices& captureDevices() { return *devices_; }

  // What the contact rule (RecordContacts, ContactList) says of the client's
  // calls in progress: `record` whether the automatic recording takes them,
  // `decided` once every call's partner is known (before that, a rule that
  // names contacts waits), `partners` the handles, for the line that tells
  // of a skipped call.
  struct ContactVerdict {
    bool record = true;
    bool decided = true;
    std::wstring partners;
  };
  ContactVerdict ContactRuleVerdict() const;

  // A recording (its path without extension) is still being made: mixed or
  // encoded after its session ended, or made by the recovery. Such a one is
  // neither deleted nor renamed.
  bool RecordingInUse(std::wstring_view path) const;
  // The recovery of what a crash left behind runs.
  bool Recovering() const { return recovering_.load(); }

  // --- The parts, for tests, benchmarks and tools (the windows use the
  // commands and events above) ----------------------------------------------------
  SkypeClient& skype() { return skype_; }
  SkypeLink& link() { return skype_.link; }
  CallStateMachine& calls() { return skype_.calls; }
  RecordingSession& session() { return session_; }
  AudioServer& server(Direction direction) { return direction == Direction::Out ? outServer_ : inServer_; }
  SoundCapture& capture() { return capture_; }
  RecorderLoop& loop() { return loop_; }

  // The start-up's steps, for tests that take them one by one.
  void StartLinkThreads() { skype_.StartThreads(); }
  AudioServersStart StartAudioServers();
  void StartRecovery();

 private:
  // What the parts report, on their threads, carried to the recorder's.
  class Inbox : public SkypeEvents, public RecordingEvents, public CaptureEvents {
   public:
    explicit Inbox(CallRecorder& recorder) : recorder_(recorder) {}
    void OnClientStateChanged() override;
    void OnCallStarted() override;
    void OnCallEnded() override;
    void OnPartnerKnown() override;
    void OnRecordingStarted() override;
    void OnRecordingResumed(bool timeRunning) override;
    void OnRecordingPaused() override;
    void OnRecordingFinishing() override;
    void OnRecordingStopped() override;
    void OnRecordingFinished(const FinishedRecording& finished) override;
    void OnRecordingFailed(RecordingFailure failure) override;
    void OnRecordingsRecovered(const RecoveryReport& report) override;
    void OnCaptureHeld(uint64_t hold) override;
    void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) override;

   private:
    CallRecorder& recorder_;
  };
  // The calls as the recording session sees them: the client's, or the
  // sound call with its app in the partners' place.
  class SessionCalls : public CallSource {
   public:
    explicit SessionCalls(CallRecorder& recorder) : recorder_(recorder) {}
    bool CallInProgress() const override;
    std::wstring PartnerList() const override;

   private:
    CallRecorder& recorder_;
  };
  // The capture threads' samples into the hand-offs.
  class SoundOutlet : public CaptureOutlet {
   public:
    explicit SoundOutlet(RecordingSession& session) : session_(session) {}
    void Take(Direction direction, const int16_t* samples, size_t n) override;

   private:
    RecordingSession& session_;
  };

  // --- The decisions, on the recorder's thread (recording_decisions.cpp) ------
  void DoRecord(const std::wstring& app);
  void DoPause();
  void DoStop();
  void CallStarted();
  void CallEnded();
  void PartnerKnown();
  void AutoRecordClientCall();
  void DecideByContactRule(const ContactVerdict& verdict);
  void AutoRecordSaw(bool start, const std::wstring& app);
  void CaptureHeld(uint64_t hold);
  void FinishSoundCall();
  void RecordingStopped();
  void RecordingFailed(RecordingFailure failure);
  void KeepRecordingsForTheirDays();
  void ForgetKeeping();
  // Takes the settings' source now unless a recording or a sound call runs;
  // the automatic start follows the settings.
  void SettleSource();
  void BeginSoundCall(const std::wstring& app);

  // Timers of the recorder's loop.
  enum Timer { kContactRuleTimer = 1, kKeepDaysTimer = 2 };

  RecorderEvents& events_;
  const RecorderPlaces places_;
  std::unique_ptr<CaptureDevices> ownDevices_;
  std::unique_ptr<CaptureSessions> ownSessions_;
  std::unique_ptr<ConnectionOwners> ownConnectionOwners_;
  CaptureDevices* devices_;
  CaptureSessions* sessions_;
  ConnectionOwners* connectionOwners_;
  std::atomic<CaptureSource> source_{CaptureSource::Client};
  // The loop first: the parts report into it until their end.
  RecorderLoop loop_;
  Inbox inbox_;
  SettingsStore settings_;
  LanguageTable language_;
  SkypeClient skype_;
  SessionCalls sessionCalls_;
  RecordingSession session_;
  // Each server hands its bytes to its direction's hand-off.
  HandoffTarget outTarget_;
  HandoffTarget inTarget_;
  // Only the attached client's connections reach the hand-offs.
  ClientAdmission admission_;
  AudioServer outServer_;
  AudioServer inServer_;
  SoundOutlet soundOutlet_;
  SoundCapture capture_;
  AutoRecordWatcher autoRecord_;
  // The ports the audio servers listen on (0: none), asked of the client's
  // calls while its source is in use.
  std::atomic<uint16_t> outPort_{0}, inPort_{0};
  std::atomic<bool> serversStarted_{false};
  AudioServersStart serversStart_;
  std::thread recovery_;
  std::atomic<bool> recovering_{false};
  // The keeping of the record folder's days runs on a thread of its own,
  // which reports back only while the recorder is there (a share that does
  // not answer does not hold up the exit).
  struct Keeping;
  std::shared_ptr<Keeping> keeping_;
  std::atomic<bool> exiting_{false};
  bool shutDown_ = false;

  // The decisions' state: the recorder's thread only.
  // The computer's sound: the hold asked for, and what follows it.
  enum class AfterHold { Nothing, Pause, Stop };
  AfterHold afterHold_ = AfterHold::Nothing;
  uint64_t hold_ = 0;
  // The automatic start began the recording of the computer's sound.
  bool autoStarted_ = false;
  // A client's call waits for its partners before the contact rule decides
  // while kContactRuleTimer is armed.
};
