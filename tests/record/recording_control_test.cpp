// Starting, resuming and pausing a recording, as the main window's handlers do.
#include <gtest/gtest.h>

#include <thread>

#include "platform/paths.h"
#include "record/recording_control.h"
#include "settings/language.h"
#include "tests/record/record_test_support.h"
#include "tests/support/capture.h"
#include "tests/support/wait.h"

namespace {

class SessionControlTest : public RecordingTest {
 protected:
  void SetUp() override {
    RecordingTest::SetUp();
    session.SetBasePath(L"");
    session.ClearTimes();
    calls.inProgress = true;
  }

  // The one recording the test made, named after its (empty) partner list.
  std::wstring Recording() const { return session.BasePath() + L"().wav"; }
  void WaitForStreamFiles() {
    ASSERT_TRUE(WaitUntil([&] {
      std::wstring base = session.BasePath();
      return FileExists(base + L"_Out.sky") && FileExists(base + L"_In.sky");
    }));
  }

};

LocalTime March7() {
  LocalTime t;
  t.year = 2011;
  t.month = 3;
  t.day = 7;
  t.hour = 9;
  t.minute = 5;
  t.second = 2;
  return t;
}

}  // namespace

TEST(BasePath, JoinsFolderDateAndTimeWithTheLabels) {
  DateLabels labels{L"-", L"-", L"", L"h", L"m", L"s"};
  EXPECT_EQ(BuildBasePath(L"D:\\Rec", March7(), labels), L"D:\\Rec\\2011-03-07 09h05m02s");
  EXPECT_EQ(BuildBasePath(L"C:\\", March7(), labels), L"C:\\2011-03-07 09h05m02s");
  LocalTime late = March7();
  late.year = 999;
  late.hour = 23;
  EXPECT_EQ(BuildBasePath(L"D:\\Rec", late, labels), L"D:\\Rec\\999-03-07 23h05m02s");
}

TEST(BasePath, LabelsThatCannotStandInANameAreMadeSafe) {
  TempDir dir;
  std::wstring path = dir.file(L"Language.ini");
  ASSERT_TRUE(WriteFileBytes(path, "[Chs]\r\nYear=/\r\nMonth=:\r\nDay=\r\nHour=h\r\nMinute=m\r\nSecond=s?\r\n"));
  LanguageTable language(path);
  DateLabels labels = LoadDateLabels(language);
  EXPECT_EQ(BuildBasePath(L"D:\\Rec", March7(), labels), L"D:\\Rec\\2011_03_07 09h05m02s_");
}

TEST_F(SessionControlTest, RecordWithoutACallRecordsNothing) {
  calls.inProgress = false;
  EXPECT_EQ(session.StartRecording(), StartOutcome::NoCall);
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.started, 0);
  EXPECT_TRUE(events.failures().empty());
  EXPECT_EQ(session.startTick, 0u);
}

TEST_F(SessionControlTest, AFreshStartBuildsTheBasePathAndStartsBothWriters) {
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  EXPECT_TRUE(session.Exists());
  EXPECT_NE(session.Writer(Direction::Out), nullptr);
  EXPECT_NE(session.Writer(Direction::In), nullptr);
  std::wstring base = session.BasePath();
  EXPECT_EQ(base.rfind(dir.path() + L"\\", 0), 0u);
  EXPECT_NE(base.find(language.Text(L"Second")), std::wstring::npos);
  EXPECT_EQ(events.started, 1);
  EXPECT_NE(session.startTick, 0u);
  WaitForStreamFiles();
}

// The record folder deleted while the program ran, with its parent: the start
// makes every level again and the call is recorded there.
TEST_F(SessionControlTest, AFolderGoneSinceItWasMadeIsMadeAgainAtTheStart) {
  std::wstring folder = dir.file(L"gone") + L"\\Records";
  settings.Change([&](SettingsRecord& s) { s.recordFolder = folder; });
  ASSERT_FALSE(PathExists(dir.file(L"gone")));
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  EXPECT_TRUE(IsDirectory(folder));
  EXPECT_EQ(session.BasePath().rfind(folder + L"\\", 0), 0u);
  WaitForStreamFiles();
  session.FinishRecording();
  EXPECT_TRUE(FileExists(Recording()));
  EXPECT_TRUE(events.failures().empty());
}

