// The two link threads: the message thread's order and its cooperative stop,
// the watcher's start-up rule and its periodic cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/link_threads.h"
#include "skype/skype_api.h"
#include "skype/skype_client.h"
#include "skype/skype_link.h"
#include "tests/skype/link_recorder.h"
#include "tests/support/skype_client_standin.h"
#include "tests/support/wait.h"

using Events = std::vector<std::wstring>;

namespace {

// What the client's window hands to the link, as the message window would.
void Receive(LinkRecorder& recorder, const std::string& text) {
  ASSERT_TRUE(recorder.link().OnCopyData(LinkRecorder::kApiWindow, text.c_str(), text.size() + 1));
}

// A gate a hook can wait at until the test opens it.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void Pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    reached_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  bool Reached() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reached_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  bool reached_ = false;
};

// Opens a gate when the test ends, however it ends: a thread held at the gate
// must be let go before the client that it runs for is destroyed, which waits
// for it. Declare the gate before the recorder and this after it.
class OpenOnExit {
 public:
  explicit OpenOnExit(Gate& gate) : gate_(gate) {}
  ~OpenOnExit() { gate_.Open(); }

 private:
  Gate& gate_;
};

// Starts the client's threads; declared after the stand-ins they use, so that
// the threads are stopped before those go.
class RunningLinkThreads {
 public:
  explicit RunningLinkThreads(SkypeClient& client) : client_(client) { client_.StartThreads(); }
  ~RunningLinkThreads() { EXPECT_TRUE(client_.StopThreads()); }

 private:
  SkypeClient& client_;
};

Events Started(int id) {
  std::wstring n = std::to_wstring(id);
  return {L"> GET CALL " + n + L" PARTNER_HANDLE", L"STARTED",
          L"> ALTER CALL " + n + L" SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"",
          L"> ALTER CALL " + n + L" SET_CAPTURE_MIC port=\"7285\""};
}

}  // namespace

TEST(LinkThreads, TheMessageThreadHandlesReceivedTextsInOrder) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  link.messageWindow.store(LinkRecorder::kMessageWindow);
  RunningLinkThreads threads(recorder.client());
  // The user-interface thread's part: the attach and the received texts.
  link.OnAttachStatus(LinkRecorder::kApiWindow, kAttachSuccess);
  Receive(recorder, "CURRENTUSERHANDLE alice");
  Receive(recorder, "CALL 8 STATUS RINGING");
  Receive(recorder, "CALL 8 STATUS INPROGRESS");
  Receive(recorder, "CALL 8 PARTNER_HANDLE bob");
  Receive(recorder, "CALL 8 DURATION 1");
  Receive(recorder, "CALL 8 STATUS FINISHED");
  const Events expected{L"> GET CURRENTUSERHANDLE",
                        L"STATUS",
                        L"> GET CALL 8 PARTNER_HANDLE",
                        L"STARTED",
                        L"> ALTER CALL 8 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"",
                        L"> ALTER CALL 8 SET_CAPTURE_MIC port=\"7285\"",
                        L"PARTNER",
                        L"ENDED"};
  ASSERT_TRUE(recorder.waitForEvents(expected.size()));
  EXPECT_EQ(recorder.events(), expected);
  // The count the application saw at STATUS, STARTED, PARTNER and ENDED.
  EXPECT_EQ(recorder.countsSeen(), (std::vector<int32_t>{0, 1, 1, 0}));
  EXPECT_EQ(link.attached.load(), 1u);
  EXPECT_EQ(recorder.calls().finishedCallPartners.Get(0), L"bob");
  EXPECT_TRUE(link.notificationQueue.Empty());
}

