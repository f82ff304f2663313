// CallRecorder: the recorder as one object. It owns everything that records a
// call: the settings in force and the language texts, the client link with its
// call state machine and threads, the recording session with its hand-offs,
// writers and side file, the two audio servers that feed the hand-offs, and
// the recovery of what a crash left behind. The application creates one, keeps
// it for its whole run and hands it to its windows; tests build their own.
//
// What happens in it reaches the application through one object, the events
// (RecorderEvents), from whichever thread it happens on; failures come as
// values (RecordingFailure, AudioServersStart, ApplyResult), never as boxes.
//
// Start-up, in this order: AllocateHandoffs (through session()), LoadSettings,
// StartLinkThreads, StartAudioServers, the link's message window (Windows, on
// the window's thread), StartRecovery. Exit: the application finishes a
// running recording (session().StartFinishRecording), waits for it, then
// Shutdown.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <cstdint>
#include <string>
#include <thread>

#include "capture/auto_record.h"
#include "capture/capture_device.h"
#include "capture/sound_capture.h"
#include "common/direction.h"
#include "engine/handoff_target.h"
#include "net/audio_server.h"
#include "net/client_admission.h"
#include "net/connection_owners.h"
#include "record/recording_events.h"
#include "record/recording_session.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"

// What the computer's sound reports besides the capture's own events: the
// automatic start found a call app capturing (start) or all of them done
// (stop), from the watcher's thread.
// Each does nothing unless overridden: only the window acts on them.
class SoundEvents : public CaptureEvents {
 public:
  void OnCaptureHeld(uint64_t hold) override {}
  void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) override {}
  virtual void OnAutoRecord(bool start, const std::wstring& app) {}
};

// Everything the recorder reports, in one interface per layer.
class RecorderEvents : public SkypeEvents, public RecordingEvents, public SoundEvents {};

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

class CallRecorder {
 public:
  // `events` must outlive the recorder.
  CallRecorder(RecorderEvents& events, RecorderPlaces places, RecorderDevices devices = {});
  // Shutdown, when it was not called.
  ~CallRecorder();
  CallRecorder(const CallRecorder&) = delete;
  CallRecorder& operator=(const CallRecorder&) = delete;

  SettingsStore& settings() { return settings_; }
  LanguageTable& language() { return language_; }
  const std::wstring& configPath() const { return places_.configPath; }
  SkypeClient& skype() { return skype_; }
  SkypeLink& link() { return skype_.link; }
  CallStateMachine& calls() { return skype_.calls; }
  RecordingSession& session() { return session_; }
  AudioServer& server(Direction direction) { return direction == Direction::Out ? outServer_ : inServer_; }
  SoundCapture& capture() { return capture_; }
  CaptureDevices& captureDevices() { return *devices_; }

  // --- The audio source ------------------------------------------------------
  //
  // The client's calls and audio ports, or the computer's sound. The source in
  // use changes with the settings, but never under a recording: a change made
  // while one runs applies once it has been finished (SettleSource).
  uint8_t source() const { return source_.load(); }
  bool RecordsSound() const { return source_.load() == kSourceSound; }
  // A call of the source in use is in progress (a client's call, or the
  // sound call), as the recording session sees it.
  bool CallInProgress() const { return sessionCalls_.CallInProgress(); }
  // Takes the settings' source now unless a recording or a sound call runs;
  // the automatic start follows the settings (on for the computer's sound
  // with AutoRecord). Called after every load and apply, and by the
  // application once a recording has stopped.
  void SettleSource();

  // A recording of the computer's sound is wanted (Record, the hotkey, the
  // automatic start): the sound call begins with the devices of the
  // settings. `app` names the recording (empty: none).
  void BeginSoundCall(const std::wstring& app);
  // A recording the automatic start began was stopped by hand: it starts
  // again only for the next call.
  void AutoRecordStoppedByHand() { autoRecord_.Stopped(); }

  // --- Whose calls are recorded, and what may be touched ---------------------

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

  // Reads Config.ini into the settings in force, selects their language and
  // takes their audio source.
  void LoadSettings();
  // Takes the settings dialog's values (ApplySettings into this recorder's
  // settings, language and Config.ini).
  ApplyResult ApplySettings(const SettingsDialogValues& values);

  // Starts the two link threads.
  void StartLinkThreads() { skype_.StartThreads(); }
  // Starts both audio servers; what went wrong comes back.
  AudioServersStart StartAudioServers();
  // Finishes, on a thread of its own, the recordings a crash left in the
  // record folder, and reports them (OnRecordingsRecovered). Once per run.
  void StartRecovery();

  // The end of the run: stops the link threads (each given `linkDeadline`),
  // closes the audio servers, waits for the recovery and for a finishing
  // under way, and finishes a recording that still runs. False when a link
  // thread did not stop: it waits on a client that does not answer, and the
  // recorder must then be left to end with the process rather than destroyed.
  bool Shutdown(std::chrono::milliseconds linkDeadline = kLinkStopDeadline);

 private:
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

  RecorderEvents& events_;
  const RecorderPlaces places_;
  std::unique_ptr<CaptureDevices> ownDevices_;
  std::unique_ptr<CaptureSessions> ownSessions_;
  std::unique_ptr<ConnectionOwners> ownConnectionOwners_;
  CaptureDevices* devices_;
  CaptureSessions* sessions_;
  ConnectionOwners* connectionOwners_;
  std::atomic<uint8_t> source_{kSourceClient};
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
  std::thread recovery_;
  std::atomic<bool> recovering_{false};
  bool shutDown_ = false;
};
