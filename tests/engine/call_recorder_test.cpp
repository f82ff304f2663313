// The recorder as the application holds it: one object whose link follows the
// client's calls, whose audio servers take the two directions, and whose
// session writes, mixes and names the recording; what happens comes out as
// events. Each test builds its own recorders, two at once where it matters.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/strings.h"
#include "engine/call_recorder.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/recycle_bin.h"
#include "record/wave_file.h"
#include "platform/process.h"
#include "tests/net/test_peer.h"
#include "tests/support/fake_owners.h"
#include "tests/support/fake_sound.h"
#include "tests/support/skype_client_standin.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

// The application's part: it only listens. Every event the recorder tells is
// written down, in order.
class App : public RecorderEvents {
 public:
  void OnClientStateChanged() override { Add(L"client"); }
  void OnCallStarted() override { Add(L"call started"); }
  void OnCallsEnded() override { Add(L"calls ended"); }
  void OnPartnerKnown() override { Add(L"partner"); }
  void OnStarting() override { Add(L"starting"); }
  void OnNothingToRecord() override { Add(L"nothing to record"); }
  void OnNoAudio() override { Add(L"no audio"); }
  void OnCallSkipped(const std::wstring& partners) override { Add(L"skipped " + partners); }
  void OnHolding(bool stopping) override { Add(stopping ? L"holding to stop" : L"holding to pause"); }
  void OnHoldCalledOff() override { Add(L"hold called off"); }
  void OnRecordingsExpired(const RetentionResult& result) override {
    Add(L"expired " + std::to_wstring(result.removed) + L" " + std::to_wstring(result.failed));
  }
  void OnRecordingStarted() override { Add(L"started"); }
  void OnRecordingResumed(bool) override { Add(L"resumed"); }
  void OnRecordingPaused() override { Add(L"paused"); }
  void OnRecordingFinishing() override { Add(L"finishing"); }
  void OnRecordingStopped() override { Add(L"stopped"); }
  void OnRecordingFinished(const FinishedRecording& recording) override {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(recording);
    events_.push_back(L"finished");
  }
  void OnRecordingFailed(RecordingFailure, bool) override { Add(L"failed"); }
  void OnRecordingsRecovered(const RecoveryReport& report) override {
    Add(L"recovered " + std::to_wstring(report.recovered.size()));
  }

  std::vector<std::wstring> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // The events told so far but those of the client's state, which come when
  // they come.
  std::vector<std::wstring> told() const {
    std::vector<std::wstring> all = events(), kept;
    for (const std::wstring& event : all)
      if (event != L"client") kept.push_back(event);
    return kept;
  }
  bool Heard(const std::wstring& event) const {
    std::vector<std::wstring> all = events();
    return std::find(all.begin(), all.end(), event) != all.end();
  }
  std::vector<FinishedRecording> finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
  }

 private:
  void Add(std::wstring event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  mutable std::mutex mutex_;
  std::vector<std::wstring> events_;
  std::vector<FinishedRecording> finished_;
};

// The client: answers every command and writes it down by the API window it
// went to, so that two recorders' links are told apart.
class Client {
 public:
  Client() {
    SkypeClientStandIn standIn;
    standIn.command = [this](WindowId api, WindowId, const std::string& data) {
      std::lock_guard<std::mutex> lock(mutex_);
      commands_[api].push_back(WideFromUtf8(data.substr(0, data.find('\0'))));
      return true;
    };
    SetSkypeClientStandIn(standIn);
  }
  ~Client() { SetSkypeClientStandIn({}); }
  std::vector<std::wstring> commands(WindowId api) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = commands_.find(api);
    return found == commands_.end() ? std::vector<std::wstring>() : found->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<WindowId, std::vector<std::wstring>> commands_;
};

