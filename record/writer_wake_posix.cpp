#include <condition_variable>
#include <mutex>

#include "record/writer_wake.h"

struct WriterWake::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool set = false;
};

WriterWake::WriterWake() : state_(new State) {}
WriterWake::~WriterWake() { delete state_; }

void WriterWake::Notify() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->set = true;
  }
  state_->changed.notify_one();
}

bool WriterWake::WaitUntil(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (deadline == Clock::time_point::max())
    state_->changed.wait(lock, [this] { return state_->set; });
  else if (!state_->changed.wait_until(lock, deadline, [this] { return state_->set; }))
    return false;
  state_->set = false;
  return true;
}
