#include "engine/call_recorder.h"

#include <algorithm>
#include <system_error>

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "settings/contact_rule.h"
#include "skype/client_window.h"

namespace {
template <class T>
T* OrOwn(T* given, std::unique_ptr<T>& own, std::unique_ptr<T> (*make)()) {
  if (given) return given;
  own = make();
  return own.get();
}
}  // namespace

CallRecorder::CallRecorder(RecorderEvents& events, RecorderPlaces places, RecorderDevices devices)
    : events_(events),
      places_(std::move(places)),
      devices_(OrOwn(devices.devices, ownDevices_, &MakeSystemCaptureDevices)),
      sessions_(OrOwn(devices.sessions, ownSessions_, &MakeSystemCaptureSessions)),
      connectionOwners_(OrOwn(devices.connectionOwners, ownConnectionOwners_, &MakeSystemConnectionOwners)),
      inbox_(*this),
      language_(places_.languagePath),
      skype_(settings_, inbox_),
      sessionCalls_(*this),
      session_(settings_, language_, sessionCalls_, inbox_),
      outTarget_(session_.Handoff(Direction::Out)),
      inTarget_(session_.Handoff(Direction::In)),
      // Each call of the client streams each direction on a connection of its own.
      admission_(*connectionOwners_, [this] { return skype_.link.ClientProcess(); },
                 [this] { return static_cast<size_t>(std::max(0, skype_.calls.activeCallCount.load())); }),
      outServer_(Direction::Out, places_.outPort, outTarget_),
      inServer_(Direction::In, places_.inPort, inTarget_),
      soundOutlet_(session_),
      capture_(*devices_, soundOutlet_, inbox_),
      autoRecord_(*sessions_, [this](const AutoRecordRules::Decision& decision) {
        const bool start = decision.action == AutoRecordRules::Start;
        const std::wstring app = decision.app;
        loop_.Post([this, start, app] { AutoRecordSaw(start, app); });
      }) {
  outServer_.eventSocket().SetAdmission(&admission_);
  inServer_.eventSocket().SetAdmission(&admission_);
  loop_.Start();
}

CallRecorder::~CallRecorder() {
  if (!shutDown_) Shutdown();
}

std::wstring SoundCallName(const LanguageTable& language, const std::wstring& app) {
  std::wstring name = app;
  if (name.size() > 4 && EqualsNoCase(std::wstring_view(name).substr(name.size() - 4), L".exe"))
    name.resize(name.size() - 4);
  return name.empty() ? language.TextOr(L"Sound_Call_Name", L"This computer's sound") : name;
}

// --- What the parts report -----------------------------------------------------
//
// A call that starts or ends is sent: the link's thread waits until the
// recorder has acted on it, so that a recording that starts for the call is
// there before the call's audio is asked for, and a recording that ends with
// the last call is being finished before the next call can start. Everything
// else is posted. A failure with a box is told at once as well.

void CallRecorder::Inbox::OnClientStateChanged() {
  recorder_.loop_.Post([this] { recorder_.events_.OnClientStateChanged(); });
}
void CallRecorder::Inbox::OnCallStarted() {
  recorder_.loop_.Send([this] { recorder_.CallStarted(); });
}
void CallRecorder::Inbox::OnCallEnded() {
  recorder_.loop_.Send([this] { recorder_.CallEnded(); });
}
void CallRecorder::Inbox::OnPartnerKnown() {
  recorder_.loop_.Post([this] { recorder_.PartnerKnown(); });
}
void CallRecorder::Inbox::OnRecordingStarted() {
  recorder_.loop_.Post([this] { recorder_.events_.OnRecordingStarted(); });
}
void CallRecorder::Inbox::OnRecordingResumed(bool timeRunning) {
  recorder_.loop_.Post([this, timeRunning] { recorder_.events_.OnRecordingResumed(timeRunning); });
}
void CallRecorder::Inbox::OnRecordingPaused() {
  recorder_.loop_.Post([this] { recorder_.events_.OnRecordingPaused(); });
}
void CallRecorder::Inbox::OnRecordingFinishing() {
  recorder_.loop_.Post([this] { recorder_.events_.OnRecordingFinishing(); });
}
void CallRecorder::Inbox::OnRecordingStopped() {
  recorder_.loop_.Post([this] { recorder_.RecordingStopped(); });
}
void CallRecorder::Inbox::OnRecordingFinished(const FinishedRecording& finished) {
  recorder_.loop_.Post([this, finished] { recorder_.events_.OnRecordingFinished(finished); });
}
void CallRecorder::Inbox::OnRecordingFailed(RecordingFailure failure) {
  recorder_.events_.OnFailureNotice(failure);
  recorder_.loop_.Post([this, failure] { recorder_.RecordingFailed(failure); });
}
void CallRecorder::Inbox::OnRecordingsRecovered(const RecoveryReport& report) {
  for (RecordingFailure failure : report.failures) recorder_.events_.OnFailureNotice(failure);
  recorder_.loop_.Post([this, report] { recorder_.events_.OnRecordingsRecovered(report); });
}
void CallRecorder::Inbox::OnCaptureHeld(uint64_t hold) {
  recorder_.loop_.Post([this, hold] { recorder_.CaptureHeld(hold); });
}
void CallRecorder::Inbox::OnCaptureDevice(Direction direction, bool open, const std::wstring& what) {
  recorder_.loop_.Post(
      [this, direction, open, what] { recorder_.events_.OnCaptureDevice(direction, open, what); });
}

bool CallRecorder::SessionCalls::CallInProgress() const {
  return recorder_.RecordsSound() ? recorder_.capture_.InProgress() : recorder_.skype_.calls.CallInProgress();
}

