#include <gtest/gtest.h>

#include <algorithm>

#include "record/mixer.h"
#include "tests/record/record_test_support.h"
#include "tests/support/wait.h"

namespace {

class FinishTest : public RecordingTest {
 protected:
  void StartBoth() {
    ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
    ASSERT_TRUE(session.StartStreamWriter(Direction::In, false));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)) && FileExists(StreamName(Direction::In)); }));
  }
};

using Failures = std::vector<RecordingFailure>;

}  // namespace

TEST_F(FinishTest, WithoutASessionNothingHappens) {
  session.FinishRecording();
  session.AbortRecording();
  EXPECT_FALSE(session.StartFinishRecording());
  EXPECT_EQ(events.finishing, 0);
  EXPECT_EQ(events.stopped, 0);
  EXPECT_TRUE(events.finished().empty());
}

TEST_F(FinishTest, BothDirectionsAreStoppedMixedAndForgotten) {
  calls.SetPartners(L"alice");
  session.startTick = 1234;
  session.elapsedSeconds = 5;
  session.accumulatedSeconds = 3;
  StartBoth();
  Append(Direction::Out, Samples({1000, 20000, -3}));
  Append(Direction::In, Samples({10, 20000}));
  session.FinishRecording();

  EXPECT_EQ(ReadFileBytes(base + L"(alice).wav"), WaveImage(1, Samples({1010, 32767, -3})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(session.finishing, 0u);
  EXPECT_EQ(session.startTick, 0u);
  EXPECT_EQ(session.elapsedSeconds, 0u);
  EXPECT_EQ(session.accumulatedSeconds, 0u);
  EXPECT_EQ(events.finishing, 1);
  EXPECT_EQ(events.stopped, 1);
  ASSERT_EQ(events.finished().size(), 1u);
  FinishedRecording finished = events.finished()[0];
  EXPECT_EQ(finished.folder, dir.path());
  EXPECT_EQ(finished.recording, base + L"(alice).wav");
  EXPECT_FALSE(finished.aborted);
  EXPECT_EQ(finished.encoders.chosen, 0);
  EXPECT_TRUE(events.failures().empty());
}

TEST_F(FinishTest, SaveLFMixesInStereo) {
  settings.Change([&](SettingsRecord& s) { s.stereo = 1; });
  StartBoth();
  Append(Direction::Out, Samples({1, 2}));
  Append(Direction::In, Samples({3}));
  session.FinishRecording();
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(2, Samples({1, 3, 2, 0})));
}

TEST_F(FinishTest, AOneDirectionRecordingIsNotMixed) {
  ASSERT_TRUE(session.StartStreamWriter(Direction::In, true));
  Append(Direction::In, Samples({5, 6, 7}));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::In)); }));
  session.FinishRecording();
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({5, 6, 7})));
  // Its stream file became the recording: nothing else is left in the folder.
  std::vector<FolderEntry> entries = FolderEntriesOf(dir.path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(dir.file(entries[0].name), base + L"().wav");
  EXPECT_FALSE(session.Exists());
}

TEST_F(FinishTest, ALoneWriterOfATwoWayRecordingStillBecomesTheRecording) {
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  session.FailNextWriterThreadStarts(1);
  EXPECT_FALSE(session.StartStreamWriter(Direction::In, false));
  Append(Direction::Out, Samples({9, 8}));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)); }));
  session.FinishRecording();
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({9, 8})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_EQ(events.failures(), Failures{RecordingFailure::WriterThread});
}

TEST_F(FinishTest, ALoneWriterWhoseWritesFailedStillLeavesAPlayableRecording) {
  // The header goes, the audio does not: the disk is full (a rewrite of the
  // header in place still succeeds then).
  InjectFileFault({FileOp::Write, L"_Out.sky", 3});
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  session.FailNextWriterThreadStarts(1);
  EXPECT_FALSE(session.StartStreamWriter(Direction::In, false));
  Append(Direction::Out, Samples({9, 8}));
  session.FinishRecording();
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, ""));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_EQ(events.failures(), (Failures{RecordingFailure::WriterThread, RecordingFailure::StreamWriteFailed}));
}

// The disk fills during the call: the writer that cannot write ends with a
// playable file, there is no room for a mixed copy, and the two files are
// mixed where they lie into the recording.
TEST_F(FinishTest, AFullDiskLeavesAMixOfEverythingWrittenUnderTheOutputName) {
  // Out: its header, its first audio and that header update; then the disk is full.
  InjectFileFault({FileOp::Write, L"_Out.sky", 7});
  StartBoth();
  Append(Direction::Out, Samples({1, 2, 3}));
  Append(Direction::In, Samples({4, 5}));
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(StreamName(Direction::Out)) == 50 && SizeOf(StreamName(Direction::In)) == 48; }));
  Append(Direction::Out, Samples({6}));
  WriterHandle out = session.Writer(Direction::Out);
  ASSERT_TRUE(WaitUntil([&] { return out->Ended(); }));
  EXPECT_TRUE(out->WriteFailed());
  // The application is told: it ends the recording (the abort) and shows why.
  ASSERT_TRUE(WaitUntil([&] { return events.count(RecordingFailure::StreamWriteFailed) == 1; }));
  Append(Direction::In, Samples({7, 8}));
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(StreamName(Direction::In)) == 52; }));
  InjectFileFault({FileOp::Write, L"().wav"});
  session.AbortRecording();
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({5, 7, 10, 8})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_FALSE(FileExists(base + L".rec"));
  // The mixed copy could not be written either; the mix in place could.
  EXPECT_EQ(events.failures(), (Failures{RecordingFailure::StreamWriteFailed, RecordingFailure::MixWriteFailed}));
  ASSERT_EQ(events.finished().size(), 1u);
  EXPECT_TRUE(events.finished()[0].aborted);
  EXPECT_EQ(events.finished()[0].recording, base + L"().wav");
}