// One recorder in a folder of its own, attached to the client through `api`,
// its servers on the ports it prefers (0: any) or, with `listenFaults`, unable
// to listen on that many ports.
struct Station {
  Station(WindowId api, const std::wstring& name, uint16_t outPort = 0, uint16_t inPort = 0, int listenFaults = 0,
          ConnectionOwners* owners = nullptr)
      : api(api) {
    std::wstring config = dir.file(name + L".ini");
    std::wstring records = dir.file(name);
    // Every call is recorded.
    EXPECT_TRUE(WriteFileBytes(config, "[Setting]\r\nRecordFormat=16\r\nAutoRecord=1\r\nWavePath=" +
                                           Utf8FromWide(records) + "\r\n"));
    recorder = std::make_unique<CallRecorder>(app, RecorderPlaces{config, LanguageIniPath(), outPort, inPort},
                                              RecorderDevices{nullptr, nullptr, owners});
    recorder->LoadSettings();
    EXPECT_TRUE(recorder->session().AllocateHandoffs());
    if (listenFaults > 0) recorder->server(Direction::In).eventSocket().InjectFault(SocketOp::Listen, 10055, listenFaults);
    start = recorder->StartAudioServers();
    recorder->link().messageWindow = 0x100 + api;
    recorder->link().OnAttachStatus(api, kAttachSuccess);
    recorder->StartLinkThreads();
    folder = records;
  }
  // What the client's window hands to the link, as the message window would.
  void Notify(const std::string& text) {
    EXPECT_TRUE(recorder->link().OnCopyData(api, text.c_str(), text.size() + 1));
  }
  uint16_t Port(Direction d) { return recorder->server(d).ListeningPort(); }

  WindowId api;
  AudioServersStart start;
  TempDir dir;
  App app;
  std::unique_ptr<CallRecorder> recorder;
  std::wstring folder;
};

std::string Tone(int16_t value, size_t samples) {
  std::string bytes;
  for (size_t i = 0; i < samples; ++i) {
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
  }
  return bytes;
}

// The port of the ALTER CALL command that asks for this direction's audio
// ("SET_OUTPUT": the far end, "SET_CAPTURE_MIC": the microphone); 0 without one.
uint16_t AskedPort(const std::vector<std::wstring>& commands, const std::wstring& kind) {
  for (const std::wstring& command : commands) {
    size_t at = command.find(L" port=\"");
    if (command.rfind(L"ALTER CALL ", 0) != 0 || command.find(kind) == std::wstring::npos || at == std::wstring::npos)
      continue;
    return static_cast<uint16_t>(std::stoi(command.substr(at + 7)));
  }
  return 0;
}

// The only file of the folder with this end.
std::wstring OnlyFileEndingWith(const std::wstring& folder, const std::wstring& end) {
  std::wstring found;
  for (const std::wstring& name : FilesInFolder(folder))
    if (name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0) {
      EXPECT_TRUE(found.empty()) << "more than one";
      found = folder + L"\\" + name;
    }
  return found;
}

}  // namespace