TEST(LinkThreads, TextsFromManyThreadsAreAllHandledEachInItsOrder) {
  LinkRecorder recorder;
  RunningLinkThreads threads(recorder.client());
  constexpr int kThreads = 4, kCallsEach = 60;
  std::vector<std::thread> senders;
  SkypeLink& link = recorder.link();
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([t, &link] {
      for (int i = 0; i < kCallsEach; ++i) {
        std::string id = std::to_string(t * 1000 + i);
        std::string a = "CALL " + id + " STATUS INPROGRESS", b = "CALL " + id + " STATUS FINISHED";
        link.OnCopyData(LinkRecorder::kApiWindow, a.c_str(), a.size() + 1);
        link.OnCopyData(LinkRecorder::kApiWindow, b.c_str(), b.size() + 1);
      }
    });
  for (auto& s : senders) s.join();
  // Each call: a partner request, two audio requests, a start and an end.
  ASSERT_TRUE(recorder.waitForEvents(kThreads * kCallsEach * 5));
  std::vector<int> last(kThreads, -1);
  int partnerRequests = 0;
  for (const std::wstring& e : recorder.events()) {
    if (e.rfind(L"> GET CALL ", 0) != 0) continue;
    int id = std::stoi(e.substr(11));
    EXPECT_GT(id % 1000, last[id / 1000]) << "calls of one sender out of order";
    last[id / 1000] = id % 1000;
    ++partnerRequests;
  }
  EXPECT_EQ(partnerRequests, kThreads * kCallsEach);
  EXPECT_EQ(recorder.count(L"STARTED"), static_cast<size_t>(kThreads * kCallsEach));
  EXPECT_EQ(recorder.count(L"ENDED"), static_cast<size_t>(kThreads * kCallsEach));
  EXPECT_EQ(recorder.calls().activeCallCount.load(), 0);
  EXPECT_TRUE(recorder.calls().activeCallIds.Snapshot().empty());
}

TEST(LinkThreads, StoppingLetsAHandlerInProgressFinishAndDropsWhatIsQueued) {
  Gate gate;
  LinkRecorder recorder;
  OpenOnExit release(gate);
  recorder.onEvent([&](const std::wstring& event) {
    if (event == L"STARTED") gate.Pass();
  });
  RunningLinkThreads threads(recorder.client());
  Receive(recorder, "CALL 1 STATUS INPROGRESS");
  Receive(recorder, "CALL 2 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return gate.Reached(); }));
  // The message thread now waits for the application, inside the handling of
  // call 1. A stop asked for now lets that handling end whole.
  std::atomic<bool> stopWaits{false};
  SkypeClientStandIn standIn = CurrentSkypeClientStandIn();
  standIn.waitBegins = [&] { stopWaits.store(true); };
  SetSkypeClientStandIn(standIn);
  std::atomic<bool> stopped{false}, returned{false};
  std::thread stopper([&] {
    stopped.store(recorder.client().StopThreads());
    returned.store(true);
  });
  // The stop is asked for and waits for the handling in progress.
  EXPECT_TRUE(WaitUntil([&] { return stopWaits.load(); }));
  EXPECT_FALSE(returned.load());
  gate.Open();
  stopper.join();
  standIn.waitBegins = nullptr;
  SetSkypeClientStandIn(standIn);
  EXPECT_TRUE(stopped.load());
  EXPECT_EQ(recorder.events(), Started(1));
  EXPECT_EQ(recorder.link().notificationQueue.Size(), 1u) << "call 2 was never taken";
  EXPECT_EQ(recorder.calls().activeCallIds.Snapshot(), std::vector<int32_t>{1});
}

TEST(LinkThreads, AThreadThatCannotStopInTimeIsLeftAndReported) {
  Gate gate;
  LinkRecorder recorder;
  OpenOnExit release(gate);
  recorder.onCommand([&](const std::string&) { gate.Pass(); });
  SkypeClient& client = recorder.client();
  RunningLinkThreads threads(client);
  Receive(recorder, "CALL 1 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return gate.Reached(); }));
  // The client does not answer: the stop gives up after its deadline.
  EXPECT_FALSE(client.StopThreads(std::chrono::milliseconds(50)));
  // A new start is a new pair of threads; the old one ends on its own once the
  // client answers, without handling anything more.
  Receive(recorder, "CALL 2 STATUS INPROGRESS");
  client.StartThreads();
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] {
    Events e = recorder.events();
    return std::find(e.begin(), e.end(), L"> GET CALL 2 PARTNER_HANDLE") != e.end();
  }));
  EXPECT_TRUE(client.StopThreads());
  Events events = recorder.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), L"> GET CALL 1 PARTNER_HANDLE"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), L"> GET CALL 2 PARTNER_HANDLE"), 1);
  recorder.onCommand(nullptr);
  // The old thread finishes its call whole: the start and the audio requests.
  ASSERT_TRUE(WaitUntil([&] {
    return recorder.count(L"STARTED") == 2 &&
           recorder.count(L"> ALTER CALL 1 SET_CAPTURE_MIC port=\"7285\"") == 1;
  }));
  EXPECT_EQ(recorder.calls().activeCallIds.Snapshot(), (std::vector<int32_t>{1, 2}));
}

