// What the recorder decides, on its own thread: the commands, what a call or
// a call app starting and ending means for the recording, the hold of the
// computer's sound, the contact rule's wait, and the keeping of the record
// folder to its days.
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/call_recorder.h"
#include "platform/clock.h"
#include "platform/debug_trace.h"
#include "record/retention.h"
#include "settings/contact_rule.h"

// --- Commands -------------------------------------------------------------------

void CallRecorder::Record(const std::wstring& app) {
  loop_.Post([this, app] { DoRecord(app); });
}

void CallRecorder::Pause() {
  loop_.Post([this] { DoPause(); });
}

void CallRecorder::Stop() {
  loop_.Post([this] { DoStop(); });
}

void CallRecorder::ToggleRecording() {
  loop_.Post([this] {
    if (session_.Exists() || afterHold_ == AfterHold::Pause)
      DoStop();
    else
      DoRecord(std::wstring());
  });
}

void CallRecorder::DoRecord(const std::wstring& app) {
  // A call that starts while the program is on its way out is not recorded:
  // nothing would be left to finish it.
  if (exiting_.load()) return;
  const bool sound = RecordsSound();
  if (sound && afterHold_ == AfterHold::Pause) {
    // Record before the pause took hold: it is called off.
    afterHold_ = AfterHold::Nothing;
    capture_.Release();
    events_.OnHoldCalledOff();
    return;
  }
  if (sound && afterHold_ == AfterHold::Stop) return;
  events_.OnStarting();
  const bool began = sound && !capture_.InProgress();
  if (began) BeginSoundCall(app);
  const StartOutcome outcome = session_.StartRecording();
  if (sound) {
    if (outcome == StartOutcome::Resumed) capture_.Release();
    if (began && outcome != StartOutcome::Started && outcome != StartOutcome::Finishing) capture_.End();
    if (began && outcome == StartOutcome::Started) autoStarted_ = !app.empty();
  }
  if (outcome == StartOutcome::NoAudio) events_.OnNoAudio();
  if (outcome == StartOutcome::NoCall) events_.OnNothingToRecord();
}

void CallRecorder::DoPause() {
  if (!RecordsSound() || !capture_.InProgress()) {
    session_.PauseRecording();
    return;
  }
  if (afterHold_ != AfterHold::Nothing || !session_.Exists() || session_.AnyPaused()) return;
  afterHold_ = AfterHold::Pause;
  hold_ = capture_.Hold();
  events_.OnHolding(false);
}

void CallRecorder::DoStop() {
  const bool exiting = exiting_.load();
  if (autoStarted_ && !exiting) autoRecord_.Stopped();
  autoStarted_ = false;
  if (RecordsSound() && capture_.InProgress() && !exiting) {
    // Both directions end at one sample first; at the exit there is no
    // time to wait for it.
    if (afterHold_ == AfterHold::Stop) return;
    afterHold_ = AfterHold::Stop;
    hold_ = capture_.Hold();
    events_.OnHolding(true);
    return;
  }
  if (session_.finishing.load()) return;
  session_.StartFinishRecording();
  if (RecordsSound()) capture_.End();
}

// --- The client's calls ----------------------------------------------------------

void CallRecorder::CallStarted() {
  // The client's calls are not recorded while the computer's sound is.
  if (RecordsSound()) return;
  events_.OnCallStarted();
  if (settings_.Current()->autoRecord == 1) AutoRecordClientCall();
}

void CallRecorder::CallEnded() {
  if (RecordsSound() || skype_.calls.CallInProgress()) return;
  // A rule still waiting gives up.
  loop_.Cancel(kContactRuleTimer);
  events_.OnCallsEnded();
  DoStop();
}

void CallRecorder::PartnerKnown() {
  // The rule waits while its timer is armed.
  if (!RecordsSound() && loop_.TimerArmed(kContactRuleTimer)) {
    const ContactVerdict verdict = ContactRuleVerdict();
    if (verdict.decided) {
      loop_.Cancel(kContactRuleTimer);
      DecideByContactRule(verdict);
    }
  }
  events_.OnPartnerKnown();
}

// A client's call started with AutoRecord on: recorded when the contact rule
// takes it. A rule that names contacts waits for the partners, at most
// kContactRuleWait; a call it skips is told, and Record still records it by
// hand.
void CallRecorder::AutoRecordClientCall() {
  loop_.Cancel(kContactRuleTimer);
  // A call that joins a running recording is in it already: the client
  // streams the calls together.
  const ContactVerdict verdict = ContactRuleVerdict();
  if (session_.Exists() || verdict.decided) {
    DecideByContactRule(verdict);
    return;
  }
  // A partner the client never named: the rule decides on the others.
  loop_.After(kContactRuleTimer, kContactRuleWait, [this] { DecideByContactRule(ContactRuleVerdict()); });
}

void CallRecorder::DecideByContactRule(const ContactVerdict& verdict) {
  if (verdict.record || session_.Exists()) {
    DoRecord(std::wstring());
    return;
  }
  if (!CallInProgress()) return;
  DebugTrace(L"The contact rule skips the call with %s.", {verdict.partners});
  events_.OnCallSkipped(verdict.partners);
}

// --- The computer's sound ----------------------------------------------------------

// The automatic start found a call app capturing (start) or all of them done:
// only a recording it started is stopped.
void CallRecorder::AutoRecordSaw(bool start, const std::wstring& app) {
  if (!RecordsSound() || settings_.Current()->autoRecord != 1) return;
  if (start) {
    events_.OnCallStarted();
    if (!session_.Exists() && !capture_.InProgress()) DoRecord(app);
  } else if (autoStarted_) {
    autoStarted_ = false;
    if (capture_.InProgress()) DoStop();
  }
}

