#include "engine/call_recorder.h"

#include <algorithm>
#include <system_error>

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "settings/contact_rule.h"

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
      language_(places_.languagePath),
      skype_(settings_, events),
      sessionCalls_(*this),
      session_(settings_, language_, sessionCalls_, events),
      outTarget_(session_.Handoff(Direction::Out)),
      inTarget_(session_.Handoff(Direction::In)),
      // Each call of the client streams each direction on a connection of its own.
      admission_(*connectionOwners_, [this] { return skype_.link.ClientProcess(); },
                 [this] { return static_cast<size_t>(std::max(0, skype_.calls.activeCallCount.load())); }),
      outServer_(Direction::Out, places_.outPort, outTarget_),
      inServer_(Direction::In, places_.inPort, inTarget_),
      soundOutlet_(session_),
      capture_(*devices_, soundOutlet_, events),
      autoRecord_(*sessions_, [this](const AutoRecordRules::Decision& decision) {
        events_.OnAutoRecord(decision.action == AutoRecordRules::Start, decision.app);
      }) {
  outServer_.eventSocket().SetAdmission(&admission_);
  inServer_.eventSocket().SetAdmission(&admission_);
}

std::wstring SoundCallName(const LanguageTable& language, const std::wstring& app) {
  std::wstring name = app;
  if (name.size() > 4 && EqualsNoCase(std::wstring_view(name).substr(name.size() - 4), L".exe"))
    name.resize(name.size() - 4);
  return name.empty() ? language.TextOr(L"Sound_Call_Name", L"This computer's sound") : name;
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

void CallRecorder::SettleSource() {
  const SettingsSnapshot settings = settings_.Current();
  if (!session_.Exists() && !session_.FinishingRunning() && !capture_.InProgress()) {
    const uint8_t source = settings->CaptureSource;
    source_.store(source);
    const bool client = source == kSourceClient;
    outTarget_.SetOpen(client);
    inTarget_.SetOpen(client);
    // The client's calls are asked for their audio only while its source is
    // in use.
    // Before the servers have started, nothing is known of their ports.
    const bool known = serversStarted_.load();
    const uint16_t out = known ? outPort_.load() : places_.outPort, in = known ? inPort_.load() : places_.inPort;
    skype_.calls.SetAudioPorts(client ? out : 0, client ? in : 0);
    session_.SetAudioAvailable(Direction::Out, !client || !known || outPort_.load() != 0);
    session_.SetAudioAvailable(Direction::In, !client || !known || inPort_.load() != 0);
  }
  if (source_.load() == kSourceSound && settings->AutoRecord == 1)
    autoRecord_.Watch(SoundCapture::NearEnd(settings->NearEndDevice), ParseAppList(settings->AutoRecordApps));
  else
    autoRecord_.Off();
}

void CallRecorder::BeginSoundCall(const std::wstring& app) {
  const SettingsSnapshot settings = settings_.Current();
  capture_.Begin(SoundCapture::FarEnd(settings->FarEndDevice), SoundCapture::NearEnd(settings->NearEndDevice), app);
}

CallRecorder::~CallRecorder() {
  if (!shutDown_) Shutdown();
}

void CallRecorder::LoadSettings() {
  ::LoadSettings(settings_, language_, places_.configPath);
  SettleSource();
}

ApplyResult CallRecorder::ApplySettings(const SettingsDialogValues& values) {
  ApplyResult result = ::ApplySettings(settings_, language_, values, places_.configPath);
  if (result == ApplyResult::Applied) SettleSource();
  return result;
}

AudioServersStart CallRecorder::StartAudioServers() {
  AudioServersStart start = ::StartAudioServers(outServer_, inServer_);
  // Calls are asked for their audio on the ports listened on; a direction
  // without a server is neither asked for nor recorded.
  outPort_.store(start.out ? start.out.port : 0);
  inPort_.store(start.in ? start.in.port : 0);
  serversStarted_.store(true);
  SettleSource();
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
          RecoverRecordings(settings->WavePath, settings->SaveLF != 0, settings->RecordFormat, encoderFloor);
      for (const std::wstring& name : report.recovered) DebugTrace(L"Recovered recording: %s\n", {name});
      for (const std::wstring& name : report.damaged) DebugTrace(L"Damaged stream file kept: %s\n", {name});
      recovering_.store(false);
      events_.OnRecordingsRecovered(report);
    });
  } catch (const std::system_error&) {
    recovering_.store(false);
    DebugTrace(L"No thread for the recovery; the recordings left behind wait for the next start.\n");
  }
}

CallRecorder::ContactVerdict CallRecorder::ContactRuleVerdict() const {
  const SettingsSnapshot settings = settings_.Current();
  ContactVerdict verdict;
  const std::vector<std::wstring> partners = skype_.calls.LivePartners();
  for (const std::wstring& partner : partners) verdict.partners += (verdict.partners.empty() ? L"" : L" ") + partner;
  if (settings->RecordContacts == kRecordEveryCall) return verdict;
  verdict.decided = partners.size() >= static_cast<size_t>(std::max(0, skype_.calls.activeCallCount.load()));
  verdict.record = ContactRuleRecords(settings->RecordContacts, settings->ContactList, partners);
  return verdict;
}

bool CallRecorder::RecordingInUse(std::wstring_view path) const {
  if (session_.EndingRecording(path)) return true;
  // The recovery names what it makes with its marker; while it runs, those
  // and the stream files it reads are its own.
  return recovering_.load() && path.find(kRecoveredMarker) != std::wstring_view::npos;
}

bool CallRecorder::Shutdown(std::chrono::milliseconds linkDeadline) {
  shutDown_ = true;
  autoRecord_.Off();
  bool linkStopped = skype_.StopThreads(linkDeadline);
  outServer_.Stop();
  inServer_.Stop();
  if (recovery_.joinable()) recovery_.join();
  session_.WaitForFinishing();
  session_.FinishRecording();
  capture_.End();
  return linkStopped;
}