TEST_F(FinishTest, AFailedMixKeepsTheStreamFilesWithTheirAudio) {
  StartBoth();
  Append(Direction::Out, Samples({1, 2, 3}));
  Append(Direction::In, Samples({4}));
  InjectFileFault({FileOp::Create, L"().wav"});
  session.FinishRecording();
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, Samples({1, 2, 3})));
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::In)), WaveImage(1, Samples({4})));
  EXPECT_FALSE(FileExists(base + L"().wav"));
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.stopped, 1);
  EXPECT_EQ(events.failures(), Failures{RecordingFailure::MixOutputNotCreated});
  ASSERT_EQ(events.finished().size(), 1u);
  EXPECT_EQ(events.finished()[0].recording, L"");
}

TEST_F(FinishTest, OnlyOneFinishingRunsAndTheExitCanWaitForIt) {
  StartBoth();
  Append(Direction::Out, Samples({1}));
  EXPECT_TRUE(session.StartFinishRecording());
  // Claimed at once on the caller's thread: a repeated end of call or a
  // second Stop starts nothing, and neither does an abort.
  EXPECT_FALSE(session.StartFinishRecording());
  session.AbortRecording();
  session.WaitForFinishing();
  EXPECT_EQ(session.finishing, 0u);
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.stopped, 1);
  EXPECT_EQ(events.finished().size(), 1u);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({1})));
}

TEST_F(FinishTest, AbortStopsTheOtherWriterAndKeepsItsAudio) {
  InjectFileFault({FileOp::Create, L"_Out.sky"});
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(session.StartStreamWriter(Direction::In, false));
  ASSERT_TRUE(WaitUntil([&] { return events.count(RecordingFailure::StreamFileNotCreated) == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::In)); }));
  std::string audio = Pattern(30000, 1);
  Append(Direction::In, audio);
  session.startTick = 99;
  session.AbortRecording();
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(session.finishing, 0u);
  EXPECT_EQ(session.startTick, 0u);
  EXPECT_EQ(events.stopped, 1);
  EXPECT_EQ(events.finishing, 0) << "an abort is not a finishing the user asked for";
  ASSERT_EQ(events.finished().size(), 1u);
  EXPECT_TRUE(events.finished()[0].aborted);
  // The In writer was stopped, not forgotten: its file is finished and is the
  // recording under the normal name.
  EXPECT_TRUE(SameBytes(ReadFileBytes(base + L"().wav"), WaveImage(1, audio)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
}

TEST_F(FinishTest, AnAbortStartedForTheWindowReturnsWhileTheOtherWriterStillWrites) {
  InjectFileFault({FileOp::Create, L"_Out.sky"});
  WriteHold hold(L"_In.sky");
  ASSERT_TRUE(session.StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(session.StartStreamWriter(Direction::In, false));
  ASSERT_TRUE(WaitUntil([&] { return events.count(RecordingFailure::StreamFileNotCreated) == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::In)); }));
  std::string audio = Pattern(30000, 2);
  Append(Direction::In, audio);
  ASSERT_TRUE(session.StartAbortRecording());
  EXPECT_FALSE(session.StartAbortRecording()) << "claimed at once";
  EXPECT_FALSE(session.StartFinishRecording());
  // The writer is held inside its last write, and the caller is free.
  ASSERT_TRUE(hold.WaitUntilHeld());
  EXPECT_TRUE(session.FinishingRunning());
  EXPECT_EQ(events.stopped, 0) << "the application learns of the end once the writer has ended";
  hold.Release();
  session.WaitForFinishing();
  EXPECT_EQ(events.stopped, 1);
  EXPECT_FALSE(session.Exists());
  // The other direction's complete file is the recording.
  EXPECT_TRUE(SameBytes(ReadFileBytes(base + L"().wav"), WaveImage(1, audio)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
}

// A call right after another: the next call comes into progress while the
// last one's recording is still being finished (its writers still write).
// The recording is named after the partners of the moment it ended, mixed or
// made of its one direction, not after the call that is in progress by the
// time its files are put together.
TEST_F(FinishTest, ARecordingIsNamedAfterThePartnersOfTheMomentItEnded) {
  for (bool both : {true, false}) {
    SCOPED_TRACE(both ? "mixed" : "one direction");
    // As a start clears them: the last finishing left the stop flags set.
    for (Direction d : {Direction::Out, Direction::In}) session.Flags(d).Clear();
    WriteHold hold(L"_Out.sky");
    calls.SetPartners(L"kate");
    if (both) {
      StartBoth();
    } else {
      ASSERT_TRUE(session.StartStreamWriter(Direction::Out, true));
      ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)); }));
    }
    Append(Direction::Out, Samples({1, 2, 3}));
    ASSERT_TRUE(session.StartFinishRecording());
    // The finishing waits for the writer, which is held in its last write.
    ASSERT_TRUE(hold.WaitUntilHeld());
    calls.SetPartners(L"liam");
    hold.Release();
    session.WaitForFinishing();
    EXPECT_EQ(ReadFileBytes(base + L"(kate).wav"), WaveImage(1, Samples({1, 2, 3})));
    EXPECT_FALSE(FileExists(base + L"(liam).wav"));
    ASSERT_TRUE(RemoveFile(base + L"(kate).wav"));
    ClearFileFaults();
  }
}