void CallRecorder::CaptureHeld(uint64_t hold) {
  if (hold != hold_ || afterHold_ == AfterHold::Nothing) return;
  const AfterHold after = afterHold_;
  afterHold_ = AfterHold::Nothing;
  if (after == AfterHold::Pause)
    session_.PauseRecording();
  else
    FinishSoundCall();
}

void CallRecorder::FinishSoundCall() {
  if (!session_.finishing.load()) session_.StartFinishRecording();
  capture_.End();
  // No recording was running (it could not start): nothing will report its
  // end, so it is told now.
  if (!session_.Exists() && !session_.FinishingRunning()) RecordingStopped();
}

void CallRecorder::BeginSoundCall(const std::wstring& app) {
  const SettingsSnapshot settings = settings_.Current();
  capture_.Begin(SoundCapture::FarEnd(settings->farEndDevice), SoundCapture::NearEnd(settings->nearEndDevice), app);
}

void CallRecorder::SettleSource() {
  const SettingsSnapshot settings = settings_.Current();
  if (!session_.Exists() && !session_.FinishingRunning() && !capture_.InProgress()) {
    const CaptureSource source = settings->captureSource;
    source_.store(source);
    const bool client = source == CaptureSource::Client;
    outTarget_.SetOpen(client);
    inTarget_.SetOpen(client);
    // The client's calls are asked for their audio only while its source is
    // in use. Before the servers have started, nothing is known of their ports.
    const bool known = serversStarted_.load();
    const uint16_t out = known ? outPort_.load() : places_.outPort, in = known ? inPort_.load() : places_.inPort;
    skype_.calls.SetAudioPorts(client ? out : 0, client ? in : 0);
    session_.SetAudioAvailable(Direction::Out, !client || !known || outPort_.load() != 0);
    session_.SetAudioAvailable(Direction::In, !client || !known || inPort_.load() != 0);
  }
  if (source_.load() == CaptureSource::Sound && settings->autoRecord == 1)
    autoRecord_.Watch(SoundCapture::NearEnd(settings->nearEndDevice), ParseAppList(settings->autoRecordApps));
  else
    autoRecord_.Off();
}

// --- The recording's end ---------------------------------------------------------------

void CallRecorder::RecordingStopped() {
  const bool pendingStart = session_.TakePendingStart();
  // A new recording may have started since this was reported.
  if (session_.Exists()) return;
  events_.OnRecordingStopped();
  // A call that came into progress while the recording was being finished
  // is recorded now.
  if (pendingStart && CallInProgress() && !exiting_.load()) {
    events_.OnStarting();
    session_.StartDeferredRecording();
  }
  // A sound call whose recording ended another way (a failure) ends too.
  if (RecordsSound() && !session_.Exists() && afterHold_ == AfterHold::Nothing) capture_.End();
  // A change of the source made during the recording applies now.
  if (!session_.Exists()) SettleSource();
}

void CallRecorder::RecordingFailed(RecordingFailure failure) {
  if (!EndsRecording(failure)) return;
  // The other writer may be in the middle of a long write: it is stopped and
  // waited for elsewhere, and the controls return when it has ended.
  const bool ending = session_.StartAbortRecording();
  events_.OnRecordingFailed(failure, ending);
}

// --- The days to keep ------------------------------------------------------------------

struct CallRecorder::Keeping {
  std::mutex mutex;
  CallRecorder* recorder = nullptr;  // null once the recorder has ended
  bool running = false;
};

void CallRecorder::KeepRecordingsForTheirDays() {
  // What the recovery makes is its own until it is done (an old recording
  // recovered keeps its old time): the keeping waits.
  if (Recovering()) {
    loop_.After(kKeepDaysTimer, kKeepDaysFirst, [this] { KeepRecordingsForTheirDays(); });
    return;
  }
  loop_.After(kKeepDaysTimer, kKeepDaysEvery, [this] { KeepRecordingsForTheirDays(); });
  const SettingsSnapshot settings = settings_.Current();
  if (settings->keepDays <= 0) return;
  if (!keeping_) {
    keeping_ = std::make_shared<Keeping>();
    keeping_->recorder = this;
  }
  std::shared_ptr<Keeping> keeping = keeping_;
  {
    std::lock_guard<std::mutex> lock(keeping->mutex);
    if (keeping->running) return;
    keeping->running = true;
  }
  const std::wstring folder = settings->recordFolder;
  const int days = settings->keepDays;
  // Side files keep a running recording and one awaiting recovery out of it
  // (ApplyRetention looks for them). Listing and moving to the Recycle Bin
  // may take long: on a thread of its own.
  try {
    std::thread([keeping, folder, days] {
      const RetentionResult result = ApplyRetention(folder, days, UnixTimeNow());
      std::lock_guard<std::mutex> lock(keeping->mutex);
      keeping->running = false;
      CallRecorder* recorder = keeping->recorder;
      if (!recorder || (result.removed == 0 && result.failed == 0)) return;
      recorder->loop_.Post([recorder, result] { recorder->events_.OnRecordingsExpired(result); });
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(keeping->mutex);
    keeping->running = false;
    DebugTrace(L"No thread to keep the record folder to its days; tried again tomorrow.");
  }
}

void CallRecorder::ForgetKeeping() {
  if (!keeping_) return;
  std::lock_guard<std::mutex> lock(keeping_->mutex);
  keeping_->recorder = nullptr;
}
