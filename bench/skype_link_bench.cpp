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
#include "skype/link_threads.h"
#include "skype/skype_link.h"
#include "skype/skype_messages.h"
#include "tests/support/skype_client_standin.h"

namespace {

constexpr WindowId kApi = 0x5A;

void AttachedWithAClient() {
  ResetSkypeLinkState();
  skypeApiWindow.store(kApi);
  messageWindow.store(0x3C);
  SkypeClientStandIn standIn;
  standIn.command = [](WindowId, WindowId, const std::string&) { return true; };
  SetSkypeClientStandIn(standIn);
}

// The notification a call brings every second.
void BM_DurationOfAKnownCall(benchmark::State& state) {
  AttachedWithAClient();
  ParseMessageFromSkype(L"CALL 1234 STATUS INPROGRESS");
  const std::wstring text = L"CALL 1234 DURATION 17";
  for (auto _ : state) ParseMessageFromSkype(text);
  ResetSkypeLinkState();
}
BENCHMARK(BM_DurationOfAKnownCall);

// The longest text kept, from the window message to the queue and back.
void BM_ReceiveLongestText(benchmark::State& state) {
  AttachedWithAClient();
  const std::string bytes(16000, 'x');
  std::wstring text;
  for (auto _ : state) {
    OnCopyDataFromSkype(kApi, bytes.data(), bytes.size());
    notificationQueue.Take(text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
  ResetSkypeLinkState();
}
BENCHMARK(BM_ReceiveLongestText);

// A whole call: INPROGRESS (four commands), the partner, FINISHED (the partner
// table saved and cleared).
void BM_WholeCall(benchmark::State& state) {
  AttachedWithAClient();
  Settings.Change([&](SettingsRecord& s) { s.CloseSkypeMainWindowWhenTalking = 1; });
  for (auto _ : state) {
    ParseMessageFromSkype(L"CALL 77 STATUS INPROGRESS");
    ParseMessageFromSkype(L"CALL 77 PARTNER_HANDLE echo123");
    ParseMessageFromSkype(L"CALL 77 STATUS FINISHED");
  }
  Settings.Change([&](SettingsRecord& s) { s.CloseSkypeMainWindowWhenTalking = 0; });
  ResetSkypeLinkState();
}
BENCHMARK(BM_WholeCall);

// From a received text to its handling on an idle message thread.
void BM_ReceiveToHandled(benchmark::State& state) {
  AttachedWithAClient();
  std::atomic<int> handled{0};
  SkypeClientStandIn standIn;
  standIn.command = [&](WindowId, WindowId, const std::string&) {
    handled.fetch_add(1);
    return true;
  };
  SetSkypeClientStandIn(standIn);
  StartLinkThreads();
  int id = 0;
  for (auto _ : state) {
    std::string text = "CALL " + std::to_string(++id) + " STATUS INPROGRESS";
    int before = handled.load();
    OnCopyDataFromSkype(kApi, text.c_str(), text.size() + 1);
    while (handled.load() == before) std::this_thread::yield();
    state.PauseTiming();
    // Let the rest of the call's commands go and the thread go idle again.
    while (handled.load() < before + 3) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    state.ResumeTiming();
  }
  StopLinkThreads();
  SetSkypeClientStandIn({});
  ResetSkypeLinkState();
}
BENCHMARK(BM_ReceiveToHandled)->UseRealTime()->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