// Two recorders in one process, each with its own settings, link, calls,
// servers and session, record two calls at the same time: nothing of one
// reaches the other. The second wants the ports the first listens on, listens
// on others, and asks its client for those.
TEST(CallRecorder, TwoRecordersRecordTheirOwnCallsSideBySide) {
  Client client;
  Station first(0x51, L"first");
  ASSERT_TRUE(first.start.out && first.start.in);
  Station second(0x52, L"second", first.Port(Direction::Out), first.Port(Direction::In));
  ASSERT_TRUE(second.start.out && second.start.in);
  EXPECT_EQ(second.start.out.ownPortCode, kWsaEAddrInUse);
  EXPECT_EQ(second.start.in.ownPortCode, kWsaEAddrInUse);
  EXPECT_NE(second.Port(Direction::Out), first.Port(Direction::Out));
  EXPECT_NE(second.Port(Direction::In), first.Port(Direction::In));
  first.Notify("CALL 7 STATUS INPROGRESS");
  second.Notify("CALL 9 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return first.recorder->session().Exists() && second.recorder->session().Exists(); }));
  first.Notify("CALL 7 PARTNER_HANDLE alice");
  second.Notify("CALL 9 PARTNER_HANDLE live:bob");
  ASSERT_TRUE(WaitUntil([&] { return first.recorder->calls().PartnerList() == L"alice"; }));
  ASSERT_TRUE(WaitUntil([&] { return second.recorder->calls().PartnerList() == L"live_bob"; }));

  // Each call's audio: the far end and the microphone of each.
  const std::string farA = Tone(1000, 8000), micA = Tone(20, 6000), farB = Tone(-300, 5000), micB = Tone(7, 9000);
  {
    // The client sends each direction where the command asked it to.
    ASSERT_TRUE(WaitUntil([&] { return client.commands(first.api).size() == 4 && client.commands(second.api).size() == 4; }));
    TestPeer outA, inA, outB, inB;
    ASSERT_TRUE(outA.Connect(AskedPort(client.commands(first.api), L"SET_OUTPUT")));
    ASSERT_TRUE(inA.Connect(AskedPort(client.commands(first.api), L"SET_CAPTURE_MIC")));
    ASSERT_TRUE(outB.Connect(AskedPort(client.commands(second.api), L"SET_OUTPUT")));
    ASSERT_TRUE(inB.Connect(AskedPort(client.commands(second.api), L"SET_CAPTURE_MIC")));
    ASSERT_TRUE(outA.SendAll(farA) && inA.SendAll(micA) && outB.SendAll(farB) && inB.SendAll(micB));
    // Everything sent has reached each direction's hand-off before the calls
    // end. (Well under a block: what the writer has written of it still counts.)
    auto received = [](Station& s, Direction d) { return HeaderCount(s.recorder->session().Handoff(d).HandoffHeader()); };
    ASSERT_TRUE(WaitUntil([&] {
      return received(first, Direction::Out) == farA.size() && received(first, Direction::In) == micA.size() &&
             received(second, Direction::Out) == farB.size() && received(second, Direction::In) == micB.size();
    }));
  }
  first.Notify("CALL 7 STATUS FINISHED");
  second.Notify("CALL 9 STATUS FINISHED");
  ASSERT_TRUE(WaitUntil([&] { return first.app.finished().size() == 1 && second.app.finished().size() == 1; }));

  auto sample = [](const std::string& bytes, size_t i) {
    if (i >= bytes.size()) return 0;
    return static_cast<int>(static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) |
                                                                       (static_cast<uint8_t>(bytes[i + 1]) << 8))));
  };
  auto mixed = [&sample](const std::string& far, const std::string& mic) {
    std::string out;
    for (size_t i = 0; i < std::max(far.size(), mic.size()); i += 2) {
      int a = sample(far, i), b = sample(mic, i);
      int s = std::max(-32768, std::min(32767, a + b));
      out.push_back(static_cast<char>(s & 0xFF));
      out.push_back(static_cast<char>((s >> 8) & 0xFF));
    }
    return out;
  };
  std::wstring a = OnlyFileEndingWith(first.folder, L"(alice).wav"), b = OnlyFileEndingWith(second.folder, L"(live_bob).wav");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  std::string wavA = ReadFileBytes(a), wavB = ReadFileBytes(b);
  ASSERT_GE(wavA.size(), kWaveHeaderBytes);
  ASSERT_GE(wavB.size(), kWaveHeaderBytes);
  EXPECT_TRUE(wavA.substr(kWaveHeaderBytes) == mixed(farA, micA));
  EXPECT_TRUE(wavB.substr(kWaveHeaderBytes) == mixed(farB, micB));
  EXPECT_EQ(first.app.finished()[0].recording, a);
  EXPECT_EQ(first.app.finished()[0].folder, first.folder);
  // Nothing else is left in either folder: no stream file, no side file.
  EXPECT_EQ(FilesInFolder(first.folder).size(), 1u);
  EXPECT_EQ(FilesInFolder(second.folder).size(), 1u);

  // Each link asked its own client window for its own call's audio, after the
  // recording had started.
  for (auto [station, id] : {std::pair<Station*, int>{&first, 7}, {&second, 9}}) {
    std::vector<std::wstring> sent = client.commands(station->api);
    std::wstring n = std::to_wstring(id);
    std::wstring out = std::to_wstring(station->Port(Direction::Out)), in = std::to_wstring(station->Port(Direction::In));
    EXPECT_EQ(sent, (std::vector<std::wstring>{L"GET CURRENTUSERHANDLE", L"GET CALL " + n + L" PARTNER_HANDLE",
                                               L"ALTER CALL " + n + L" SET_OUTPUT SOUNDCARD=\"default\" port=\"" + out + L"\"",
                                               L"ALTER CALL " + n + L" SET_CAPTURE_MIC port=\"" + in + L"\""}));
    EXPECT_EQ(station->app.told(), (std::vector<std::wstring>{L"call started", L"starting", L"started", L"partner",
                                                              L"calls ended", L"finishing", L"stopped", L"finished"}));
  }
}