TEST(LinkThreads, StartTwiceIsOneRunAndARestartWorks) {
  LinkRecorder recorder;
  SkypeClient& client = recorder.client();
  RunningLinkThreads threads(client);
  client.StartThreads();
  Receive(recorder, "CALL 1 STATUS INPROGRESS");
  ASSERT_TRUE(recorder.waitForEvents(Started(1).size()));
  EXPECT_TRUE(client.StopThreads());
  EXPECT_TRUE(client.StopThreads()) << "stopping again is harmless";
  Receive(recorder, "CALL 1 STATUS FINISHED");
  EXPECT_EQ(recorder.link().notificationQueue.Size(), 1u) << "no thread of the first start is left";
  client.StartThreads();
  ASSERT_TRUE(recorder.waitForEvents(Started(1).size() + 1));
  EXPECT_EQ(recorder.calls().activeCallCount.load(), 0);
  Events expected = Started(1);
  expected.push_back(L"ENDED");
  EXPECT_EQ(recorder.events(), expected);
}

// --- The watcher -------------------------------------------------------------

namespace {

// The watcher's client side: what it finds and what it is asked to do, in order.
struct WatchedClient {
  std::mutex mutex;
  std::vector<std::wstring> log;
  std::atomic<WindowId> mainWindow{0};
  std::atomic<bool> installed{true};

  void Add(std::wstring e) {
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back(std::move(e));
  }
  std::vector<std::wstring> Log() {
    std::lock_guard<std::mutex> lock(mutex);
    return log;
  }
  size_t Count(const std::wstring& e) {
    auto l = Log();
    return static_cast<size_t>(std::count(l.begin(), l.end(), e));
  }
  void Install() {
    SkypeClientStandIn standIn = CurrentSkypeClientStandIn();
    standIn.discover = [this](WindowId from) { Add(L"discover " + std::to_wstring(from)); };
    standIn.closeCallQualityWindows = [this] { Add(L"close"); };
    standIn.findMainWindow = [this] { return mainWindow.load(); };
    standIn.skypePath = [this](std::wstring& path) {
      path = L"C:\\Program Files\\Skype\\skype.exe";
      return installed.load();
    };
    standIn.shellOpen = [this](const std::wstring& target) { Add(L"open " + target); };
    SetSkypeClientStandIn(standIn);
  }
};

}  // namespace

TEST(LinkThreads, TheWatcherBroadcastsWhileNotAttachedAndClosesQualityWindowsEveryCycle) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  WatchedClient client;
  client.Install();
  recorder.settings().Change([&](SettingsRecord& s) { s.closeCallQualityWindow = 1; });
  RunningLinkThreads threads(recorder.client());
  // First cycle: no message window yet, so no broadcast.
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 1; }));
  link.messageWindow.store(0x3C);
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 2; }));
  link.attached.store(1);
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 3; }));
  recorder.settings().Change([&](SettingsRecord& s) { s.closeCallQualityWindow = 0; });
  link.attached.store(0);
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"discover 60") == 2; }));
  EXPECT_EQ(client.Log(), (Events{L"close", L"discover 60", L"close", L"close", L"discover 60"}));
}

