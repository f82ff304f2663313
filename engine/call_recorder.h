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

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "common/direction.h"
#include "engine/handoff_target.h"
#include "net/audio_server.h"
#include "record/recording_events.h"
#include "record/recording_session.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"

// Everything the recorder reports, in one interface per layer.
class RecorderEvents : public SkypeEvents, public RecordingEvents {};

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
  CallRecorder(RecorderEvents& events, RecorderPlaces places);
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

  // Reads Config.ini into the settings in force and selects their language.
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
  // The calls as the recording session sees them.
  class SessionCalls : public CallSource {
   public:
    explicit SessionCalls(const CallStateMachine& calls) : calls_(calls) {}
    bool CallInProgress() const override { return calls_.CallInProgress(); }
    std::wstring PartnerList() const override { return calls_.PartnerList(); }

   private:
    const CallStateMachine& calls_;
  };

  RecorderEvents& events_;
  const RecorderPlaces places_;
  SettingsStore settings_;
  LanguageTable language_;
  SkypeClient skype_;
  SessionCalls sessionCalls_;
  RecordingSession session_;
  // Each server hands its bytes to its direction's hand-off.
  HandoffTarget outTarget_;
  HandoffTarget inTarget_;
  AudioServer outServer_;
  AudioServer inServer_;
  std::thread recovery_;
  bool shutDown_ = false;
};