// No port for the microphone at all: the call is followed, but nothing
// pretends to record it: no start, no audio asked for that cannot arrive, no
// file; the far end's port is still asked for by a call that only records
// the far end.
TEST(CallRecorder, WithoutAPortForADirectionNoRecordingStarts) {
  Client client;
  Station station(0x71, L"deaf", 0, 0, 2);
  ASSERT_TRUE(station.start.out);
  EXPECT_FALSE(station.start.in);
  EXPECT_EQ(station.start.in.failure, ServerStart::kListenFailed);
  station.Notify("CALL 4 STATUS INPROGRESS");
  // The recorder has decided before the audio is asked for.
  ASSERT_TRUE(WaitUntil([&] { return client.commands(station.api).size() == 3; }));
  EXPECT_EQ(station.app.told(), (std::vector<std::wstring>{L"call started", L"starting", L"no audio"}));
  EXPECT_FALSE(station.recorder->session().Exists());
  EXPECT_EQ(AskedPort(client.commands(station.api), L"SET_CAPTURE_MIC"), 0);
  EXPECT_EQ(AskedPort(client.commands(station.api), L"SET_OUTPUT"), station.Port(Direction::Out));
  station.Notify("CALL 4 STATUS FINISHED");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"calls ended"); }));
  EXPECT_TRUE(FilesInFolder(station.folder).empty());

  // Only the far end is wanted: that can be recorded.
  ASSERT_TRUE(WriteFileBytes(station.dir.file(L"deaf.ini"),
                             "[Setting]\r\nRecordFormat=16\r\nAutoRecord=1\r\nRecordWay=2\r\nWavePath=" +
                                 Utf8FromWide(station.folder) + "\r\n"));
  station.recorder->LoadSettings();
  station.Notify("CALL 5 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return client.commands(station.api).size() == 5; }));
  EXPECT_TRUE(station.recorder->session().Exists()) << "started before the audio was asked for";
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"started"); }));
  station.Notify("CALL 5 STATUS FINISHED");
  ASSERT_TRUE(WaitUntil([&] { return station.app.finished().size() == 1; }));
  EXPECT_FALSE(station.app.finished()[0].recording.empty());
}

