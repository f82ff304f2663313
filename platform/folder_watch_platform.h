// The platform half of the folder watch (folder_watch_win32.cpp,
// folder_watch_posix.cpp): what the system tells of one folder. The shared
// half (folder_watch.cpp) runs the thread, the quiet period and the calls.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace folder_watch_platform {

class Changes {
 public:
  enum Event { kChanged, kTimedOut, kStopped };

  virtual ~Changes() = default;
  // Waits up to `timeout` (negative: without end) for a change of the folder
  // or for Stop. A change is taken, so the next wait waits for a later one.
  // kStopped also when the system gives up on the folder.
  virtual Event Wait(std::chrono::milliseconds timeout) = 0;
  // Ends a wait under way and every later one; from any thread, at once.
  virtual void Stop() = 0;
};

// The folder's changes from now on; null when it cannot be watched.
std::unique_ptr<Changes> WatchFolder(const std::wstring& folder);

}  // namespace folder_watch_platform
