#include "engine/recorder_loop.h"

#include <system_error>
#include <vector>

#include "platform/debug_trace.h"

RecorderLoop::RecorderLoop() = default;

RecorderLoop::~RecorderLoop() { Stop(); }

bool RecorderLoop::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_ || stopping_) return running_;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    DebugTrace(L"No thread for the recorder's decisions: they run where they are asked for.");
    return false;
  }
  loopThread_ = thread_.get_id();
  running_ = true;
  return true;
}

void RecorderLoop::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    if (!running_) return;
  }
  wake_.notify_all();
  if (thread_.joinable() && std::this_thread::get_id() != loopThread_) thread_.join();
}

RecorderLoop::Clock::time_point RecorderLoop::Now() const { return clock_ ? clock_() : Clock::now(); }

void RecorderLoop::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ && !stopping_) {
      queue_.push_back(std::move(task));
      wake_.notify_all();
      return;
    }
    // After the end nobody is left to hear of it.
    if (stopping_) return;
  }
  task();
}

void RecorderLoop::Send(const Task& task) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!running_ || stopping_ || std::this_thread::get_id() == loopThread_) {
    lock.unlock();
    task();
    return;
  }
  bool done = false;
  std::condition_variable finished;
  queue_.push_back([&] {
    task();
    std::lock_guard<std::mutex> doneLock(mutex_);
    done = true;
    finished.notify_all();
  });
  wake_.notify_all();
  finished.wait(lock, [&] { return done; });
}

void RecorderLoop::After(int id, std::chrono::milliseconds delay, Task task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;
  timers_[id] = Timer{Now() + delay, ++serial_, std::move(task)};
  wake_.notify_all();
}

void RecorderLoop::Cancel(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(id);
}

bool RecorderLoop::TimerArmed(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_.count(id) != 0;
}

bool RecorderLoop::OnLoop() const { return std::this_thread::get_id() == loopThread_; }

void RecorderLoop::SetClock(std::function<Clock::time_point()> now) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = std::move(now);
  wake_.notify_all();
}

void RecorderLoop::ClockMoved() {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_.notify_all();
}

bool RecorderLoop::Idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queue_.empty() || busy_) return false;
  const Clock::time_point now = Now();
  for (const auto& timer : timers_)
    if (timer.second.due <= now) return false;
  return true;
}

void RecorderLoop::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // The queue first, in order; then the timers that are due, earliest first.
    // A task runs with the lock let go, so that it may post, send and set
    // timers itself.
    auto run = [&](Task task) {
      busy_ = true;
      lock.unlock();
      task();
      lock.lock();
      busy_ = false;
    };
    if (!queue_.empty()) {
      Task task = std::move(queue_.front());
      queue_.pop_front();
      run(std::move(task));
      continue;
    }
    if (stopping_) break;
    const Clock::time_point now = Now();
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
      if (due == timers_.end() || it->second.due < due->second.due ||
          (it->second.due == due->second.due && it->second.serial < due->second.serial))
        due = it;
    if (due != timers_.end() && due->second.due <= now) {
      Task task = std::move(due->second.task);
      timers_.erase(due);
      run(std::move(task));
      continue;
    }
    // A test's clock moves only when the test says so.
    if (due == timers_.end() || clock_)
      wake_.wait(lock);
    else
      wake_.wait_until(lock, due->second.due);
  }
  timers_.clear();
  running_ = false;
}
