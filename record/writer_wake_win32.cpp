#include <windows.h>

#include <algorithm>

#include "record/writer_wake.h"

struct WriterWake::State {
  HANDLE event = nullptr;  // auto-reset, created not set
};

WriterWake::WriterWake() : state_(new State) { state_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr); }

WriterWake::~WriterWake() {
  if (state_->event != nullptr) CloseHandle(state_->event);
  delete state_;
}

void WriterWake::Notify() { SetEvent(state_->event); }

bool WriterWake::WaitUntil(Clock::time_point deadline) {
  for (;;) {
    DWORD timeout = INFINITE;
    if (deadline != Clock::time_point::max()) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      // WaitForSingleObject takes at most 49 days less a millisecond.
      timeout = static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
    }
    DWORD wait = WaitForSingleObject(state_->event, timeout);
    if (wait == WAIT_OBJECT_0) return true;
    if (wait == WAIT_TIMEOUT && Clock::now() >= deadline) return false;
    if (wait == WAIT_FAILED) {
      // No event object (its creation failed): sleep to the deadline, or a
      // little, so that the writer still gets round to its work.
      Sleep(deadline == Clock::time_point::max() ? 10 : std::min<DWORD>(timeout, 10));
      return true;
    }
  }
}