// Where the system names the owners of connections, the recorder hears only
// the process of the client its link is attached to: another program's
// connection to an audio port is closed unread in the middle of the call, and
// the recording is the client's audio byte for byte.
TEST(CallRecorder, OnlyTheAttachedClientsProcessIsHeardOnTheAudioPorts) {
  Client client;
  SkypeClientStandIn standIn = CurrentSkypeClientStandIn();
  standIn.windowProcess = [](WindowId api) { return api == 0x91 ? 4242u : 0u; };
  SetSkypeClientStandIn(standIn);
  FakeConnectionOwners owners;
  Station station(0x91, L"owned", 0, 0, 0, &owners);
  station.Notify("CALL 6 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return client.commands(station.api).size() == 4; }));
  const std::string far = Tone(1200, 6000), mic = Tone(-40, 6000);
  TestPeer out, in, stranger;
  owners.Set(out.Bind(), 4242);
  owners.Set(in.Bind(), 4242);
  owners.Set(stranger.Bind(), 777);
  ASSERT_TRUE(out.Connect(AskedPort(client.commands(station.api), L"SET_OUTPUT")));
  ASSERT_TRUE(in.Connect(AskedPort(client.commands(station.api), L"SET_CAPTURE_MIC")));
  ASSERT_TRUE(out.SendAll(far.substr(0, 4000)));
  ASSERT_TRUE(stranger.Connect(station.Port(Direction::Out)));
  stranger.SendAll(Tone(9999, 3200));
  EXPECT_TRUE(stranger.WaitDroppedByServer(kGenerousDeadline));
  ASSERT_TRUE(out.SendAll(far.substr(4000)) && in.SendAll(mic));
  auto received = [&](Direction d) { return HeaderCount(station.recorder->session().Handoff(d).HandoffHeader()); };
  ASSERT_TRUE(WaitUntil([&] { return received(Direction::Out) == far.size() && received(Direction::In) == mic.size(); }));
  station.Notify("CALL 6 STATUS FINISHED");
  ASSERT_TRUE(WaitUntil([&] { return station.app.finished().size() == 1; }));
  std::string wav = ReadFileBytes(station.app.finished()[0].recording);
  ASSERT_EQ(wav.size(), kWaveHeaderBytes + far.size());
  EXPECT_TRUE(wav.substr(kWaveHeaderBytes) == Tone(1160, 6000)) << "the far end and the microphone, mixed";
  EXPECT_EQ(station.recorder->server(Direction::Out).eventSocket().refusedConnections(), 1u);
  EXPECT_EQ(station.recorder->server(Direction::In).eventSocket().refusedConnections(), 0u);
}

// The exit in the middle of a call: Shutdown stops the link and the servers
// and leaves the recording finished on the disk, every byte that arrived in it.
TEST(CallRecorder, ShutdownDuringACallFinishesTheRecording) {
  Client client;
  Station station(0x61, L"exit");
  station.Notify("CALL 3 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return station.recorder->session().Exists(); }));
  const std::string far = Tone(500, 4000);
  TestPeer out;
  ASSERT_TRUE(out.Connect(station.Port(Direction::Out)));
  ASSERT_TRUE(out.SendAll(far));
  ASSERT_TRUE(WaitUntil([&] {
    return HeaderCount(station.recorder->session().Handoff(Direction::Out).HandoffHeader()) == far.size();
  }));
  EXPECT_TRUE(station.recorder->Shutdown());
  EXPECT_FALSE(station.recorder->session().Exists());
  EXPECT_TRUE(out.WaitDroppedByServer(kGenerousDeadline)) << "the servers are closed";
  std::wstring recording = OnlyFileEndingWith(station.folder, L"().wav");
  ASSERT_FALSE(recording.empty());
  std::string wav = ReadFileBytes(recording);
  ASSERT_EQ(wav.size(), kWaveHeaderBytes + far.size());
  EXPECT_TRUE(wav.substr(kWaveHeaderBytes) == far) << "the microphone's silence mixed with the far end";
  EXPECT_EQ(station.app.finished().size(), 1u);
}

// --- The computer's sound ------------------------------------------------------

// A call app opens the microphone: the recorder starts a recording of the
// computer's sound named after it, with the far end from the loopback and the
// near end from the microphone, each in its own channel and on one clock; a
// call the client reports meanwhile is not asked for its audio. Five seconds
// after the app lets the microphone go, the recording ends.
TEST(CallRecorder, AComputersSoundRecordingStartsAndEndsWithTheCallAppAndKeepsBothDirectionsAligned) {
  Client client;
  TempDir dir;
  const std::wstring config = dir.file(L"sound.ini");
  const std::wstring records = dir.file(L"records");
  ASSERT_TRUE(WriteFileBytes(config, "[Setting]\r\nRecordFormat=16\r\nSaveLF=1\r\nAutoRecord=1\r\nCaptureSource=1\r\n"
                                     "AutoRecordApps=Teams.exe\r\nWavePath=" + Utf8FromWide(records) + "\r\n"));
  fake_sound::ClockDevices devices;
  // The far end: 1000 on every sample, a pulse each 100 ms of the clock; the
  // microphone: -2000, with the same pulses.
  devices.farSignal = [](int64_t k) -> int16_t { return k % 1600 == 0 ? 20000 : 1000; };
  devices.nearSignal = [](int64_t k) -> int16_t { return k % 1600 == 0 ? 20000 : -2000; };
  fake_sound::Sessions sessions;
  App app;
  CallRecorder recorder(app, RecorderPlaces{config, LanguageIniPath(), 0, 0}, RecorderDevices{&devices, &sessions});
  recorder.LoadSettings();
  ASSERT_TRUE(recorder.session().AllocateHandoffs());
  ASSERT_TRUE(recorder.StartAudioServers().out);
  recorder.link().messageWindow = 0x171;
  recorder.link().OnAttachStatus(0x71, kAttachSuccess);
  recorder.StartLinkThreads();
  EXPECT_TRUE(recorder.RecordsSound());

  // Teams opens the microphone (the recorder's own session does not count).
  sessions.Set({{CurrentProcessId(), L"CalvoroRecord.exe", true}, {4242, L"Teams.exe", true}});
  ASSERT_TRUE(WaitUntil([&] { return app.Heard(L"started"); }));
  // The client reports a call meanwhile: it is not asked for its audio.
  std::string notify = "CALL 9 STATUS INPROGRESS";
  EXPECT_TRUE(recorder.link().OnCopyData(0x71, notify.c_str(), notify.size() + 1));
  uint64_t size = 0;
  ASSERT_TRUE(WaitUntil([&] {
    return recorder.session().Writer(Direction::In) &&
           QueryFileSize(recorder.session().BasePath() + L"_In.sky", size) && size > kWaveHeaderBytes + 3 * 32000;
  }));

  // Teams lets go; five seconds later the recording ends, both directions
  // held at one sample first.
  sessions.Set({});
  ASSERT_TRUE(WaitUntil([&] { return app.finished().size() == 1; }));
  EXPECT_EQ(app.told(), (std::vector<std::wstring>{L"call started", L"starting", L"started", L"holding to stop",
                                                   L"finishing", L"stopped", L"finished"}));
  EXPECT_FALSE(recorder.capture().InProgress());
  EXPECT_EQ(AskedPort(client.commands(0x71), L"SET_OUTPUT"), 0);
  EXPECT_EQ(AskedPort(client.commands(0x71), L"SET_CAPTURE_MIC"), 0);

  const std::wstring recording = OnlyFileEndingWith(records, L"(Teams).wav");
  ASSERT_FALSE(recording.empty());
  const std::string wav = ReadFileBytes(recording);
  ASSERT_GT(wav.size(), kWaveHeaderBytes);
  EXPECT_EQ(static_cast<uint8_t>(wav[22]), 2) << "stereo";
  const size_t frames = (wav.size() - kWaveHeaderBytes) / 4;
  EXPECT_GT(frames, 16000u * 5) << "the delay after the app let go is recorded too";
  size_t bothPulses = 0, farOnly = 0, heard = 0;
  for (size_t i = 0; i < frames; ++i) {
    const auto at = [&](size_t byte) {
      return static_cast<int16_t>(static_cast<uint8_t>(wav[byte]) | (static_cast<uint8_t>(wav[byte + 1]) << 8));
    };
    const int16_t left = at(kWaveHeaderBytes + 4 * i), right = at(kWaveHeaderBytes + 4 * i + 2);
    if (left == 20000 && right == 20000) ++bothPulses;
    if (left == 20000 && right == -2000) ++farOnly;
    if (left == 1000 && right == -2000) ++heard;
  }
  EXPECT_GT(heard, 16000u * 4) << "the far end left, the microphone right";
  EXPECT_GE(bothPulses, 40u);
  EXPECT_EQ(farOnly, 0u) << "a far-end pulse with the microphone's audio beside it but not its pulse";
  EXPECT_TRUE(recorder.Shutdown());
}

// The contact rule decides on the partners of every call in progress, and
// waits until each call's partner is known: RecordContacts=2 with bob listed
// skips bob's call and tells so, and records the conference once alice joins
// it.
TEST(CallRecorder, TheContactRuleWaitsForEveryPartnerAndTakesAConferenceWithAnyoneUnlisted) {
  Client client;
  Station station(0xA1, L"rules");
  ASSERT_TRUE(WriteFileBytes(station.dir.file(L"rules.ini"),
                             "[Setting]\r\nRecordFormat=16\r\nAutoRecord=1\r\nRecordContacts=2\r\n"
                             "ContactList=carol, BOB\r\nWavePath=" + Utf8FromWide(station.folder) + "\r\n"));
  station.recorder->LoadSettings();
  auto verdict = [&] { return station.recorder->ContactRuleVerdict(); };
  EXPECT_TRUE(verdict().decided) << "no call: nothing to wait for";

  station.Notify("CALL 11 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"call started"); }));
  EXPECT_FALSE(verdict().decided);
  station.Notify("CALL 11 PARTNER_HANDLE bob");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"skipped bob"); }));
  EXPECT_FALSE(station.recorder->session().Exists());
  EXPECT_FALSE(station.app.Heard(L"starting"));

  station.Notify("CALL 12 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return station.recorder->calls().activeCallCount.load() == 2; }));
  EXPECT_FALSE(verdict().decided) << "the second call's partner is not known yet";
  EXPECT_FALSE(station.recorder->session().Exists());
  station.Notify("CALL 12 PARTNER_HANDLE alice");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"started"); }));
  EXPECT_EQ(verdict().partners, L"bob alice");
  EXPECT_TRUE(verdict().record);

  for (const char* end : {"CALL 11 STATUS FINISHED", "CALL 12 STATUS FINISHED"}) station.Notify(end);
  ASSERT_TRUE(WaitUntil([&] { return station.app.finished().size() == 1; }));
  EXPECT_FALSE(OnlyFileEndingWith(station.folder, L"(bob alice).wav").empty());
}

