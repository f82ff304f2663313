#include <gtest/gtest.h>

#include <algorithm>

#include "platform/main_window.h"
#include "record/mixer.h"
#include "tests/record/main_window_probe.h"
#include "tests/record/record_test_support.h"
#include "tests/support/capture.h"
#include "tests/support/wait.h"

namespace {

class FinishTest : public RecordingTest {
 protected:
  void StartBoth() {
    ASSERT_TRUE(StartStreamWriter(Direction::Out, false));
    ASSERT_TRUE(StartStreamWriter(Direction::In, false));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)) && FileExists(StreamName(Direction::In)); }));
  }
  FakeRecordingView view;
};

}  // namespace

TEST_F(FinishTest, WithoutASessionNothingHappens) {
  FinishRecording(view);
  AbortRecording(view);
  EXPECT_FALSE(StartFinishRecording(view));
  EXPECT_EQ(view.ended, 0);
  EXPECT_EQ(view.folderStatus, 0);
}

TEST_F(FinishTest, BothDirectionsAreStoppedMixedAndForgotten) {
  TraceCapture trace;
  Settings.Change([&](SettingsRecord& s) {
    s.ShowStatusOnTray = 1;
    s.OpenRecordFolderAfterRecording = 1;
  });
  finishedCallPartners.Set(0, L"alice");
  recordingSession.startTick = 1234;
  recordingSession.elapsedSeconds = 5;
  recordingSession.accumulatedSeconds = 3;
  StartBoth();
  Append(Direction::Out, Samples({1000, 20000, -3}));
  Append(Direction::In, Samples({10, 20000}));
  FinishRecording(view);

  EXPECT_EQ(ReadFileBytes(base + L"(alice).wav"), WaveImage(1, Samples({1010, 32767, -3})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(recordingSession.finishing, 0u);
  EXPECT_EQ(recordingSession.startTick, 0u);
  EXPECT_EQ(recordingSession.elapsedSeconds, 0u);
  EXPECT_EQ(recordingSession.accumulatedSeconds, 0u);
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(view.balloons, 2);
  EXPECT_EQ(view.folderStatus, 1);
  EXPECT_EQ(view.opened, 1);
  EXPECT_EQ(view.openedFolder, dir.path());
  std::vector<std::wstring> lines = trace.lines();
  auto at = [&](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
  EXPECT_LT(at(L"Wait out..."), at(L"Wait in..."));
  EXPECT_LT(at(L"Wait in..."), at(L"CombinInOutWave"));
  EXPECT_LT(at(L"CombinInOutWave"), static_cast<long>(lines.size()));
}

TEST_F(FinishTest, SaveLFMixesInStereo) {
  TraceCapture trace;
  Settings.Change([&](SettingsRecord& s) { s.SaveLF = 1; });
  StartBoth();
  Append(Direction::Out, Samples({1, 2}));
  Append(Direction::In, Samples({3}));
  FinishRecording(view);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(2, Samples({1, 3, 2, 0})));
  EXPECT_TRUE(trace.contains(L"CombinInOutWaveWithStereo"));
}

TEST_F(FinishTest, AOneDirectionRecordingIsNotMixed) {
  TraceCapture trace;
  ASSERT_TRUE(StartStreamWriter(Direction::In, true));
  Append(Direction::In, Samples({5, 6, 7}));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::In)); }));
  FinishRecording(view);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({5, 6, 7})));
  EXPECT_TRUE(trace.contains(L"Wait in..."));
  EXPECT_FALSE(trace.contains(L"Wait out..."));
  EXPECT_FALSE(trace.contains(L"CombinInOutWave"));
  EXPECT_FALSE(recordingSession.Exists());
}

TEST_F(FinishTest, ALoneWriterOfATwoWayRecordingStillBecomesTheRecording) {
  MessageBoxCapture boxes;
  ASSERT_TRUE(StartStreamWriter(Direction::Out, false));
  FailNextWriterThreadStarts(1);
  EXPECT_FALSE(StartStreamWriter(Direction::In, false));
  Append(Direction::Out, Samples({9, 8}));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::Out)); }));
  FinishRecording(view);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({9, 8})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
}

TEST_F(FinishTest, ALoneWriterWhoseWritesFailedStillLeavesAPlayableRecording) {
  MessageBoxCapture boxes;
  // The header goes, the audio does not: the disk is full (a rewrite of the
  // header in place still succeeds then).
  InjectFileFault({FileOp::Write, L"_Out.sky", 3});
  ASSERT_TRUE(StartStreamWriter(Direction::Out, false));
  FailNextWriterThreadStarts(1);
  EXPECT_FALSE(StartStreamWriter(Direction::In, false));
  Append(Direction::Out, Samples({9, 8}));
  FinishRecording(view);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, ""));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_EQ(boxes.texts(), (std::vector<std::wstring>{L"Create Record Thread Fail!\n", L"write file fail!"}));
}

