#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "record/recovery.h"
#include "record/stream_writer.h"
#include "tests/record/record_test_support.h"
#include "tests/support/wait.h"

namespace {

std::wstring NameOfFile(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

class StreamWriterTest : public RecordingTest {
 protected:
  WriterFlags& Flags(Direction d = Direction::Out) { return session.Flags(d); }

  // Stops the writer and waits for its thread to end.
  void StopWriter(Direction d = Direction::Out) {
    Flags(d).stop = 1;
    WriterHandle writer = session.Writer(d);
    ASSERT_TRUE(writer);
    writer->Wait();
  }

  void StartOut(bool only = false) {
    ASSERT_TRUE(session.StartStreamWriter(Direction::Out, only));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)); }));
  }

  // What the session does at a resume.
  void Resume() {
    session.ResetHandoffs();
    Flags().Clear();
  }
};

}  // namespace

TEST_F(StreamWriterTest, ARecordingShorterThanABlockIsWrittenAtStop) {
  StartOut();
  // The header is there from the start.
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(StreamName(Direction::Out)) == 44; }));
  std::string audio = Pattern(100000, 1);
  Append(Direction::Out, audio.substr(0, 30000));
  Append(Direction::Out, audio.substr(30000));
  StopWriter();
  EXPECT_TRUE(SameBytes(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, audio)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
}

TEST_F(StreamWriterTest, AnOddByteCountIsKeptAsReceived) {
  StartOut();
  std::string audio = Pattern(1001, 2);
  Append(Direction::Out, audio);
  StopWriter();
  std::string file = ReadFileBytes(StreamName(Direction::Out));
  EXPECT_EQ(file, WaveImage(1, audio));
  EXPECT_EQ(file.size(), 1045u);
}

TEST_F(StreamWriterTest, NoAudioGivesA44ByteFileWithRiffSize36) {
  StartOut();
  StopWriter();
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), Header(1, 36, 0));
}

TEST_F(StreamWriterTest, AnExistingFileIsReplaced) {
  ASSERT_TRUE(WriteFileBytes(StreamName(Direction::Out), std::string(5000, 'o')));
  StartOut();
  StopWriter();
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), Header(1, 36, 0));
}

TEST_F(StreamWriterTest, FullBlocksAreWrittenWhileRecordingAndTheRestAtStop) {
  StartOut();
  std::string audio = Pattern(kHandoffMaxCount + 40000, 3);
  for (size_t at = 0; at < audio.size(); at += 40000) Append(Direction::Out, audio.substr(at, 40000));
  // The block became Ready when a chunk no longer fitted: the writer writes it
  // without a stop. It held the 52 chunks that fitted below 2,097,148 bytes.
  const uint64_t firstBlock = (kHandoffMaxCount / 40000) * 40000;
  EXPECT_TRUE(WaitUntil([&] { return SizeOf(StreamName(Direction::Out)) == 44 + firstBlock; }));
  StopWriter();
  EXPECT_TRUE(SameBytes(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, audio)));
}

TEST_F(StreamWriterTest, PauseThenResumeLeavesThePauseOutAndKeepsTheRestContiguous) {
  StartOut();
  std::string before = Pattern(20000, 4), during = Pattern(7000, 5), after = Pattern(9000, 6);
  Append(Direction::Out, before);
  Flags().RequestPause();
  ASSERT_TRUE(WaitUntil([&] { return Flags().pauseNoted.load() == 1; }));
  EXPECT_EQ(SizeOf(StreamName(Direction::Out)), 44 + before.size());
  Append(Direction::Out, during);
  Resume();
  Append(Direction::Out, after);
  Flags().RequestPause();  // a second pause and resume
  ASSERT_TRUE(WaitUntil([&] { return Flags().pauseNoted.load() == 1; }));
  Append(Direction::Out, during);
  Resume();
  Append(Direction::Out, before);
  StopWriter();
  EXPECT_TRUE(SameBytes(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, before + after + before)));
}

TEST_F(StreamWriterTest, PauseThenStopHoldsOnlyTheAudioUpToThePause) {
  StartOut();
  std::string before = Pattern(3000, 7);
  Append(Direction::Out, before);
  Flags().RequestPause();
  ASSERT_TRUE(WaitUntil([&] { return Flags().pauseNoted.load() == 1; }));
  Append(Direction::Out, Pattern(5000, 8));
  StopWriter();
  EXPECT_TRUE(SameBytes(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, before)));
}

