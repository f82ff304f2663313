// The recorder's own thread: every decision of the recorder (start, pause,
// stop, the hold of the computer's sound, the contact rule, the automatic
// start, the keeping of the record folder) runs on it, one at a time, so the
// rules need no lock of their own and never run on a window's thread.
//
//   loop.Post(task)          runs the task on the loop later, in order
//   loop.Send(task)          runs it on the loop and waits for it (at once
//                            when called on the loop itself)
//   loop.After(id, ms, task) a timer: the task runs once, `ms` from now,
//                            unless Cancel(id) or another After(id, ...)
//                            comes first
//
// Time: the steady clock, or a clock a test holds (SetClock), which moves only
// when the test says so (ClockMoved); the loop's timers then follow it alone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

class RecorderLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using Task = std::function<void()>;

  RecorderLoop();
  // Stop, when it was not called.
  ~RecorderLoop();
  RecorderLoop(const RecorderLoop&) = delete;
  RecorderLoop& operator=(const RecorderLoop&) = delete;

  // Starts the thread; false when no thread could be made (the tasks then
  // run on the thread that posts or sends them, as a last resort).
  bool Start();
  // Runs what is queued, drops the timers, and ends the thread. Tasks posted
  // afterwards are dropped (nobody is left to hear of them); a task sent
  // afterwards runs on the caller's thread.
  void Stop();

  void Post(Task task);
  void Send(const Task& task);
  void After(int id, std::chrono::milliseconds delay, Task task);
  void Cancel(int id);
  bool TimerArmed(int id) const;

  // True on the loop's thread.
  bool OnLoop() const;

  // Tests: the loop's time comes from `now` from here on; call ClockMoved
  // after moving it, so that timers now due run.
  void SetClock(std::function<Clock::time_point()> now);
  void ClockMoved();
  // Tests: true once nothing is queued, no task runs and no timer is due.
  bool Idle() const;

 private:
  void Run();
  Clock::time_point Now() const;

  struct Timer {
    Clock::time_point due;
    uint64_t serial;
    Task task;
  };

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> queue_;
  std::map<int, Timer> timers_;
  uint64_t serial_ = 0;
  std::function<Clock::time_point()> clock_;
  bool running_ = false;  // the thread takes tasks
  bool stopping_ = false;
  bool busy_ = false;     // a task runs
  std::thread::id loopThread_;
  std::thread thread_;
};
