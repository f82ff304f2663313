// Work a window's thread must not wait for: a scan of the process list, a
// question to a disk or a network share, the shell opening a folder. Such a
// job runs on a thread of its own, one job after another, and what comes of
// it reaches the window as a posted action that runs on the window's thread:
//
//   BackgroundWork folderCheck;
//   folderCheck.Run([window, folder] {
//     uint64_t free = 0;
//     bool known = FreeSpaceOfFolder(folder, free);          // may take seconds
//     PostToWindow(window, [=] { ShowFreeSpace(known, free); });
//   }, kFolderCheck);
//
// A job must not capture the window's object: it may still run after the
// window is gone (see the destructor). An action posted to a window that is
// gone is dropped; one that arrives runs while its window exists, so an action
// may use the window's object.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>

class BackgroundWork {
 public:
  // What the destructor does with the work still there.
  enum class AtEnd {
    // Drops the jobs that have not started and waits up to `kEndWait` for
    // the running one; a job stuck longer (a share that does not answer) is
    // left to end on its own, and the process may end meanwhile. For work
    // that uses what its owner's owner ends right after (the recorder).
    kWaitForRunningJob,
    // Waits for nothing: every job queued still runs, one after another, and
    // the thread then ends. For a window that closes while its files are
    // being listed or its player stops: the window's thread goes on at once.
    kFinishInBackground,
  };

  // `shellApartment`: the thread joins a single-threaded COM apartment, as the
  // shell (ShellExecuteW) asks of its callers.
  explicit BackgroundWork(bool shellApartment = false, AtEnd atEnd = AtEnd::kWaitForRunningJob);
  explicit BackgroundWork(AtEnd atEnd) : BackgroundWork(false, atEnd) {}
  ~BackgroundWork();
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Queues a job. A job with a key other than 0 is not queued while another
  // job with the same key waits to start: requests that come faster than the
  // work is done are served by the one still waiting.
  void Run(std::function<void()> job, int key = 0);
  // No job waits or runs.
  bool Idle() const;

  static constexpr std::chrono::milliseconds kEndWait{2000};

  // Shared by the object and its thread.
  struct State;

 private:
  std::shared_ptr<State> state_;
  AtEnd atEnd_;
};

// The private message that carries a posted action; the window answers it
// with RunPostedAction.
constexpr UINT WM_POSTED_ACTION = WM_APP + 0x41;

// Posts `action` to run on the window's thread. False, and the action dropped,
// when the window is gone.
bool PostToWindow(HWND window, std::function<void()> action);
// The window's handling of WM_POSTED_ACTION: runs the action and frees it.
void RunPostedAction(LPARAM lParam);
