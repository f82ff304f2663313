// The main window's stand-in thread.
#include "tests/support/main_window_standin.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/main_window.h"

namespace {

struct Pending {
  uint32_t message;
  bool handled = false;
};

struct StandIn {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Pending>> queue;
  bool stopping = false;
  std::function<void(uint32_t)> handler;
  std::thread thread;

  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return stopping || !queue.empty(); });
      if (queue.empty()) return;  // stopping, nothing left
      std::shared_ptr<Pending> next = queue.front();
      queue.pop_front();
      lock.unlock();
      handler(next->message);
      lock.lock();
      next->handled = true;
      changed.notify_all();
    }
  }
};

std::mutex standInMutex;  // guards `standIn` itself
std::shared_ptr<StandIn> standIn;

std::shared_ptr<StandIn> Current() {
  std::lock_guard<std::mutex> lock(standInMutex);
  return standIn;
}

bool Deliver(uint32_t message, bool wait) {
  std::shared_ptr<StandIn> s = Current();
  if (!s) return false;
  auto pending = std::make_shared<Pending>();
  pending->message = message;
  std::unique_lock<std::mutex> lock(s->mutex);
  if (s->stopping) return false;
  s->queue.push_back(pending);
  s->changed.notify_all();
  if (wait) s->changed.wait(lock, [&] { return pending->handled || (s->stopping && s->queue.empty()); });
  return true;
}

}  // namespace

void StartMainWindowStandIn(std::function<void(uint32_t)> handler) {
  StopMainWindowStandIn();
  auto s = std::make_shared<StandIn>();
  s->handler = std::move(handler);
  s->thread = std::thread([s] { s->Run(); });
  std::lock_guard<std::mutex> lock(standInMutex);
  standIn = s;
}

void StopMainWindowStandIn() {
  std::shared_ptr<StandIn> s;
  {
    std::lock_guard<std::mutex> lock(standInMutex);
    s.swap(standIn);
  }
  if (!s) return;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    s->stopping = true;
    s->changed.notify_all();
  }
  if (s->thread.joinable()) s->thread.join();
}

bool SendToMainWindow(uint32_t message) { return Deliver(message, true); }
bool PostToMainWindow(uint32_t message) { return Deliver(message, false); }