TEST_F(SessionControlTest, RecordWayChoosesTheWriters) {
  settings.Change([&](SettingsRecord& s) { s.recordWay = RecordWay::InOnly; });
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  EXPECT_EQ(session.Writer(Direction::Out), nullptr);
  ASSERT_NE(session.Writer(Direction::In), nullptr);
  EXPECT_TRUE(session.Writer(Direction::In)->onlyDirection());
  session.FinishRecording();
  settings.Change([&](SettingsRecord& s) { s.recordWay = RecordWay::OutOnly; });
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  EXPECT_EQ(session.Writer(Direction::In), nullptr);
  ASSERT_NE(session.Writer(Direction::Out), nullptr);
}

TEST_F(SessionControlTest, ARecordWayBeyondTwoStartsNothingAndLeavesTheButtons) {
  settings.Change([&](SettingsRecord& s) { s.recordWay = static_cast<RecordWay>(3); });
  EXPECT_EQ(session.StartRecording(), StartOutcome::NotStarted);
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.started, 0);
  EXPECT_TRUE(events.failures().empty());
  EXPECT_EQ(session.startTick, 0u);
}

TEST_F(SessionControlTest, ABasePathThatDoesNotFitIsRefusedAndTheUserTold) {
  settings.Change([&](SettingsRecord& s) { s.recordFolder = dir.path() + L"\\" + std::wstring(1000, L'x'); });
  EXPECT_EQ(session.StartRecording(), StartOutcome::NotStarted);
  EXPECT_EQ(events.failures(), std::vector<RecordingFailure>{RecordingFailure::BasePathTooLong});
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.started, 0);
}

TEST_F(SessionControlTest, WhenNoWriterStartsNothingRunsAndEachFailureIsTold) {
  session.FailNextWriterThreadStarts(2);
  EXPECT_EQ(session.StartRecording(), StartOutcome::NotStarted);
  EXPECT_FALSE(session.Exists());
  EXPECT_EQ(events.started, 0);
  EXPECT_EQ(events.count(RecordingFailure::WriterThread), 2u);
  EXPECT_EQ(session.startTick, 0u);
  // Nothing of the refused start is left behind or pinned.
  EXPECT_TRUE(FilesInFolder(dir.path()).empty());
  settings.Change([&](SettingsRecord& s) { s.stereo = 1; });
  EXPECT_EQ(settings.ForRecording()->stereo, 1);
}

TEST_F(SessionControlTest, AStartDuringTheFinishingIsDeferred) {
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  // As the finishing sequence stands after setting the stop flags.
  session.finishing = 1;
  session.Flags(Direction::Out).stop = 1;
  session.Flags(Direction::In).stop = 1;
  EXPECT_FALSE(session.TakePendingStart());
  EXPECT_EQ(session.StartRecording(), StartOutcome::Finishing);
  EXPECT_EQ(session.Flags(Direction::Out).stop, 1u);
  EXPECT_EQ(session.Flags(Direction::In).stop, 1u);
  // The start is remembered for the end of the finishing, once.
  EXPECT_TRUE(session.TakePendingStart());
  EXPECT_FALSE(session.TakePendingStart());
  session.finishing = 0;
}

// Once the finishing has stopped the writers, a start asked for meanwhile marks
// the beginning of the next recording: what came before it is not kept.
TEST_F(SessionControlTest, ADeferredStartBeginsWhenItIsAskedFor) {
  settings.Change([&](SettingsRecord& s) { s.recordWay = RecordWay::OutOnly; });
  ASSERT_EQ(session.StartRecording(), StartOutcome::Started);
  session.finishing = 1;
  Append(Direction::Out, Pattern(3200, 11));
  // The writer still runs: the hand-off is its audio and stays.
  EXPECT_EQ(session.StartRecording(), StartOutcome::Finishing);
  EXPECT_EQ(HeaderCount(session.Handoff(Direction::Out).HandoffHeader()), 3200u);
  // As the finishing stands once the writer has ended.
  session.Flags(Direction::Out).stop = 1;
  session.Writer(Direction::Out)->Wait();
  Append(Direction::Out, Pattern(1600, 12));
  EXPECT_EQ(session.StartRecording(), StartOutcome::Finishing);
  EXPECT_EQ(HeaderCount(session.Handoff(Direction::Out).HandoffHeader()), 0u);
  EXPECT_TRUE(session.TakePendingStart());
  session.finishing = 0;
}