TEST_F(StreamWriterTest, AFileThatCannotBeCreatedIsReported) {
  InjectFileFault({FileOp::Create, L"_Out.sky"});
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(WaitUntil([&] { return events.count(RecordingFailure::StreamFileNotCreated) == 1; }));
  WriterHandle writer = session.Writer(Direction::Out);
  writer->Wait();
  EXPECT_TRUE(writer->Ended());
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
}

TEST_F(StreamWriterTest, AFailingDataWriteIsReportedAndKeepsWhatWasWritten) {
  // The header's three pieces, the first data write and the header's update
  // after it succeed; the second data write fails (a full disk).
  InjectFileFault({FileOp::Write, L"_Out.sky", 7});
  StartOut();
  std::string first = Pattern(1000, 9);
  Append(Direction::Out, first);
  Flags().RequestPause();
  ASSERT_TRUE(WaitUntil([&] { return Flags().pauseNoted.load() == 1; }));
  Resume();
  Append(Direction::Out, Pattern(1000, 10));
  Flags().stop = 1;
  WriterHandle writer = session.Writer(Direction::Out);
  writer->Wait();
  EXPECT_EQ(events.failures(), std::vector<RecordingFailure>{RecordingFailure::StreamWriteFailed});
  EXPECT_TRUE(writer->WriteFailed());
  // The file is a playable recording of what reached it.
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, first));
}

TEST_F(StreamWriterTest, AFailingHeaderWriteIsReported) {
  InjectFileFault({FileOp::Write, L"_In.sky", 1});
  ASSERT_TRUE(session.StartStreamWriter(Direction::In, false));
  WriterHandle writer = session.Writer(Direction::In);
  ASSERT_TRUE(WaitUntil([&] { return writer->Ended(); }));
  EXPECT_EQ(events.failures(), std::vector<RecordingFailure>{RecordingFailure::StreamWriteFailed});
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::In)).size(), 12u);
}

TEST_F(StreamWriterTest, AThreadThatCannotBeStartedIsReported) {
  session.FailNextWriterThreadStarts(1);
  EXPECT_FALSE(session.StartStreamWriter(Direction::In, false));
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.failures(), std::vector<RecordingFailure>{RecordingFailure::WriterThread});
}

TEST_F(StreamWriterTest, TheOnlyDirectionBecomesTheRecording) {
  settings.Change([&](SettingsRecord& s) { s.formats = kFormatWav; });
  calls.SetPartners(L"alice");
  StartOut(true);
  std::string audio = Pattern(6000, 11);
  Append(Direction::Out, audio);
  session.FinishRecording();
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_TRUE(SameBytes(ReadFileBytes(base + L"(alice).wav"), WaveImage(1, audio)));
}

TEST_F(StreamWriterTest, AnOlderRecordingOfTheSameNameIsKept) {
  std::string older = "an older recording";
  ASSERT_TRUE(WriteFileBytes(base + L"().wav", older));
  StartOut(true);
  std::string audio = Pattern(6000, 12);
  Append(Direction::Out, audio);
  StopWriter();
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), older);
  EXPECT_TRUE(SameBytes(ReadFileBytes(base + L"() (2).wav"), WaveImage(1, audio)));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
}

TEST_F(StreamWriterTest, WhenTheMoveFailsTheStreamFileKeepsTheAudio) {
  InjectFileFault({FileOp::Move, L"_Out.sky"});
  StartOut(true);
  std::string audio = Pattern(6000, 12);
  Append(Direction::Out, audio);
  StopWriter();
  EXPECT_EQ(FiredFileFaults(), 1);
  EXPECT_FALSE(FileExists(base + L"().wav"));
  EXPECT_TRUE(SameBytes(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, audio)));
}

