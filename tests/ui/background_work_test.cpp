// The background worker's two endings: a window that closes leaves its jobs
// to finish without waiting for them, and an owner whose jobs use what ends
// right after it waits for the running one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait.h"
#include "ui/background_work.h"

namespace {

// A job's gate: the job waits until the test opens it.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  std::atomic<bool> entered{false};
  void Pass() {
    entered = true;
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return open; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
};

struct Log {
  std::mutex mutex;
  std::vector<std::string> done;
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex);
    done.push_back(what);
  }
  std::vector<std::string> Done() {
    std::lock_guard<std::mutex> lock(mutex);
    return done;
  }
};

}  // namespace

TEST(BackgroundWork, FinishingInTheBackgroundRunsEveryQueuedJobAfterTheOwnerIsGone) {
  auto gate = std::make_shared<Gate>();
  auto log = std::make_shared<Log>();
  {
    BackgroundWork work(BackgroundWork::AtEnd::kFinishInBackground);
    work.Run([gate, log] {
      gate->Pass();
      log->Add("held");
    });
    ASSERT_TRUE(WaitUntil([&] { return gate->entered.load(); }));
    work.Run([log] { log->Add("stop the player"); });
    // A listing asked for twice while one waits is one listing.
    work.Run([log] { log->Add("listing"); }, 1);
    work.Run([log] { log->Add("listing again"); }, 1);
    // The owner goes while the first job is held: no wait.
  }
  EXPECT_TRUE(log->Done().empty());
  gate->Open();
  ASSERT_TRUE(WaitUntil([&] { return log->Done().size() == 3; }));
  EXPECT_EQ(log->Done(), (std::vector<std::string>{"held", "stop the player", "listing"}));
}

TEST(BackgroundWork, WaitingForTheRunningJobEndsOnlyOnceItIsDone) {
  auto gate = std::make_shared<Gate>();
  auto log = std::make_shared<Log>();
  std::atomic<bool> ownerDone{false};
  std::thread owner([&] {
    {
      BackgroundWork work;
      work.Run([gate, log] {
        gate->Pass();
        log->Add("running");
      });
      WaitUntil([&] { return gate->entered.load(); });
    }
    log->Add("owner gone");
    ownerDone = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return gate->entered.load(); }));
  EXPECT_FALSE(ownerDone.load());
  gate->Open();
  owner.join();
  // The owner stayed in its end while the job ran: the job's word comes first.
  EXPECT_EQ(log->Done(), (std::vector<std::string>{"running", "owner gone"}));
}
