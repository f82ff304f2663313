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

#include "platform/main_window.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/link_threads.h"
#include "skype/skype_api.h"
#include "skype/skype_link.h"
#include "tests/skype/link_recorder.h"
#include "tests/support/capture.h"
#include "tests/support/skype_client_standin.h"
#include "tests/support/wait.h"

using Events = std::vector<std::wstring>;

namespace {

// What the client's window hands to the link, as the message window would.
void Receive(const std::string& text) {
  ASSERT_TRUE(OnCopyDataFromSkype(LinkRecorder::kApiWindow, text.c_str(), text.size() + 1));
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

// Starts the threads; declared after the stand-ins they use, so that the
// threads are stopped before those go.
class RunningLinkThreads {
 public:
  RunningLinkThreads() { StartLinkThreads(); }
  ~RunningLinkThreads() { EXPECT_TRUE(StopLinkThreads()); }
};

Events Started(int id) {
  std::wstring n = std::to_wstring(id);
  return {L"> GET CALL " + n + L" PARTNER_HANDLE",
          L"STARTED",
          L"STARTED",
          L"STARTED",
          L"> ALTER CALL " + n + L" SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"",
          L"> ALTER CALL " + n + L" SET_CAPTURE_MIC port=\"7285\""};
}

}  // namespace

TEST(LinkThreads, TheMessageThreadHandlesReceivedTextsInOrder) {
  LinkRecorder recorder(/*attach=*/false);
  messageWindow.store(LinkRecorder::kMessageWindow);
  RunningLinkThreads threads;
  // The user-interface thread's part: the attach and the received texts.
  OnAttachStatus(LinkRecorder::kApiWindow, kAttachSuccess);
  Receive("CURRENTUSERHANDLE alice");
  Receive("CALL 8 STATUS RINGING");
  Receive("CALL 8 STATUS INPROGRESS");
  Receive("CALL 8 PARTNER_HANDLE bob");
  Receive("CALL 8 DURATION 1");
  Receive("CALL 8 STATUS FINISHED");
  const Events expected{L"> GET CURRENTUSERHANDLE",
                        L"STATUS",
                        L"STATUS",
                        L"STATUS",
                        L"> GET CALL 8 PARTNER_HANDLE",
                        L"STARTED",
                        L"STARTED",
                        L"STARTED",
                        L"> ALTER CALL 8 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"",
                        L"> ALTER CALL 8 SET_CAPTURE_MIC port=\"7285\"",
                        L"PARTNER",
                        L"ENDED",
                        L"ENDED",
                        L"ENDED"};
  ASSERT_TRUE(recorder.waitForEvents(expected.size()));
  EXPECT_EQ(recorder.events(), expected);
  EXPECT_EQ(attached.load(), 1u);
  EXPECT_EQ(finishedCallPartners.Get(0), L"bob");
  EXPECT_TRUE(notificationQueue.Empty());
}

TEST(LinkThreads, TextsFromManyThreadsAreAllHandledEachInItsOrder) {
  LinkRecorder recorder;
  RunningLinkThreads threads;
  constexpr int kThreads = 4, kCallsEach = 60;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([t] {
      for (int i = 0; i < kCallsEach; ++i) {
        std::string id = std::to_string(t * 1000 + i);
        std::string a = "CALL " + id + " STATUS INPROGRESS", b = "CALL " + id + " STATUS FINISHED";
        OnCopyDataFromSkype(LinkRecorder::kApiWindow, a.c_str(), a.size() + 1);
        OnCopyDataFromSkype(LinkRecorder::kApiWindow, b.c_str(), b.size() + 1);
      }
    });
  for (auto& s : senders) s.join();
  // Each call: a partner request, two audio requests, three starts, three ends.
  ASSERT_TRUE(recorder.waitForEvents(kThreads * kCallsEach * 9));
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
  EXPECT_EQ(activeCallCount.load(), 0);
  EXPECT_TRUE(activeCallIds.Snapshot().empty());
}

TEST(LinkThreads, StoppingLetsAHandlerInProgressFinishAndDropsWhatIsQueued) {
  LinkRecorder recorder;
  Gate gate;
  recorder.onMessage([&](uint32_t message) {
    if (message == WM_SKYPE_CALL_STARTED) gate.Pass();
  });
  RunningLinkThreads threads;
  Receive("CALL 1 STATUS INPROGRESS");
  Receive("CALL 2 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return gate.Reached(); }));
  // The message thread now waits for the main window, inside the handling of
  // call 1. A stop asked for now lets that handling end whole.
  TraceCapture trace;
  bool stopped = false;
  std::thread stopper([&] { stopped = StopLinkThreads(); });
  EXPECT_TRUE(WaitUntil([&] { return trace.contains(L"Stopping the link threads"); }));
  gate.Open();
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(recorder.events(), Started(1));
  EXPECT_EQ(notificationQueue.Size(), 1u) << "call 2 was never taken";
  EXPECT_EQ(activeCallIds.Snapshot(), std::vector<int32_t>{1});
}

TEST(LinkThreads, AThreadThatCannotStopInTimeIsLeftAndReported) {
  LinkRecorder recorder;
  TraceCapture trace;
  Gate gate;
  recorder.onCommand([&](const std::string&) { gate.Pass(); });
  RunningLinkThreads threads;
  Receive("CALL 1 STATUS INPROGRESS");
  ASSERT_TRUE(WaitUntil([&] { return gate.Reached(); }));
  // The client does not answer: the stop gives up after its deadline.
  EXPECT_FALSE(StopLinkThreads(std::chrono::milliseconds(50)));
  EXPECT_TRUE(trace.contains(L"SkypeMessageThread did not stop; it ends with the process"));
  // A new start is a new pair of threads; the old one ends on its own once the
  // client answers, without handling anything more.
  Receive("CALL 2 STATUS INPROGRESS");
  StartLinkThreads();
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] {
    Events e = recorder.events();
    return std::find(e.begin(), e.end(), L"> GET CALL 2 PARTNER_HANDLE") != e.end();
  }));
  EXPECT_TRUE(StopLinkThreads());
  Events events = recorder.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), L"> GET CALL 1 PARTNER_HANDLE"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), L"> GET CALL 2 PARTNER_HANDLE"), 1);
  recorder.onCommand(nullptr);
  // Let the old thread finish its call before the recorder goes away.
  ASSERT_TRUE(WaitUntil([&] {
    Events e = recorder.events();
    return std::count(e.begin(), e.end(), std::wstring(L"STARTED")) == 6 &&
           std::count(e.begin(), e.end(), std::wstring(L"> ALTER CALL 1 SET_CAPTURE_MIC port=\"7285\"")) == 1;
  }));
}

