#include "skype/link_threads.h"

#include "platform/debug_trace.h"
#include "settings/settings.h"
#include "skype/skype_client.h"
#include "skype/skype_transport.h"
#include "skype/window_control.h"

namespace {

constexpr std::chrono::milliseconds kMessageCycle{1};

bool Finish(std::thread& thread, const std::atomic<bool>& ended, const wchar_t* name,
            std::chrono::milliseconds deadline) {
  if (!thread.joinable()) return true;
  if (WaitServingSentMessages([&ended] { return ended.load(); }, deadline)) {
    thread.join();
    return true;
  }
  DebugTrace(L"The link's %s did not stop in time; it ends with the process", {name});
  return false;
}

}  // namespace

void StopRequest::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_.store(true);
  }
  changed_.notify_all();
}

bool StopRequest::SleepFor(std::chrono::milliseconds period) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, period, [this] { return requested_.load(); });
}

void SkypeWatchThread(SkypeClient& client, StopRequest& stop) {
  SkypeLink& link = client.link;
  // The client's program is opened again when its main window is already there
  // (the client brings itself to the front).
  std::wstring path;
  if (FindSkypeMainWindow() != 0 && GetSkypePath(path)) RunSkype(path);
  for (;;) {
    if (stop.Requested()) return;
    WindowId window = link.messageWindow.load();
    link.CheckClientWindow();
    if (link.attached.load() == 0 && window != 0) PostDiscoverBroadcast(window);
    if (client.settings().Current()->closeCallQualityWindow != 0) CloseCallQualityWindows();
    if (stop.SleepFor(kWatchPeriod)) return;
  }
}

void SkypeMessageThread(SkypeClient& client, StopRequest& stop) {
  NotificationQueue& queue = client.link.notificationQueue;
  for (;;) {
    // Idle until there is something to take: the same as polling every cycle
    // and finding the queue empty, without waking up for nothing.
    queue.WaitForText(stop.Flag());
    if (stop.Requested()) return;
    std::wstring text;
    if (queue.Take(text) && !text.empty()) client.ParseMessage(text);
    if (client.link.TakeClientGone()) client.calls.OnClientGone();
    // One notification per cycle.
    if (stop.SleepFor(kMessageCycle)) return;
  }
}

LinkThreads::~LinkThreads() {
  Stop(kLinkStopDeadline);
  for (const std::shared_ptr<Run>& run : unfinished_) {
    if (run->watch.joinable()) run->watch.join();
    if (run->message.joinable()) run->message.join();
  }
}

void LinkThreads::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (current_) return;
  auto run = std::make_shared<Run>();
  SkypeClient& client = client_;
  run->watch = std::thread([run = run.get(), &client] {
    SkypeWatchThread(client, run->stop);
    run->watchEnded.store(true);
  });
  run->message = std::thread([run = run.get(), &client] {
    SkypeMessageThread(client, run->stop);
    run->messageEnded.store(true);
  });
  current_ = std::move(run);
}

bool LinkThreads::Stop(std::chrono::milliseconds deadline) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<Run> run = std::move(current_);
  current_.reset();
  if (!run) return true;
  run->stop.Request();
  DebugTrace(L"Stopping the link threads");
  client_.link.notificationQueue.Wake();
  bool watchEnded = Finish(run->watch, run->watchEnded, L"watch thread", deadline);
  bool messageEnded = Finish(run->message, run->messageEnded, L"message thread", deadline);
  if (!watchEnded || !messageEnded) unfinished_.push_back(std::move(run));
  return watchEnded && messageEnded;
}