// A receiver thread appends as the audio server does, in chunks of up to
// 64 KiB, while the writer drains the hand-off to disk, with a pause and a
// resume from the session in between. The file must hold exactly the chunks
// Append kept outside the pause. The test holds the receiver between two chunks
// (through `gate`) while it pauses, resumes and stops, so that each chunk
// belongs to one side of each event.
TEST_F(StreamWriterTest, UnderLoadTheFileHoldsWhatWasKeptOutsideThePause) {
  StartOut();
  std::string expected;
  bool stop = false, paused = false;
  size_t offeredInPause = 0;  // chunks
  std::mutex gate;
  std::thread receiver([&] {
    std::mt19937 random(9);
    uint32_t seed = 100;
    for (;;) {
      std::string chunk = Pattern(1 + random() % 65536, seed++);
      {
        std::lock_guard<std::mutex> lock(gate);
        if (stop) return;
        size_t kept = session.Handoff(Direction::Out).Append(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
        if (kept == chunk.size() && !paused) expected += chunk;
        if (paused) ++offeredInPause;
      }
      if (random() % 4 == 0) std::this_thread::yield();
    }
  });
  auto recordFor = [&](size_t bytes) {
    size_t start;
    {
      std::lock_guard<std::mutex> lock(gate);
      start = expected.size();
    }
    return WaitUntil([&] {
      std::lock_guard<std::mutex> lock(gate);
      return expected.size() >= start + bytes;
    });
  };
  EXPECT_TRUE(recordFor(5 << 20));
  {
    std::lock_guard<std::mutex> lock(gate);
    paused = true;
    Flags().RequestPause();
    EXPECT_TRUE(WaitUntil([&] { return Flags().pauseNoted.load() == 1; }));
    offeredInPause = 0;
  }
  // Audio comes during the pause.
  EXPECT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> lock(gate);
    return offeredInPause >= 16;
  }));
  {
    std::lock_guard<std::mutex> lock(gate);
    Resume();
    paused = false;
  }
  EXPECT_TRUE(recordFor(3 << 20));
  {
    std::lock_guard<std::mutex> lock(gate);
    stop = true;
    Flags().stop = 1;
  }
  receiver.join();
  session.Writer(Direction::Out)->Wait();
  std::string file = ReadFileBytes(StreamName(Direction::Out));
  EXPECT_TRUE(SameBytes(file, WaveImage(1, expected)));
}

// A resume may come while the writer is still flushing for the pause before;
// the next pause must still be flushed. A stop during a pause writes nothing
// more, so the marker is in the file only if the second pause was flushed.
TEST_F(StreamWriterTest, APauseIsFlushedEvenAfterAResumeDuringTheFlushBefore) {
  // The writer is held inside its write of the first pause's audio while the
  // session resumes, a marker arrives and the second pause is requested.
  WriteHold hold(L"_Out.sky");
  StartOut();
  Append(Direction::Out, Pattern(1000000, 100));
  Flags().RequestPause();
  ASSERT_TRUE(hold.WaitUntilHeld());
  Resume();
  std::string marker = Pattern(6400, 500);
  Append(Direction::Out, marker);
  Flags().RequestPause();
  hold.Release();
  session.FinishRecording();
  std::string file = ReadFileBytes(base + L"().wav");
  ASSERT_EQ(file.size(), 44u + 1000000u + marker.size());
  EXPECT_TRUE(SameBytes(file.substr(44), Pattern(1000000, 100) + marker));
}

// A writer needs no session: it is given its file, its hand-off and its flags.
// Audio reaches the file while it records, without a stop and long before a
// block is full: once it has waited the flush interval, or once enough of it
// has come. Between these the writer sleeps: small audio does not make it write.
class WriterOfItsOwn : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(handoff.Allocate()); }
  void TearDown() override {
    flags.stop = 1;
    if (thread.joinable()) thread.join();
  }
  void Start(std::chrono::milliseconds flushInterval) {
    job.streamName = name;
    job.handoff = &handoff;
    job.flags = &flags;
    job.flushInterval = flushInterval;
    thread = std::thread([this] { result = RunStreamWriter(job); });
    ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) == 44; }));
  }
  void Put(const std::string& bytes) {
    ASSERT_EQ(handoff.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), bytes.size());
  }

  TempDir dir;
  std::wstring name = dir.file(L"own_Out.sky");
  StreamHandoff handoff;
  WriterFlags flags;
  StreamWriterJob job;
  WriterResult result;
  std::thread thread;
};

TEST_F(WriterOfItsOwn, AudioThatWaitedTheFlushIntervalIsWrittenWithoutAStop) {
  Start(std::chrono::milliseconds(50));
  std::string first = Pattern(3200, 1), second = Pattern(640, 2);
  Put(first);
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) == 44 + first.size(); }));
  // Everything written, the writer sleeps until audio comes again.
  Put(second);
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) == 44 + first.size() + second.size(); }));
  flags.stop = 1;
  thread.join();
  EXPECT_TRUE(result.completed);
  EXPECT_TRUE(SameBytes(ReadFileBytes(name), WaveImage(1, first + second)));
}