// A partner the client never names: the rule waits three seconds of the
// recorder's clock, no less, then decides on what it knows, and tells of the
// skipped call; Record still records it by hand.
TEST(CallRecorder, TheContactRuleGivesUpWaitingAfterThreeSecondsAndRecordStillRecords) {
  Client client;
  Station station(0xA2, L"wait");
  std::atomic<int64_t> ms{0};
  const auto origin = RecorderLoop::Clock::now();
  station.recorder->loop().SetClock([&] { return origin + std::chrono::milliseconds(ms.load()); });
  auto moveClock = [&](int64_t by) {
    ms += by;
    station.recorder->loop().ClockMoved();
  };
  ASSERT_TRUE(WriteFileBytes(station.dir.file(L"wait.ini"),
                             "[Setting]\r\nRecordFormat=16\r\nAutoRecord=1\r\nRecordContacts=1\r\n"
                             "ContactList=alice\r\nWavePath=" + Utf8FromWide(station.folder) + "\r\n"));
  station.recorder->LoadSettings();

  station.Notify("CALL 21 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"call started"); }));
  moveClock(2999);
  ASSERT_TRUE(WaitUntil([&] { return station.recorder->loop().Idle(); }));
  EXPECT_EQ(station.app.told(), std::vector<std::wstring>{L"call started"}) << "still waiting for the partner";
  moveClock(1);
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"skipped "); }));
  EXPECT_FALSE(station.recorder->session().Exists());

  station.recorder->Record();
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"started"); }));
  station.Notify("CALL 21 STATUS FINISHED");
  ASSERT_TRUE(WaitUntil([&] { return station.app.finished().size() == 1; }));
}