TEST_F(SessionControlTest, AFurtherCallKeepsTheAudioNotYetWritten) {
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  WaitForStreamFiles();
  std::string first = Pattern(48000, 1);
  Append(Direction::Out, first);
  Append(Direction::In, first);
  // A second call comes into progress: its start finds the recording running.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(session.StartRecording(), StartOutcome::Resumed);
  EXPECT_EQ(events.resumedRunning, 3);
  std::string second = Pattern(32000, 2);
  Append(Direction::Out, second);
  session.FinishRecording();
  // The mono mix of Out (first, then second) with In (first): nothing of the
  // first call's audio was dropped by the further starts.
  std::vector<int16_t> mixed;
  for (size_t i = 0; i < first.size() / 2; ++i) {
    int s = 2 * SampleAt(first, i);
    mixed.push_back(static_cast<int16_t>(s > 32767 ? 32767 : s < -32768 ? -32768 : s));
  }
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, Samples(mixed) + second)));
}

TEST_F(SessionControlTest, PauseAndResumeLeaveOutWhatArrivedMeanwhile) {
  settings.Change([&](SettingsRecord& s) { s.recordWay = RecordWay::OutOnly; });
  EXPECT_EQ(session.StartRecording(), StartOutcome::Started);
  std::string before = Pattern(6400, 3), during = Pattern(3200, 4), after = Pattern(6400, 5);
  Append(Direction::Out, before);
  session.accumulatedSeconds = 0;
  session.PauseRecording();
  EXPECT_EQ(events.paused, 1);
  EXPECT_EQ(session.startTick, 0u);
  EXPECT_EQ(session.Flags(Direction::Out).pause, 1u);
  EXPECT_EQ(session.Flags(Direction::In).pause, 1u);
  // The writer flushes what it holds once the pause is noted.
  ASSERT_TRUE(WaitUntil([&] { return session.Flags(Direction::Out).pauseNoted.load() == 1; }));
  Append(Direction::Out, during);
  uint32_t frozen = session.elapsedSeconds;
  EXPECT_EQ(session.StartRecording(), StartOutcome::Resumed);
  EXPECT_EQ(session.Flags(Direction::Out).pause, 0u);
  EXPECT_NE(session.startTick, 0u);
  EXPECT_EQ(session.accumulatedSeconds, frozen);
  EXPECT_EQ(events.started, 1);
  EXPECT_EQ(events.resumedRunning, 1);
  Append(Direction::Out, after);
  session.FinishRecording();
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, before + after)));
}

// A resume that comes while the writer is still busy with a long write (a slow
// folder) returns at once (it runs on the main window's thread) and throws
// nothing away: the audio before the pause and, as the writer has not written
// up to the pause yet, the pause's own audio stay in the recording.
TEST_F(SessionControlTest, AResumeDuringALongWriteReturnsAtOnceAndLosesNothing) {
  settings.Change([&](SettingsRecord& s) { s.recordWay = RecordWay::OutOnly; });
  WriteHold hold(L"_Out.sky");
  ASSERT_EQ(session.StartRecording(), StartOutcome::Started);
  // A full block the writer takes, and what comes after it in the overflow.
  std::string block = Pattern(2000000, 13), rest = Pattern(500000, 14), during = Pattern(3200, 16),
              after = Pattern(6400, 15);
  Append(Direction::Out, block);
  Append(Direction::Out, rest);
  ASSERT_TRUE(hold.WaitUntilHeld());
  session.PauseRecording();
  Append(Direction::Out, during);
  std::atomic<bool> resumed{false};
  std::thread resume([&] {
    EXPECT_EQ(session.StartRecording(), StartOutcome::Resumed);
    resumed = true;
  });
  // The writer stays held: the resume must come back without it. (It takes
  // microseconds; a resume that waited for the writer would give up only
  // after ten seconds.)
  EXPECT_TRUE(WaitUntil([&] { return resumed.load(); }, std::chrono::seconds(5)));
  hold.Release();
  resume.join();
  Append(Direction::Out, after);
  session.FinishRecording();
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, block + rest + during + after)));
}

TEST_F(SessionControlTest, PauseWithoutARecordingDoesNothing) {
  session.PauseRecording();
  EXPECT_EQ(events.paused, 0);
  EXPECT_EQ(session.Flags(Direction::Out).pause, 0u);
}