TEST(LinkThreads, StartTwiceIsOneRunAndARestartWorks) {
  LinkRecorder recorder;
  RunningLinkThreads threads;
  StartLinkThreads();
  Receive("CALL 1 STATUS INPROGRESS");
  ASSERT_TRUE(recorder.waitForEvents(6));
  EXPECT_TRUE(StopLinkThreads());
  EXPECT_TRUE(StopLinkThreads()) << "stopping again is harmless";
  Receive("CALL 1 STATUS FINISHED");
  StartLinkThreads();
  ASSERT_TRUE(recorder.waitForEvents(9));
  EXPECT_EQ(activeCallCount.load(), 0);
  Events events = recorder.events();
  EXPECT_EQ(std::count(events.begin(), events.end(), L"> GET CALL 1 PARTNER_HANDLE"), 1);
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
  WatchedClient client;
  client.Install();
  Settings.Change([&](SettingsRecord& s) { s.CloseSkypeCallQualityWindow = 1; });
  RunningLinkThreads threads;
  // First cycle: no message window yet, so no broadcast.
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 1; }));
  messageWindow.store(0x3C);
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 2; }));
  attached.store(1);
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 3; }));
  Settings.Change([&](SettingsRecord& s) { s.CloseSkypeCallQualityWindow = 0; });
  attached.store(0);
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
    Settings.Change([&](SettingsRecord& s) { s.CloseSkypeCallQualityWindow = 1; });
    RunningLinkThreads threads;
    ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 1; }));
    EXPECT_TRUE(StopLinkThreads());
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
  Settings.Change([&](SettingsRecord& s) { s.CloseSkypeCallQualityWindow = 1; });
  RunningLinkThreads threads;
  ASSERT_TRUE(WaitUntil([&] { return client.Count(L"close") == 1; }));
  // The watcher sleeps 2000 ms between cycles; a stop does not wait for that.
  EXPECT_TRUE(StopLinkThreads(std::chrono::milliseconds(1500)));
  EXPECT_EQ(client.Count(L"close"), 1u);
}

// The client quits or crashes without a goodbye: the watcher finds its window
// gone, the link forgets it and discovers again, the status line is told, the
// call in progress ends with its partner kept, and a new client attaches.
TEST(LinkThreads, AClientGoneWithoutAGoodbyeEndsItsCallsAndANewOneAttaches) {
  LinkRecorder recorder(/*attach=*/false);
  messageWindow.store(LinkRecorder::kMessageWindow);
  RunningLinkThreads threads;
  OnAttachStatus(LinkRecorder::kApiWindow, kAttachSuccess);
  Receive("CURRENTUSERHANDLE alice");
  Receive("CALL 8 STATUS INPROGRESS");
  Receive("CALL 8 PARTNER_HANDLE bob");
  ASSERT_TRUE(WaitUntil([] { return attached.load() == 1 && callPartners.Get(0) == L"bob"; }));
  recorder.clear();
  recorder.setClientWindowGone(true);
  auto count = [&](const std::wstring& event) {
    Events events = recorder.events();
    return std::count(events.begin(), events.end(), event);
  };
  ASSERT_TRUE(WaitUntil([&] { return count(L"ENDED") == 3 && count(L"STATUS") == 3 && count(L"DISCOVER") >= 1; }));
  EXPECT_EQ(attached.load(), 0u);
  EXPECT_EQ(skypeApiWindow.load(), 0u);
  EXPECT_EQ(activeCallCount.load(), 0);
  EXPECT_EQ(activeCallIds.Size(), 0u);
  EXPECT_EQ(finishedCallPartners.Get(0), L"bob");
  // Nothing more from the window that is gone.
  EXPECT_FALSE(OnCopyDataFromSkype(LinkRecorder::kApiWindow, "CALL 9 STATUS INPROGRESS", 25));

  // The client starts again: its new window attaches and is talked to.
  const WindowId newWindow = 0x77;
  OnAttachStatus(newWindow, kAttachSuccess);
  ASSERT_TRUE(WaitUntil([&] { return recorder.commands().size() >= 1; }));
  EXPECT_EQ(recorder.commands().back().apiWindow, newWindow);
  EXPECT_TRUE(OnCopyDataFromSkype(newWindow, "CURRENTUSERHANDLE alice", 24));
  ASSERT_TRUE(WaitUntil([] { return attached.load() == 1; }));
}