// Record, Pause, Record and Stop as the buttons give them: Record without a
// call starts nothing and says so; on a call it starts, a pause keeps the
// writers, Record lets it go on, Stop finishes it; once the exit has begun a
// new call is not recorded.
TEST(CallRecorder, RecordPauseResumeStopAndTheExitAreDecidedByTheRecorder) {
  Client client;
  Station station(0xA3, L"buttons");
  ASSERT_TRUE(WriteFileBytes(station.dir.file(L"buttons.ini"),
                             "[Setting]\r\nRecordFormat=16\r\nWavePath=" + Utf8FromWide(station.folder) + "\r\n"));
  station.recorder->LoadSettings();
  station.recorder->Record();
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"nothing to record"); }));
  EXPECT_FALSE(station.recorder->session().Exists());

  station.Notify("CALL 31 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"call started"); }));
  EXPECT_FALSE(station.recorder->session().Exists()) << "AutoRecord is off";
  station.recorder->Record();
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"started"); }));
  station.recorder->Pause();
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"paused"); }));
  EXPECT_TRUE(station.recorder->Status().paused);
  station.recorder->Record();
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"resumed"); }));
  EXPECT_FALSE(station.recorder->Status().paused);
  station.recorder->Stop();
  ASSERT_TRUE(WaitUntil([&] { return station.app.finished().size() == 1; }));
  EXPECT_EQ(station.app.told(),
            (std::vector<std::wstring>{L"starting", L"nothing to record", L"call started", L"starting", L"started",
                                       L"paused", L"starting", L"resumed", L"finishing", L"stopped", L"finished"}));

  station.recorder->BeginExit();
  station.recorder->Record();
  station.Notify("CALL 31 STATUS FINISHED");
  ASSERT_TRUE(WaitUntil([&] { return station.app.Heard(L"calls ended"); }));
  ASSERT_TRUE(WaitUntil([&] { return station.recorder->loop().Idle(); }));
  EXPECT_FALSE(station.recorder->session().Exists());
  EXPECT_EQ(station.app.finished().size(), 1u);
}

