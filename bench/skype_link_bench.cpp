// The client link's costs: parsing the notifications a call brings, taking in
// a long text, a whole call through the state machine, and the time from a
// received text to its handling on the message thread.
//   cmake --build build/native --target skype_link_bench && build/native/bin/skype_link_bench
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"
#include "skype/skype_link.h"
#include "tests/support/skype_client_standin.h"

namespace {

constexpr WindowId kApi = 0x5A;

// The application's side, doing nothing with what it is told, as cheap as the
// adapter's hand-over to the main window can be.
class IgnoredEvents : public SkypeEvents {
 public:
  void OnClientStateChanged() override {}
  void OnCallStarted() override {}
  void OnCallEnded() override {}
  void OnPartnerKnown() override {}
};

// A client of its own per benchmark, attached, whose stand-in accepts every
// command.
class AttachedClient {
 public:
  AttachedClient() : client_(settings_, events_) {
    client_.link.skypeApiWindow.store(kApi);
    client_.link.messageWindow.store(0x3C);
    SkypeClientStandIn standIn;
    standIn.command = [](WindowId, WindowId, const std::string&) { return true; };
    SetSkypeClientStandIn(standIn);
  }
  ~AttachedClient() {
    client_.StopThreads();
    SetSkypeClientStandIn({});
  }

  SettingsStore& settings() { return settings_; }
  SkypeClient& client() { return client_; }

 private:
  SettingsStore settings_;
  IgnoredEvents events_;
  SkypeClient client_;
};

// The notification a call brings every second.
void BM_DurationOfAKnownCall(benchmark::State& state) {
  AttachedClient attached;
  SkypeClient& client = attached.client();
  client.ParseMessage(L"CALL 1234 STATUS INPROGRESS");
  const std::wstring text = L"CALL 1234 DURATION 17";
  for (auto _ : state) client.ParseMessage(text);
}
BENCHMARK(BM_DurationOfAKnownCall);

// The longest text kept, from the window message to the queue and back.
void BM_ReceiveLongestText(benchmark::State& state) {
  AttachedClient attached;
  SkypeLink& link = attached.client().link;
  const std::string bytes(16000, 'x');
  std::wstring text;
  for (auto _ : state) {
    link.OnCopyData(kApi, bytes.data(), bytes.size());
    link.notificationQueue.Take(text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReceiveLongestText);

// A whole call: INPROGRESS (four commands), the partner, FINISHED (the partner
// table saved and cleared).
void BM_WholeCall(benchmark::State& state) {
  AttachedClient attached;
  attached.settings().Change([&](SettingsRecord& s) { s.hideClientWindowInCall = 1; });
  SkypeClient& client = attached.client();
  for (auto _ : state) {
    client.ParseMessage(L"CALL 77 STATUS INPROGRESS");
    client.ParseMessage(L"CALL 77 PARTNER_HANDLE echo123");
    client.ParseMessage(L"CALL 77 STATUS FINISHED");
  }
}
BENCHMARK(BM_WholeCall);

// From a received text to its handling on an idle message thread.
void BM_ReceiveToHandled(benchmark::State& state) {
  AttachedClient attached;
  std::atomic<int> handled{0};
  SkypeClientStandIn standIn;
  standIn.command = [&](WindowId, WindowId, const std::string&) {
    handled.fetch_add(1);
    return true;
  };
  SetSkypeClientStandIn(standIn);
  SkypeClient& client = attached.client();
  client.StartThreads();
  int id = 0;
  for (auto _ : state) {
    std::string text = "CALL " + std::to_string(++id) + " STATUS INPROGRESS";
    int before = handled.load();
    client.link.OnCopyData(kApi, text.c_str(), text.size() + 1);
    while (handled.load() == before) std::this_thread::yield();
    state.PauseTiming();
    // Let the rest of the call's commands go and the thread go idle again.
    while (handled.load() < before + 3) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    state.ResumeTiming();
  }
  // The threads call the stand-in, which counts into `handled`: they end first.
  client.StopThreads();
}
BENCHMARK(BM_ReceiveToHandled)->UseRealTime()->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