TEST(LinkThreads, TheWatcherStartsTheClientAgainOnlyWhenItsWindowAndPathAreThere) {
  struct Case {
    WindowId window;
    bool installed;
    bool opened;
  };
  for (Case c : {Case{0x99, true, true}, Case{0, true, false}, Case{0x99, false, false}}) {
    LinkRecorder recorder(/*attach=*/false);
    WatchedClient client;
    client.mainWindow.store(c.window);
    client.installed.store(c.installed);
    client.Install();
    recorder.settings().Change([&](SettingsRecord& s) { s.closeCallQualityWindow = 1; });
    RunningLinkThreads threads(recorder.client());
    ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 1; }));
    EXPECT_TRUE(recorder.client().StopThreads());
    Events expected;
    if (c.opened) expected.push_back(L"open C:\\Program Files\\Skype\\skype.exe");
    expected.push_back(L"close");
    EXPECT_EQ(client.Log(), expected) << c.window << " " << c.installed;
  }
}

TEST(LinkThreads, StopEndsTheWatcherInTheMiddleOfItsSleep) {
  LinkRecorder recorder(/*attach=*/false);
  WatchedClient client;
  client.Install();
  recorder.settings().Change([&](SettingsRecord& s) { s.closeCallQualityWindow = 1; });
  RunningLinkThreads threads(recorder.client());
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 1; }));
  // The watcher sleeps 2000 ms between cycles; a stop does not wait for that.
  EXPECT_TRUE(recorder.client().StopThreads(std::chrono::milliseconds(1500)));
  EXPECT_EQ(client.Count(L"close"), 1u);
}

// The client quits or crashes without a goodbye: the watcher finds its window
// gone, the link forgets it and discovers again, the application is told, the
// call in progress ends with its partner kept, and a new client attaches.
TEST(LinkThreads, AClientGoneWithoutAGoodbyeEndsItsCallsAndANewOneAttaches) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  CallStateMachine& calls = recorder.calls();
  link.messageWindow.store(LinkRecorder::kMessageWindow);
  RunningLinkThreads threads(recorder.client());
  link.OnAttachStatus(LinkRecorder::kApiWindow, kAttachSuccess);
  Receive(recorder, "CURRENTUSERHANDLE alice");
  Receive(recorder, "CALL 8 STATUS INPROGRESS");
  Receive(recorder, "CALL 8 PARTNER_HANDLE bob");
  ASSERT_TRUE(WaitUntil([&] { return link.attached.load() == 1 && recorder.count(L"PARTNER") == 1; }));
  recorder.clear();
  recorder.setClientWindowGone(true);
  ASSERT_TRUE(WaitUntil([&] {
    return recorder.count(L"ENDED") == 1 && recorder.count(L"STATUS") == 1 && recorder.count(L"DISCOVER") >= 1;
  }));
  EXPECT_EQ(link.attached.load(), 0u);
  EXPECT_EQ(link.skypeApiWindow.load(), 0u);
  EXPECT_EQ(calls.activeCallCount.load(), 0);
  EXPECT_EQ(calls.activeCallIds.Size(), 0u);
  EXPECT_EQ(calls.finishedCallPartners.Get(0), L"bob");
  EXPECT_EQ(calls.PartnerList(), L"bob");
  // The application was told after the link had let go of the client.
  for (const auto& flags : recorder.flagsSeen()) EXPECT_EQ(flags.first, 0u);
  // Nothing more from the window that is gone.
  EXPECT_FALSE(link.OnCopyData(LinkRecorder::kApiWindow, "CALL 9 STATUS INPROGRESS", 25));

  // The client starts again: its new window attaches and is talked to.
  const WindowId newWindow = 0x77;
  link.OnAttachStatus(newWindow, kAttachSuccess);
  ASSERT_TRUE(WaitUntil([&] { return recorder.commands().size() >= 1; }));
  EXPECT_EQ(recorder.commands().back().apiWindow, newWindow);
  EXPECT_TRUE(link.OnCopyData(newWindow, "CURRENTUSERHANDLE alice", 24));
  ASSERT_TRUE(WaitUntil([&] { return link.attached.load() == 1; }));
  EXPECT_EQ(recorder.count(L"ENDED"), 1u) << "the calls ended once";
}