// The record folder is kept to its days by the recorder itself: ten seconds of
// its clock after the start (once the recovery is done), then daily; what
// went is told.
TEST(CallRecorder, RecordingsOlderThanTheDaysToKeepGoAfterTheStartAndDaily) {
  TempDir dir, bin;
  const std::wstring records = dir.file(L"records");
  ASSERT_TRUE(CreateDirectoryOneLevel(records));
  ASSERT_TRUE(CreateDirectoryOneLevel(bin.path() + L"/bin"));
  std::atomic<int> recycled{0};
  OverrideRecycleBin([&](const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
      if (!MoveFileNoReplace(path, bin.file(L"bin/" + path.substr(path.find_last_of(L"\\/") + 1)))) return false;
      recycled++;
    }
    return true;
  });
  const std::wstring old = records + L"/2026年10月01日 09时00分00秒(alice).wav";
  ASSERT_TRUE(WriteFileBytes(old, "RIFF"));
  ASSERT_TRUE(SetFileModified(old, UnixTimeNow() - 3 * 86400));
  ASSERT_TRUE(WriteFileBytes(dir.file(L"keep.ini"),
                             "[Setting]\r\nRecordFormat=16\r\nKeepDays=2\r\nWavePath=" + Utf8FromWide(records) + "\r\n"));
  App app;
  CallRecorder recorder(app, RecorderPlaces{dir.file(L"keep.ini"), LanguageIniPath(), 0, 0});
  std::atomic<int64_t> ms{0};
  const auto origin = RecorderLoop::Clock::now();
  recorder.loop().SetClock([&] { return origin + std::chrono::milliseconds(ms.load()); });
  recorder.Start();
  ASSERT_TRUE(WaitUntil([&] { return app.Heard(L"recovered 0"); }));
  ms += 9999;
  recorder.loop().ClockMoved();
  ASSERT_TRUE(WaitUntil([&] { return recorder.loop().Idle(); }));
  EXPECT_TRUE(FileExists(old)) << "not before ten seconds";
  ms += 1;
  recorder.loop().ClockMoved();
  ASSERT_TRUE(WaitUntil([&] { return app.Heard(L"expired 1 0"); }));
  EXPECT_FALSE(FileExists(old));
  EXPECT_EQ(recycled.load(), 1);

  // A day later the next one goes.
  const std::wstring next = records + L"/2026年10月02日 09时00分00秒(bob).wav";
  ASSERT_TRUE(WriteFileBytes(next, "RIFF"));
  ASSERT_TRUE(SetFileModified(next, UnixTimeNow() - 3 * 86400));
  ms += 24 * 3600 * 1000;
  recorder.loop().ClockMoved();
  ASSERT_TRUE(WaitUntil([&] { return recycled.load() == 2; }));
  EXPECT_TRUE(recorder.Shutdown());
  OverrideRecycleBin(nullptr);
}
