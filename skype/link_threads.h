// The two threads of the client link.
//
//   SkypeWatchThread: once at its start, starts the client's program again when
//     its main window is there and its path is known; then every 2000 ms,
//     looks whether the client's window is still there, broadcasts the
//     discover message while the link is not attached and closes the client's
//     call-quality windows when the setting asks for it.
//   SkypeMessageThread: takes one notification from the queue per 1 ms cycle
//     and parses it (the call state machine runs here).
//
// The client object (skype_client.h) owns them. The application starts both at
// start-up and stops both at exit. Stopping is cooperative: each thread ends
// at its next wait, so neither is cut off while it holds the queue lock or is
// inside a send. A thread that is waiting in a send to the main window can
// finish even when Stop is called from the user-interface thread, because the
// wait serves the messages sent to that thread's windows.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SkypeClient;

// The watcher's period.
constexpr std::chrono::milliseconds kWatchPeriod{2000};
// How long a stop waits for each thread by default.
constexpr std::chrono::milliseconds kLinkStopDeadline{5000};

// The stop request of the two threads, and the sleeps that it cuts short.
class StopRequest {
 public:
  void Request();
  bool Requested() const { return requested_.load(); }
  const std::atomic<bool>& Flag() const { return requested_; }
  // Sleeps for `period`; true when a stop was requested meanwhile.
  bool SleepFor(std::chrono::milliseconds period);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> requested_{false};
};

// The thread bodies; each returns when `stop` is requested.
void SkypeWatchThread(SkypeClient& client, StopRequest& stop);
void SkypeMessageThread(SkypeClient& client, StopRequest& stop);

class LinkThreads {
 public:
  explicit LinkThreads(SkypeClient& client) : client_(client) {}
  // Waits, without a limit, for every thread that a Stop left running: the
  // threads use the client, which goes with this object.
  ~LinkThreads();
  LinkThreads(const LinkThreads&) = delete;
  LinkThreads& operator=(const LinkThreads&) = delete;

  // Starts both threads. Does nothing when they run.
  void Start();
  // Asks both threads to stop and waits for them, at most `deadline` each.
  // True when both have ended. A thread that has not ended by then (it is
  // waiting on a client that does not answer) is left running, and a trace
  // line says so; its owner may then be left to end with the process rather
  // than destroyed (see the destructor). Notifications still queued are
  // dropped.
  bool Stop(std::chrono::milliseconds deadline = kLinkStopDeadline);

 private:
  // One start of the two threads. A thread that did not stop in time keeps
  // its own run, so a later start cannot revive it.
  struct Run {
    StopRequest stop;
    std::thread watch;
    std::thread message;
    std::atomic<bool> watchEnded{false};
    std::atomic<bool> messageEnded{false};
  };

  SkypeClient& client_;
  std::mutex mutex_;  // guards the runs, starting and stopping
  std::shared_ptr<Run> current_;
  std::vector<std::shared_ptr<Run>> unfinished_;  // runs whose threads did not stop in time
};