// Stop and Record pressed in the same second give two recordings of the same
// name: the second one is numbered, neither replaces the other.
TEST_F(SessionControlTest, TwoRecordingsOfTheSameSecondAreBothKept) {
  for (RecordWay way : {RecordWay::Both, RecordWay::OutOnly}) {
    settings.Change([&](SettingsRecord& s) { s.recordWay = way; });
    std::string first = Pattern(6400, 7), second = Pattern(9600, 8);
    std::wstring names[2];
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(session.StartRecording(), StartOutcome::Started);
      Append(Direction::Out, i == 0 ? first : second);
      session.FinishRecording();
      names[i] = Recording();
      if (i == 1 && names[1] == names[0]) names[1] = session.BasePath() + L"() (2).wav";
    }
    // Out alone is the mix of Out with silence: the same samples.
    EXPECT_TRUE(SameBytes(ReadFileBytes(names[0]), WaveImage(1, first))) << int(way);
    EXPECT_TRUE(SameBytes(ReadFileBytes(names[1]), WaveImage(1, second))) << int(way);
    for (const std::wstring& name : names) ASSERT_TRUE(RemoveFile(name));
  }
}

// A start that came while a recording was being finished is made once the
// finishing has let go of the session, and keeps what the new call sent
// meanwhile; a plain start would drop it.
TEST_F(SessionControlTest, TheDeferredStartKeepsTheNewCallsFirstAudio) {
  settings.Change([&](SettingsRecord& s) { s.recordWay = RecordWay::OutOnly; });
  ASSERT_EQ(session.StartRecording(), StartOutcome::Started);
  session.FinishRecording();
  ASSERT_TRUE(RemoveFile(Recording()));
  std::string early = Pattern(3200, 9), later = Pattern(6400, 10);
  Append(Direction::Out, early);
  ASSERT_EQ(session.StartDeferredRecording(), StartOutcome::Started);
  Append(Direction::Out, later);
  session.FinishRecording();
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, early + later)));
  ASSERT_TRUE(RemoveFile(Recording()));

  Append(Direction::Out, early);
  ASSERT_EQ(session.StartRecording(), StartOutcome::Started);
  Append(Direction::Out, later);
  session.FinishRecording();
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, later)));
}


// Settings applied while a recording runs (the settings dialog applies on its
// own thread) take effect from the next recording: the running one is written
// to its folder, in its directions, mixed and encoded as it started, and a
// further call that joins it is asked for the directions it records.
TEST_F(SessionControlTest, SettingsAppliedDuringARecordingApplyFromTheNextOne) {
  ASSERT_EQ(session.StartRecording(), StartOutcome::Started);  // both directions, mono, WAV only
  WaitForStreamFiles();
  const std::wstring first = Recording();
  Append(Direction::Out, Samples({100, -200, 300}));

  SettingsDialogValues changed;
  changed.recordWayIndex = static_cast<int>(RecordWay::OutOnly);
  changed.stereo = true;
  changed.formatMp3 = true;
  changed.formatWav = true;
  changed.languageIndex = 0;
  changed.recordFolder = dir.path() + L"\\Next\\Calls";
  std::thread dialog([&] {
    EXPECT_EQ(ApplySettings(settings, language, changed, dir.file(L"Config.ini")), ApplyResult::Applied);
  });
  dialog.join();
  EXPECT_EQ(settings.Current()->recordWay, RecordWay::OutOnly);
  EXPECT_EQ(settings.ForRecording()->recordWay, RecordWay::Both);
  Append(Direction::In, Samples({1, 2}));
  EXPECT_EQ(session.StartRecording(), StartOutcome::Resumed);
  session.FinishRecording();
  EXPECT_TRUE(SameBytes(ReadFileBytes(first), WaveImage(1, Samples({101, -198, 300}))));
  EXPECT_EQ(first.rfind(dir.path() + L"\\2", 0), 0u);
  EXPECT_FALSE(FileExists(first.substr(0, first.size() - 3) + L"mp3"));
  EXPECT_EQ(settings.ForRecording()->recordWay, RecordWay::OutOnly);

  ASSERT_EQ(session.StartRecording(), StartOutcome::Started);
  EXPECT_EQ(session.BasePath().rfind(changed.recordFolder + L"\\", 0), 0u);
  EXPECT_EQ(session.Writer(Direction::In), nullptr);
  Append(Direction::Out, Samples({7}));
  const std::wstring second = Recording();
  session.FinishRecording();
  // MP3 and WAV: both are there.
  EXPECT_TRUE(SameBytes(ReadFileBytes(second), WaveImage(1, Samples({7}))));
  EXPECT_TRUE(FileExists(second.substr(0, second.size() - 3) + L"mp3"));
}
