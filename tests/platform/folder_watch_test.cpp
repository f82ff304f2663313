// The folder watch with the system's own notifications: each kind of change
// is told, a burst of changes once, and Stop means no call follows, also
// while watches come and go as fast as a window opens and closes.
#include "platform/folder_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

using std::chrono::milliseconds;

// A watch that counts its calls.
struct CountedWatch {
  std::atomic<int> calls{0};
  FolderWatch watch;
  bool Start(const std::wstring& folder, milliseconds quiet = milliseconds(50)) {
    return watch.Start(folder, quiet, [this] { ++calls; });
  }
  // Until a call beyond `seen` has come.
  bool AwaitCallAfter(int seen) {
    return WaitUntil([&] { return calls.load() > seen; });
  }
};

// Changes `file` of `folder` and waits until a second watch of the folder,
// started for the purpose, has told it. The witness is quieter for longer
// than the watches under test (50 ms): whatever they were to be told of the
// change, they have been told by then.
void ChangeWitnessed(const TempDir& folder, const std::wstring& file) {
  CountedWatch witness;
  ASSERT_TRUE(witness.Start(folder.path(), milliseconds(400)));
  ASSERT_TRUE(WriteFileBytes(folder.file(file), "witnessed"));
  ASSERT_TRUE(witness.AwaitCallAfter(0));
}

}  // namespace

TEST(FolderWatch, EachKindOfChangeIsToldAndAFolderThatIsNotThereCannotBeWatched) {
  TempDir dir;
  CountedWatch counted;
  ASSERT_TRUE(counted.Start(dir.path()));
  EXPECT_TRUE(counted.watch.Watching());

  ASSERT_TRUE(WriteFileBytes(dir.file(L"a.wav"), "RIFF"));  // created
  ASSERT_TRUE(counted.AwaitCallAfter(0));
  int seen = counted.calls;
  ASSERT_TRUE(WriteFileBytes(dir.file(L"a.wav"), std::string(5000, 'x')));  // grown
  ASSERT_TRUE(counted.AwaitCallAfter(seen));
  seen = counted.calls;
  ASSERT_TRUE(MoveFileNoReplace(dir.file(L"a.wav"), dir.file(L"b.wav")));  // renamed
  ASSERT_TRUE(counted.AwaitCallAfter(seen));
  seen = counted.calls;
  ASSERT_TRUE(RemoveFile(dir.file(L"b.wav")));  // deleted
  ASSERT_TRUE(counted.AwaitCallAfter(seen));

  FolderWatch missing;
  EXPECT_FALSE(missing.Start(dir.file(L"not there"), milliseconds(50), [] {}));
  EXPECT_FALSE(missing.Watching());
}

// A file written in many small steps (as the mixer and the encoders write a
// recording) makes one call after the last step, not one per step.
TEST(FolderWatch, ABurstOfChangesIsToldOnceItIsOver) {
  TempDir dir;
  CountedWatch counted;
  ASSERT_TRUE(counted.Start(dir.path(), milliseconds(1500)));
  const std::wstring file = dir.file(L"mix.wav");
  std::string bytes;
  for (int step = 0; step < 40; ++step) {
    bytes += std::string(512, static_cast<char>(step));
    ASSERT_TRUE(WriteFileBytes(file, bytes));
    // The steps come at the pace of a writer, each well within the quiet
    // period of the one before.
    std::this_thread::sleep_for(milliseconds(25));
  }
  // Told first a quiet period after the last step, by which time a watch
  // that told every step would have told forty; a writer stalled on a loaded
  // machine may split the burst once.
  ASSERT_TRUE(counted.AwaitCallAfter(0));
  EXPECT_LE(counted.calls.load(), 2);
}

// Stop and the destructor end the calls at once; a call under way is over
// when Stop returns.
TEST(FolderWatch, NoCallFollowsStopWhicheverWayTheWatchEnds) {
  TempDir dir;
  {
    CountedWatch stopped;
    ASSERT_TRUE(stopped.Start(dir.path()));
    stopped.watch.Stop();
    EXPECT_FALSE(stopped.watch.Watching());
    ChangeWitnessed(dir, L"one.txt");
    EXPECT_EQ(stopped.calls.load(), 0);
  }
  {
    auto calls = std::make_shared<std::atomic<int>>(0);
    {
      FolderWatch destroyed;
      ASSERT_TRUE(destroyed.Start(dir.path(), milliseconds(50), [calls] { ++*calls; }));
    }
    ChangeWitnessed(dir, L"two.txt");
    EXPECT_EQ(calls->load(), 0);
  }
  {
    // Stop while a call is under way: it returns once the call is over.
    std::atomic<bool> entered{false}, release{false}, finished{false}, finishedWhenStopped{false};
    FolderWatch busy;
    ASSERT_TRUE(busy.Start(dir.path(), milliseconds(50), [&] {
      entered = true;
      WaitUntil([&] { return release.load(); });
      finished = true;
    }));
    ASSERT_TRUE(WriteFileBytes(dir.file(L"five.txt"), "5"));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    std::thread stopper([&] {
      busy.Stop();
      finishedWhenStopped = finished.load();
    });
    release = true;
    stopper.join();
    EXPECT_TRUE(finishedWhenStopped.load());
  }
}

// Watches started and stopped over and over while another thread keeps
// changing the folder: no call ever comes after its watch's Stop returned.
TEST(FolderWatch, WatchesComingAndGoingUnderChangesNeverCallAfterStop) {
  TempDir dir;
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int n = 0; writing.load(); ++n) {
      const std::wstring file = dir.file(L"busy" + std::to_wstring(n % 4) + L".wav");
      WriteFileBytes(file, std::string(static_cast<size_t>(100 + n % 50), 'x'));
      if (n % 3 == 0) RemoveFile(file);
    }
  });
  std::atomic<int> lateCalls{0}, calls{0};
  for (int round = 0; round < 40; ++round) {
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    FolderWatch watch;
    ASSERT_TRUE(watch.Start(dir.path(), milliseconds(round % 3), [stopped, &lateCalls, &calls] {
      ++calls;
      if (stopped->load()) ++lateCalls;
    }));
    if (round % 4 == 0) WaitUntil([&, before = calls.load()] { return calls.load() > before; }, milliseconds(2000));
    watch.Stop();
    *stopped = true;
  }
  writing = false;
  writer.join();
  EXPECT_EQ(lateCalls.load(), 0);
  EXPECT_GT(calls.load(), 0);
}
