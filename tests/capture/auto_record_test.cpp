// The automatic start's rules: which sessions count as a call, when the
// recording starts and when it ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "capture/auto_record.h"
#include "tests/support/wait.h"

TEST(AppList, SplitsOnSemicolonsAndCommasAndCompletesBareNames) {
  EXPECT_EQ(ParseAppList(L" Teams.exe ; zoom,, Microsoft Edge.exe;;\tslack "),
            (std::vector<std::wstring>{L"Teams.exe", L"zoom.exe", L"Microsoft Edge.exe", L"slack.exe"}));
  EXPECT_TRUE(ParseAppList(L"").empty());
  EXPECT_TRUE(ParseAppList(L" ; , ").empty());
}

namespace {
CaptureSessionInfo Session(uint32_t pid, const wchar_t* exe, bool active) { return {pid, exe, active}; }
}  // namespace

// A listed app capturing starts the recording once; the recorder's own
// session and unlisted or inactive sessions never do; the recording ends only
// after five quiet seconds, and a call app that comes back within them keeps
// it going.
TEST(AutoRecordRules, StartsOnAListedAppAndStopsFiveQuietSecondsAfterTheLast) {
  AutoRecordRules rules(ParseAppList(L"Teams.exe;Zoom.exe"), 77);
  using A = AutoRecordRules;
  EXPECT_EQ(rules.Update({Session(77, L"Teams.exe", true), Session(5, L"obs64.exe", true)}, 0).action, A::None);
  EXPECT_EQ(rules.Update({Session(9, L"zoom.exe", false)}, 1000).action, A::None);

  A::Decision start = rules.Update({Session(9, L"ZOOM.EXE", true)}, 2000);
  EXPECT_EQ(start.action, A::Start);
  EXPECT_EQ(start.app, L"Zoom.exe");
  EXPECT_EQ(rules.Update({Session(9, L"Zoom.exe", true)}, 3000).action, A::None);

  // Quiet for 4.9 s, then the call app opens the microphone again.
  EXPECT_EQ(rules.Update({}, 4000).action, A::None);
  EXPECT_EQ(rules.Update({Session(9, L"Zoom.exe", false)}, 8900).action, A::None);
  EXPECT_EQ(rules.Update({Session(9, L"Zoom.exe", true)}, 9000).action, A::None);
  EXPECT_TRUE(rules.Recording());

  EXPECT_EQ(rules.Update({}, 10000).action, A::None);
  EXPECT_EQ(rules.Update({}, 14999).action, A::None);
  EXPECT_EQ(rules.Update({}, 15000).action, A::Stop);
  EXPECT_FALSE(rules.Recording());
  EXPECT_EQ(rules.Update({}, 30000).action, A::None);
  // The tick count wraps: the delay is still counted.
  AutoRecordRules wrapping(ParseAppList(L"Teams"), 1);
  EXPECT_EQ(wrapping.Update({Session(2, L"teams.exe", true)}, 0xFFFFFC18u).action, A::Start);
  EXPECT_EQ(wrapping.Update({}, 0xFFFFFC18u).action, A::None);
  EXPECT_EQ(wrapping.Update({}, 3999).action, A::None);
  EXPECT_EQ(wrapping.Update({}, 4000).action, A::Stop);
}

// Stopped by hand during a call: no new recording starts while that call
// app still captures; the next call starts one again.
TEST(AutoRecordRules, AStopByHandHoldsUntilTheCallAppLetsGo) {
  AutoRecordRules rules(ParseAppList(L"Teams.exe"), 1);
  ASSERT_EQ(rules.Update({Session(3, L"Teams.exe", true)}, 0).action, AutoRecordRules::Start);
  rules.Stopped();
  EXPECT_EQ(rules.Update({Session(3, L"Teams.exe", true)}, 1000).action, AutoRecordRules::None);
  EXPECT_EQ(rules.Update({}, 2000).action, AutoRecordRules::None);
  EXPECT_EQ(rules.Update({Session(3, L"Teams.exe", true)}, 3000).action, AutoRecordRules::Start);
}

namespace {
// Teams capturing, for as long as the test runs; counts the watcher's looks.
class ListedSessions : public CaptureSessions {
 public:
  bool List(const CaptureEndpoint&, std::vector<CaptureSessionInfo>& sessions) override {
    sessions = {{7, L"Teams.exe", true}};
    ++reads;
    return true;
  }
  std::atomic<int> reads{0};
};
}  // namespace

// The watcher on its thread: a call app capturing is reported once; a stop by
// hand, followed by the same watch asked for again (as every change of the
// settings and every end of a recording does), starts nothing new while the
// app still captures; switched off, a recording it started is ended.
TEST(AutoRecordWatcher, ReportsOnceAndKeepsAStopByHandAcrossTheSameWatch) {
  ListedSessions sessions;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<AutoRecordRules::Action> reports;
  AutoRecordWatcher watcher(sessions, [&](const AutoRecordRules::Decision& decision) {
    std::lock_guard<std::mutex> lock(mutex);
    reports.push_back(decision.action);
    changed.notify_all();
  });
  const CaptureEndpoint nearEnd{CaptureEndpoint::DefaultCapture, L""};
  auto waitFor = [&](size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(20), [&] { return reports.size() >= count; });
  };
  watcher.Watch(nearEnd, ParseAppList(L"Teams"));
  ASSERT_TRUE(waitFor(1));
  watcher.Stopped();
  watcher.Watch(nearEnd, ParseAppList(L"Teams"));
  // Still nothing new after a whole look that began after the stop by hand
  // (the look under way may have begun before it): the one that the third
  // look from now follows.
  const int read = sessions.reads;
  ASSERT_TRUE(WaitUntil([&] { return sessions.reads >= read + 3; }));
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(reports, std::vector<AutoRecordRules::Action>{AutoRecordRules::Start});
  }
  // A different list is a new watch: the app, still capturing, starts one.
  watcher.Watch(nearEnd, ParseAppList(L"Teams;Zoom"));
  ASSERT_TRUE(waitFor(2));
  watcher.Off();
  ASSERT_TRUE(waitFor(3));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(reports, (std::vector<AutoRecordRules::Action>{AutoRecordRules::Start, AutoRecordRules::Start,
                                                             AutoRecordRules::Stop}));
}
