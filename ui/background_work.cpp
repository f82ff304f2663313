#include "ui/background_work.h"

#include <objbase.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/debug_trace.h"

struct BackgroundWork::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::pair<int, std::function<void()>>> jobs;
  bool running = false;  // a job is under way
  bool stop = false;     // no job is taken any more
  bool finish = false;   // the thread ends once no job waits
  bool ended = false;    // the thread has left its loop
};

namespace {

void Serve(const std::shared_ptr<BackgroundWork::State>& state, bool shellApartment);

}  // namespace

BackgroundWork::BackgroundWork(bool shellApartment, AtEnd atEnd) : state_(std::make_shared<State>()), atEnd_(atEnd) {
  // The thread holds the state too, so it may outlive this object.
  try {
    std::thread([state = state_, shellApartment] { Serve(state, shellApartment); }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"BackgroundWork: no thread; its jobs are dropped");
    state_->stop = state_->ended = true;
  }
}

BackgroundWork::~BackgroundWork() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (atEnd_ == AtEnd::kFinishInBackground) {
    state_->finish = true;
    state_->changed.notify_all();
    return;
  }
  state_->stop = true;
  state_->jobs.clear();
  state_->changed.notify_all();
  if (!state_->changed.wait_for(lock, kEndWait, [this] { return state_->ended; }))
    DebugTrace(L"BackgroundWork: a job is still running; it ends on its own");
}

void BackgroundWork::Run(std::function<void()> job, int key) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->stop || state_->finish) return;
  if (key != 0)
    for (const auto& waiting : state_->jobs)
      if (waiting.first == key) return;
  state_->jobs.emplace_back(key, std::move(job));
  state_->changed.notify_all();
}

bool BackgroundWork::Idle() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->jobs.empty() && !state_->running;
}

namespace {

void Serve(const std::shared_ptr<BackgroundWork::State>& state, bool shellApartment) {
  HRESULT com = shellApartment ? CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)
                               : E_FAIL;
  std::unique_lock<std::mutex> lock(state->mutex);
  for (;;) {
    state->changed.wait(lock, [&] { return state->stop || state->finish || !state->jobs.empty(); });
    if (state->stop || state->jobs.empty()) break;
    std::function<void()> job = std::move(state->jobs.front().second);
    state->jobs.pop_front();
    state->running = true;
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
    state->running = false;
  }
  lock.unlock();
  if (SUCCEEDED(com)) CoUninitialize();
  lock.lock();
  state->ended = true;
  state->changed.notify_all();
}

}  // namespace

bool PostToWindow(HWND window, std::function<void()> action) {
  auto* posted = new std::function<void()>(std::move(action));
  if (window && PostMessageW(window, WM_POSTED_ACTION, 0, reinterpret_cast<LPARAM>(posted))) return true;
  delete posted;
  return false;
}

void RunPostedAction(LPARAM lParam) {
  std::unique_ptr<std::function<void()>> action(reinterpret_cast<std::function<void()>*>(lParam));
  if (action && *action) (*action)();
}