TEST_F(WriterOfItsOwn, AQuarterMegabyteWaitingIsWrittenAheadAndLessIsNot) {
  using Clock = WriterWake::Clock;
  // When the writer last went to sleep with a deadline of its own: it had
  // seen audio waiting and chose to let it wait.
  std::atomic<bool> letWait{false};
  std::atomic<Clock::rep> until{0};
  job.onSleep = [&](Clock::time_point deadline) {
    if (deadline == Clock::time_point::max()) return;
    until.store(deadline.time_since_epoch().count());
    letWait.store(true);
  };
  Start(std::chrono::hours(1));
  std::string audio = Pattern(300000, 3);
  Put(audio.substr(0, 640));
  Put(audio.substr(640));
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) == 44 + audio.size(); }));
  // Little more: the writer looks at it and has no reason to write it before
  // its hour is up.
  letWait.store(false);
  std::string little = Pattern(6400, 4);
  const Clock::time_point put = Clock::now();
  Put(little);
  ASSERT_TRUE(WaitUntil([&] { return letWait.load() || SizeOf(name) != 44 + audio.size(); }));
  EXPECT_EQ(SizeOf(name), 44 + audio.size());
  EXPECT_GE(Clock::time_point(Clock::duration(until.load())), put + std::chrono::minutes(59));
  flags.stop = 1;
  thread.join();
  EXPECT_TRUE(SameBytes(ReadFileBytes(name), WaveImage(1, audio + little)));
}

// Audio that spilled into the overflow while the full block waited for the
// writer reaches the file within the flush interval although no audio comes
// after it (the call goes quiet, or it was the last before a crash).
TEST_F(WriterOfItsOwn, AudioThatSpilledPastAFullBlockIsWrittenWithoutMoreAudio) {
  Start(std::chrono::milliseconds(50));
  std::string full = Pattern(kHandoffMaxCount, 10), spill = Pattern(6400, 11);
  Put(full);
  Put(spill);
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) == 44 + full.size() + spill.size(); }));
  flags.stop = 1;
  thread.join();
  EXPECT_TRUE(SameBytes(ReadFileBytes(name), WaveImage(1, full + spill)));
}

// A stream file cut off at any moment is a WAV file of what was written: the
// sizes follow the audio while the writer runs, through full blocks too. The
// file is read while its writer holds it, which Windows does not allow.
TEST_F(WriterOfItsOwn, TheHeaderFollowsTheAudioWhileTheWriterRuns) {
#ifdef _WIN32
  GTEST_SKIP() << "a stream file cannot be read while its writer holds it";
#endif
  Start(std::chrono::milliseconds(50));
  std::string audio = Pattern(3200, 5);
  Put(audio);
  ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(name) == WaveImage(1, audio); }));
  // More than a block: once the full one is written, the next audio moves the
  // overflow into the handoff block, and the refresh lands inside that block.
  std::string more = Pattern(kHandoffMaxCount + 100000, 6);
  for (size_t at = 0; at < more.size(); at += 40000) Put(more.substr(at, 40000));
  const uint64_t firstBlock = (kHandoffMaxCount / 40000) * 40000;
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) >= 44 + audio.size() + firstBlock; }));
  std::string tail = Pattern(640, 9);
  Put(tail);
  audio += more + tail;
  ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(name) == WaveImage(1, audio); }));
}

// Killed between a data write and the header's update: the file then holds
// the new audio behind the sizes of before, and the recovery of a copy of it
// gives all of the audio.
TEST_F(WriterOfItsOwn, ACrashBetweenDataAndHeaderLosesNothingWrittenToTheFile) {
#ifdef _WIN32
  GTEST_SKIP() << "a stream file cannot be read while its writer holds it";
#endif
  std::string first = Pattern(3200, 7), second = Pattern(6400, 8), atCrash;
  // Writes: the header (3), the first audio (1), its header update (3), the
  // second audio (1); the ninth is the update after it.
  FileFault fault{FileOp::Write, L"own_Out.sky", 8};
  std::atomic<bool> captured{false};
  fault.hold = [&] {
    atCrash = ReadFileBytes(name);
    captured = true;
  };
  InjectFileFault(fault);
  Start(std::chrono::milliseconds(50));
  Put(first);
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(name) == 44 + first.size(); }));
  Put(second);
  ASSERT_TRUE(WaitUntil([&] { return captured.load(); }));
  EXPECT_EQ(atCrash, WaveImage(1, first) + second);
  ASSERT_TRUE(WriteFileBytes(dir.file(L"crash_Out.sky"), atCrash));
  RecoveryReport report = RecoverRecordings(dir.path(), false, kFormatWav);
  ASSERT_EQ(report.recovered.size(), 1u);
  EXPECT_EQ(NameOfFile(report.recovered[0]), L"crash (recovered)().wav");
  EXPECT_TRUE(SameBytes(ReadFileBytes(report.recovered[0]), WaveImage(1, first + second)));
}
