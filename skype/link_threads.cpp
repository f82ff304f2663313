#include "skype/link_threads.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/debug_trace.h"
#include "settings/settings.h"
#include "skype/skype_link.h"
#include "skype/call_state.h"
#include "skype/skype_messages.h"
#include "skype/skype_transport.h"
#include "skype/window_control.h"

namespace {

// The stop request of the two threads, and the sleeps that it cuts short.
class StopRequest {
 public:
  void Request() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requested_.store(true);
    }
    changed_.notify_all();
  }
  bool Requested() const { return requested_.load(); }
  const std::atomic<bool>& Flag() const { return requested_; }
  // Sleeps for `period`; true when a stop was requested meanwhile.
  bool SleepFor(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, period, [this] { return requested_.load(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> requested_{false};
};

// One start of the two threads. A thread that did not stop in time keeps its
// own run, so a later start cannot revive it.
struct LinkRun {
  StopRequest stop;
  std::thread watch;
  std::thread message;
  std::atomic<bool> watchEnded{false};
  std::atomic<bool> messageEnded{false};
};

std::mutex runMutex;  // guards `currentRun`, starting and stopping
std::shared_ptr<LinkRun> currentRun;

// The stop request of the run that the calling thread belongs to. Outside a
// run (a thread body called directly), a request that is never made.
thread_local StopRequest* threadStop = nullptr;
StopRequest neverStopped;

StopRequest& ThisThreadStop() { return threadStop ? *threadStop : neverStopped; }

std::thread Launch(const std::shared_ptr<LinkRun>& run, void (*body)(), std::atomic<bool> LinkRun::*ended) {
  return std::thread([run, body, ended] {
    threadStop = &run->stop;
    body();
    (run.get()->*ended).store(true);
  });
}

bool Finish(std::thread& thread, const std::atomic<bool>& ended, const wchar_t* name,
            std::chrono::milliseconds deadline) {
  if (!thread.joinable()) return true;
  if (WaitServingSentMessages([&ended] { return ended.load(); }, deadline)) {
    thread.join();
    return true;
  }
  DebugTrace(L"%s did not stop; it ends with the process", {name});
  thread.detach();
  return false;
}

constexpr std::chrono::milliseconds kMessageCycle{1};

}  // namespace

void SkypeWatchThread() {
  StopRequest& stop = ThisThreadStop();
  // The client's program is opened again when its main window is already there
  // (the client brings itself to the front).
  std::wstring path;
  if (FindSkypeMainWindow() != 0 && GetSkypePath(path)) RunSkype(path);
  for (;;) {
    if (stop.Requested()) return;
    WindowId window = messageWindow.load();
    CheckClientWindow();
    if (attached.load() == 0 && window != 0) PostDiscoverBroadcast(window);
    if (Settings.Current()->CloseSkypeCallQualityWindow != 0) CloseCallQualityWindows();
    if (stop.SleepFor(kWatchPeriod)) return;
  }
}

void SkypeMessageThread() {
  StopRequest& stop = ThisThreadStop();
  for (;;) {
    // Idle until there is something to take: the same as polling every cycle
    // and finding the queue empty, without waking up for nothing.
    notificationQueue.WaitForText(stop.Flag());
    if (stop.Requested()) return;
    std::wstring text;
    if (notificationQueue.Take(text) && !text.empty()) ParseMessageFromSkype(text);
    if (TakeClientGone()) OnClientGone();
    // One notification per cycle.
    if (stop.SleepFor(kMessageCycle)) return;
  }
}

void StartLinkThreads() {
  std::lock_guard<std::mutex> lock(runMutex);
  if (currentRun) return;
  auto run = std::make_shared<LinkRun>();
  run->watch = Launch(run, SkypeWatchThread, &LinkRun::watchEnded);
  run->message = Launch(run, SkypeMessageThread, &LinkRun::messageEnded);
  currentRun = run;
}

bool StopLinkThreads(std::chrono::milliseconds deadline) {
  std::lock_guard<std::mutex> lock(runMutex);
  std::shared_ptr<LinkRun> run = std::move(currentRun);
  currentRun.reset();
  if (!run) return true;
  run->stop.Request();
  DebugTrace(L"Stopping the link threads");
  notificationQueue.Wake();
  bool watchEnded = Finish(run->watch, run->watchEnded, L"SkypeWatchThread", deadline);
  bool messageEnded = Finish(run->message, run->messageEnded, L"SkypeMessageThread", deadline);
  return watchEnded && messageEnded;
}