// The disk fills during the call: the writer that cannot write ends with a
// playable file, there is no room for a mixed copy, and the two files are
// mixed where they lie into the recording.
TEST_F(FinishTest, AFullDiskLeavesAMixOfEverythingWrittenUnderTheOutputName) {
  MessageBoxCapture boxes;
  MainWindowProbe probe;
  // Out: its header, its first audio and that header update; then the disk is full.
  InjectFileFault({FileOp::Write, L"_Out.sky", 7});
  StartBoth();
  Append(Direction::Out, Samples({1, 2, 3}));
  Append(Direction::In, Samples({4, 5}));
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(StreamName(Direction::Out)) == 50 && SizeOf(StreamName(Direction::In)) == 48; }));
  Append(Direction::Out, Samples({6}));
  WriterHandle out = recordingSession.Writer(Direction::Out);
  ASSERT_TRUE(WaitUntil([&] { return out->Ended(); }));
  EXPECT_TRUE(out->WriteFailed());
  // The window is told: it ends the recording (the abort) and shows why.
  ASSERT_TRUE(WaitUntil([&] { return probe.count(WM_STREAM_FILE_FAILED) == 1; }));
  Append(Direction::In, Samples({7, 8}));
  ASSERT_TRUE(WaitUntil([&] { return SizeOf(StreamName(Direction::In)) == 52; }));
  InjectFileFault({FileOp::Write, L"().wav"});
  AbortRecording(view);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({5, 7, 10, 8})));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_FALSE(FileExists(base + L".rec"));
  EXPECT_EQ(boxes.texts(), (std::vector<std::wstring>{L"write file fail!", L"write file fail!"}));
}

TEST_F(FinishTest, AFailedMixKeepsTheStreamFilesWithTheirAudio) {
  MessageBoxCapture boxes;
  StartBoth();
  Append(Direction::Out, Samples({1, 2, 3}));
  Append(Direction::In, Samples({4}));
  InjectFileFault({FileOp::Create, L"().wav"});
  FinishRecording(view);
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::Out)), WaveImage(1, Samples({1, 2, 3})));
  EXPECT_EQ(ReadFileBytes(StreamName(Direction::In)), WaveImage(1, Samples({4})));
  EXPECT_FALSE(FileExists(base + L"().wav"));
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(boxes.texts(), std::vector<std::wstring>{L"err 2"});
}

TEST_F(FinishTest, OnlyOneFinishingRunsAndTheExitCanWaitForIt) {
  StartBoth();
  Append(Direction::Out, Samples({1}));
  EXPECT_TRUE(StartFinishRecording(view));
  // Claimed at once on the caller's thread: a repeated end of call or a
  // second Stop starts nothing, and neither does an abort.
  EXPECT_FALSE(StartFinishRecording(view));
  AbortRecording(view);
  WaitForFinishing();
  EXPECT_EQ(recordingSession.finishing, 0u);
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(ReadFileBytes(base + L"().wav"), WaveImage(1, Samples({1})));
}

TEST_F(FinishTest, AbortStopsTheOtherWriterAndKeepsItsAudio) {
  MainWindowProbe probe;
  InjectFileFault({FileOp::Create, L"_Out.sky"});
  ASSERT_TRUE(StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(StartStreamWriter(Direction::In, false));
  ASSERT_TRUE(WaitUntil([&] { return probe.count(WM_STREAM_FILE_FAILED) == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::In)); }));
  std::string audio = Pattern(30000, 1);
  Append(Direction::In, audio);
  recordingSession.startTick = 99;
  AbortRecording(view);
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(recordingSession.finishing, 0u);
  EXPECT_EQ(recordingSession.startTick, 0u);
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(view.folderStatus, 1);
  // The In writer was stopped, not forgotten: its file is finished and is the
  // recording under the normal name.
  EXPECT_TRUE(SameBytes(ReadFileBytes(base + L"().wav"), WaveImage(1, audio)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
  EXPECT_FALSE(FileExists(StreamName(Direction::Out)));
}

TEST_F(FinishTest, AnAbortStartedForTheWindowReturnsWhileTheOtherWriterStillWrites) {
  MainWindowProbe probe;
  InjectFileFault({FileOp::Create, L"_Out.sky"});
  WriteHold hold(L"_In.sky");
  ASSERT_TRUE(StartStreamWriter(Direction::Out, false));
  ASSERT_TRUE(StartStreamWriter(Direction::In, false));
  ASSERT_TRUE(WaitUntil([&] { return probe.count(WM_STREAM_FILE_FAILED) == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(StreamName(Direction::In)); }));
  std::string audio = Pattern(30000, 2);
  Append(Direction::In, audio);
  ASSERT_TRUE(StartAbortRecording(view));
  EXPECT_FALSE(StartAbortRecording(view)) << "claimed at once";
  EXPECT_FALSE(StartFinishRecording(view));
  // The writer is held inside its last write, and the caller is free.
  ASSERT_TRUE(hold.WaitUntilHeld());
  EXPECT_TRUE(FinishingRunning());
  EXPECT_EQ(view.ended, 0) << "the window learns of the end once the writer has ended";
  hold.Release();
  WaitForFinishing();
  EXPECT_EQ(view.ended, 1);
  EXPECT_FALSE(recordingSession.Exists());
  // The other direction's complete file is the recording.
  EXPECT_TRUE(SameBytes(ReadFileBytes(base + L"().wav"), WaveImage(1, audio)));
  EXPECT_FALSE(FileExists(StreamName(Direction::In)));
}