std::wstring CallRecorder::SessionCalls::PartnerList() const {
  if (!recorder_.RecordsSound()) return recorder_.skype_.calls.PartnerList();
  return FileNameSafeText(SoundCallName(recorder_.language_, recorder_.capture_.App()));
}

void CallRecorder::SoundOutlet::Take(Direction direction, const int16_t* samples, size_t n) {
  // The stream files hold little-endian 16-bit samples, as the machine does.
  session_.Handoff(direction).Append(reinterpret_cast<const uint8_t*>(samples), n * sizeof(int16_t));
}

// --- Start and end ------------------------------------------------------------

void CallRecorder::Start() {
  session_.AllocateHandoffs();
  LoadSettings();
  StartLinkThreads();
  StartAudioServers();
  OpenClientWindow(skype_.link);
  StartRecovery();
  loop_.After(kKeepDaysTimer, kKeepDaysFirst, [this] { KeepRecordingsForTheirDays(); });
}

void CallRecorder::LoadSettings() {
  ::LoadSettings(settings_, language_, places_.configPath);
  loop_.Send([this] {
    SettleSource();
    events_.OnSettingsChanged();
  });
}

ApplyResult CallRecorder::ApplySettings(const SettingsDialogValues& values) {
  ApplyResult result = ::ApplySettings(settings_, language_, values, places_.configPath);
  if (result == ApplyResult::Applied)
    loop_.Send([this] {
      SettleSource();
      events_.OnSettingsChanged();
    });
  return result;
}

AudioServersStart CallRecorder::StartAudioServers() {
  AudioServersStart start = ::StartAudioServers(outServer_, inServer_);
  // Calls are asked for their audio on the ports listened on; a direction
  // without a server is neither asked for nor recorded.
  outPort_.store(start.out ? start.out.port : 0);
  inPort_.store(start.in ? start.in.port : 0);
  serversStarted_.store(true);
  serversStart_ = start;
  loop_.Send([this] { SettleSource(); });
  return start;
}

void CallRecorder::StartRecovery() {
  if (recovery_.joinable()) return;
  // The record folder is read and files are mixed: on a thread of its own.
  const SettingsSnapshot settings = settings_.Current();
  const std::chrono::milliseconds encoderFloor = session_.EncoderTimeFloor();
  recovering_.store(true);
  try {
    recovery_ = std::thread([this, settings, encoderFloor] {
      RecoveryReport report =
          RecoverRecordings(settings->recordFolder, settings->stereo != 0, settings->formats, encoderFloor);
      for (const std::wstring& name : report.recovered) DebugTrace(L"Recovered recording: %s\n", {name});
      for (const std::wstring& name : report.damaged) DebugTrace(L"Damaged stream file kept: %s\n", {name});
      recovering_.store(false);
      inbox_.OnRecordingsRecovered(report);
    });
  } catch (const std::system_error&) {
    recovering_.store(false);
    DebugTrace(L"No thread for the recovery; the recordings left behind wait for the next start.\n");
  }
}

void CallRecorder::BeginExit() {
  loop_.Send([this] {
    exiting_.store(true);
    loop_.Cancel(kContactRuleTimer);
    DoStop();
  });
}

void CallRecorder::CloseClientWindow() { ::CloseClientWindow(skype_.link); }

bool CallRecorder::Shutdown(std::chrono::milliseconds linkDeadline) {
  shutDown_ = true;
  exiting_.store(true);
  autoRecord_.Off();
  bool linkStopped = skype_.StopThreads(linkDeadline);
  outServer_.Stop();
  inServer_.Stop();
  if (recovery_.joinable()) recovery_.join();
  session_.WaitForFinishing();
  session_.FinishRecording();
  capture_.End();
  loop_.Stop();
  ForgetKeeping();
  return linkStopped;
}

// --- What the windows show ----------------------------------------------------

RecordingStatus CallRecorder::Status() const {
  RecordingStatus status;
  status.exists = session_.Exists();
  status.paused = session_.AnyPaused();
  status.stopped = session_.AnyStopped();
  status.finishing = session_.finishing.load() != 0;
  status.callInProgress = CallInProgress();
  return status;
}

std::wstring CallRecorder::Subject(bool orFinished) const {
  if (!RecordsSound()) return StatusPartnerList(skype_.calls, orFinished);
  return SoundCallName(language_, capture_.App());
}

SkypeClientState CallRecorder::ClientState(const ClientPresence& presence) const {
  return ClientStateOf(presence, skype_.link);
}

std::wstring CallRecorder::ClientUser() const { return skype_.link.currentUserHandle.Get(); }

std::function<bool()> CallRecorder::ClientOpener(SkypeClientState lastState) const {
  const bool attached = skype_.link.attached.load() == 1;
  const CommandRoute route = skype_.link.Route();
  return [attached, route, lastState] { return ::OpenSkype(attached, route, lastState); };
}

CallRecorder::ContactVerdict CallRecorder::ContactRuleVerdict() const {
  const SettingsSnapshot settings = settings_.Current();
  ContactVerdict verdict;
  const std::vector<std::wstring> partners = skype_.calls.LivePartners();
  for (const std::wstring& partner : partners) verdict.partners += (verdict.partners.empty() ? L"" : L" ") + partner;
  if (settings->recordContacts == RecordContacts::EveryCall) return verdict;
  verdict.decided = partners.size() >= static_cast<size_t>(std::max(0, skype_.calls.activeCallCount.load()));
  verdict.record = ContactRuleRecords(settings->recordContacts, settings->contactList, partners);
  return verdict;
}

bool CallRecorder::RecordingInUse(std::wstring_view path) const {
  if (session_.EndingRecording(path)) return true;
  // The recovery names what it makes with its marker; while it runs, those
  // and the stream files it reads are its own.
  return recovering_.load() && path.find(kRecoveredMarker) != std::wstring_view::npos;
}
