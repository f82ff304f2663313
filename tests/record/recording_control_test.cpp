// Starting, resuming and pausing a recording, as the main window's handlers do.
#include <gtest/gtest.h>

#include <thread>

#include "record/recording_control.h"
#include "settings/language.h"
#include "tests/record/record_test_support.h"
#include "tests/support/capture.h"
#include "tests/support/wait.h"

namespace {

class FakeSessionView : public SessionView {
 public:
  void ShowRecordingEnded() override { ++ended; }
  void ScheduleTrayBalloon() override { ++balloons; }
  void ScheduleFolderStatus() override { ++folderStatus; }
  void OpenRecordFolder(const std::wstring&) override { ++opened; }
  void ShowRecordingRunning() override { ++running; }
  void ShowRecordingPaused() override { ++paused; }
  void ShowRecordStatus() override { ++statusShown; }
  void ScheduleRecordStatus() override { ++statusScheduled; }
  void ShowNoCallNotice(const std::wstring& text) override { notices.push_back(text); }

  std::atomic<int> ended{0}, balloons{0}, folderStatus{0}, opened{0}, running{0}, paused{0}, statusShown{0},
      statusScheduled{0};
  std::vector<std::wstring> notices;
};

class SessionControlTest : public RecordingTest {
 protected:
  void SetUp() override {
    RecordingTest::SetUp();
    recordingSession.SetBasePath(L"");
    recordingSession.ClearTimes();
    SelectLanguageSection(0);
    activeCallCount = 1;
  }
  void TearDown() override {
    RecordingTest::TearDown();
    activeCallCount = 0;
  }

  // The one recording the test made, named after its (empty) partner list.
  std::wstring Recording() const { return recordingSession.BasePath() + L"().wav"; }
  void WaitForStreamFiles() {
    ASSERT_TRUE(WaitUntil([&] {
      std::wstring base = recordingSession.BasePath();
      return FileExists(base + L"_Out.sky") && FileExists(base + L"_In.sky");
    }));
  }

  FakeSessionView view;
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
  IniFile language(path);
  SelectLanguageSection(0);
  DateLabels labels = LoadDateLabels(language);
  EXPECT_EQ(BuildBasePath(L"D:\\Rec", March7(), labels), L"D:\\Rec\\2011_03_07 09h05m02s_");
}

TEST_F(SessionControlTest, RecordWithoutACallOnlyShowsTheNotice) {
  activeCallCount = 0;
  EXPECT_EQ(StartRecording(view), StartOutcome::NoCall);
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_EQ(view.notices[0], LanguageText(L"Record_Status4"));
  EXPECT_FALSE(view.notices[0].empty());
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(view.running, 0);
  EXPECT_EQ(recordingSession.startTick, 0u);
}

TEST_F(SessionControlTest, AFreshStartBuildsTheBasePathAndStartsBothWriters) {
  EXPECT_EQ(StartRecording(view), StartOutcome::Started);
  EXPECT_TRUE(recordingSession.Exists());
  EXPECT_NE(recordingSession.Writer(Direction::Out), nullptr);
  EXPECT_NE(recordingSession.Writer(Direction::In), nullptr);
  std::wstring base = recordingSession.BasePath();
  EXPECT_EQ(base.rfind(dir.path() + L"\\", 0), 0u);
  EXPECT_NE(base.find(LanguageText(L"Second")), std::wstring::npos);
  EXPECT_EQ(view.running, 1);
  EXPECT_EQ(view.statusShown, 1);
  EXPECT_NE(recordingSession.startTick, 0u);
  WaitForStreamFiles();
}

TEST_F(SessionControlTest, RecordWayChoosesTheWriters) {
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = kRecordInOnly; });
  EXPECT_EQ(StartRecording(view), StartOutcome::Started);
  EXPECT_EQ(recordingSession.Writer(Direction::Out), nullptr);
  ASSERT_NE(recordingSession.Writer(Direction::In), nullptr);
  EXPECT_TRUE(recordingSession.Writer(Direction::In)->onlyDirection());
  FinishRecording(view);
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = kRecordOutOnly; });
  EXPECT_EQ(StartRecording(view), StartOutcome::Started);
  EXPECT_EQ(recordingSession.Writer(Direction::In), nullptr);
  ASSERT_NE(recordingSession.Writer(Direction::Out), nullptr);
}

TEST_F(SessionControlTest, ARecordWayBeyondTwoStartsNothingAndLeavesTheButtons) {
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = 3; });
  EXPECT_EQ(StartRecording(view), StartOutcome::NotStarted);
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(view.running, 0);
  EXPECT_EQ(view.statusShown, 0);
  EXPECT_EQ(recordingSession.startTick, 0u);
}

TEST_F(SessionControlTest, ABasePathThatDoesNotFitIsRefusedWithAMessage) {
  MessageBoxCapture boxes;
  Settings.Change([&](SettingsRecord& s) { s.WavePath = dir.path() + L"\\" + std::wstring(1000, L'x'); });
  EXPECT_EQ(StartRecording(view), StartOutcome::NotStarted);
  EXPECT_EQ(boxes.texts(), std::vector<std::wstring>{kBasePathTooLongText});
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(view.running, 0);
}

TEST_F(SessionControlTest, WhenNoWriterStartsTheWindowReturnsToIdle) {
  MessageBoxCapture boxes;
  FailNextWriterThreadStarts(2);
  EXPECT_EQ(StartRecording(view), StartOutcome::NotStarted);
  EXPECT_FALSE(recordingSession.Exists());
  EXPECT_EQ(view.ended, 1);
  EXPECT_EQ(boxes.texts().size(), 2u);
  EXPECT_EQ(recordingSession.startTick, 0u);
}

TEST_F(SessionControlTest, AStartDuringTheFinishingIsDeferred) {
  EXPECT_EQ(StartRecording(view), StartOutcome::Started);
  // As the finishing sequence stands after setting the stop flags.
  recordingSession.finishing = 1;
  recordingSession.Flags(Direction::Out).stop = 1;
  recordingSession.Flags(Direction::In).stop = 1;
  EXPECT_FALSE(TakePendingStart());
  EXPECT_EQ(StartRecording(view), StartOutcome::Finishing);
  EXPECT_EQ(recordingSession.Flags(Direction::Out).stop, 1u);
  EXPECT_EQ(recordingSession.Flags(Direction::In).stop, 1u);
  // The start is remembered for the end of the finishing, once.
  EXPECT_TRUE(TakePendingStart());
  EXPECT_FALSE(TakePendingStart());
  recordingSession.finishing = 0;
}

// Once the finishing has stopped the writers, a start asked for meanwhile marks
// the beginning of the next recording: what came before it is not kept.
TEST_F(SessionControlTest, ADeferredStartBeginsWhenItIsAskedFor) {
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = kRecordOutOnly; });
  ASSERT_EQ(StartRecording(view), StartOutcome::Started);
  recordingSession.finishing = 1;
  Append(Direction::Out, Pattern(3200, 11));
  // The writer still runs: the hand-off is its audio and stays.
  EXPECT_EQ(StartRecording(view), StartOutcome::Finishing);
  EXPECT_EQ(HeaderCount(HandoffOf(Direction::Out).HandoffHeader()), 3200u);
  // As the finishing stands once the writer has ended.
  recordingSession.Flags(Direction::Out).stop = 1;
  recordingSession.Writer(Direction::Out)->Wait();
  Append(Direction::Out, Pattern(1600, 12));
  EXPECT_EQ(StartRecording(view), StartOutcome::Finishing);
  EXPECT_EQ(HeaderCount(HandoffOf(Direction::Out).HandoffHeader()), 0u);
  EXPECT_TRUE(TakePendingStart());
  recordingSession.finishing = 0;
}

TEST_F(SessionControlTest, AFurtherCallKeepsTheAudioNotYetWritten) {
  EXPECT_EQ(StartRecording(view), StartOutcome::Started);
  WaitForStreamFiles();
  std::string first = Pattern(48000, 1);
  Append(Direction::Out, first);
  Append(Direction::In, first);
  // A second call comes into progress (three start messages).
  activeCallCount = 2;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(StartRecording(view), StartOutcome::Resumed);
  std::string second = Pattern(32000, 2);
  Append(Direction::Out, second);
  FinishRecording(view);
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
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = kRecordOutOnly; });
  EXPECT_EQ(StartRecording(view), StartOutcome::Started);
  std::string before = Pattern(6400, 3), during = Pattern(3200, 4), after = Pattern(6400, 5);
  Append(Direction::Out, before);
  recordingSession.accumulatedSeconds = 0;
  PauseRecording(view);
  EXPECT_EQ(view.paused, 1);
  EXPECT_EQ(recordingSession.startTick, 0u);
  EXPECT_EQ(recordingSession.Flags(Direction::Out).pause, 1u);
  EXPECT_EQ(recordingSession.Flags(Direction::In).pause, 1u);
  // The writer flushes what it holds once the pause is noted.
  ASSERT_TRUE(WaitUntil([] { return recordingSession.Flags(Direction::Out).pauseNoted.load() == 1; }));
  Append(Direction::Out, during);
  uint32_t frozen = recordingSession.elapsedSeconds;
  EXPECT_EQ(StartRecording(view), StartOutcome::Resumed);
  EXPECT_EQ(recordingSession.Flags(Direction::Out).pause, 0u);
  EXPECT_NE(recordingSession.startTick, 0u);
  EXPECT_EQ(recordingSession.accumulatedSeconds, frozen);
  EXPECT_EQ(view.running, 2);
  Append(Direction::Out, after);
  FinishRecording(view);
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, before + after)));
}

// A resume that comes while the writer is still busy with a long write (a slow
// folder) returns at once (it runs on the main window's thread) and throws
// nothing away: the audio before the pause and, as the writer has not written
// up to the pause yet, the pause's own audio stay in the recording.
TEST_F(SessionControlTest, AResumeDuringALongWriteReturnsAtOnceAndLosesNothing) {
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = kRecordOutOnly; });
  WriteHold hold(L"_Out.sky");
  ASSERT_EQ(StartRecording(view), StartOutcome::Started);
  // A full block the writer takes, and what comes after it in the overflow.
  std::string block = Pattern(2000000, 13), rest = Pattern(500000, 14), during = Pattern(3200, 16),
              after = Pattern(6400, 15);
  Append(Direction::Out, block);
  Append(Direction::Out, rest);
  ASSERT_TRUE(hold.WaitUntilHeld());
  PauseRecording(view);
  Append(Direction::Out, during);
  std::atomic<bool> resumed{false};
  std::thread resume([&] {
    EXPECT_EQ(StartRecording(view), StartOutcome::Resumed);
    resumed = true;
  });
  // The writer stays held: the resume must come back without it. (It takes
  // microseconds; a resume that waited for the writer would give up only
  // after ten seconds.)
  EXPECT_TRUE(WaitUntil([&] { return resumed.load(); }, std::chrono::seconds(5)));
  hold.Release();
  resume.join();
  Append(Direction::Out, after);
  FinishRecording(view);
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, block + rest + during + after)));
}

TEST_F(SessionControlTest, PauseWithoutARecordingDoesNothing) {
  PauseRecording(view);
  EXPECT_EQ(view.paused, 0);
  EXPECT_EQ(recordingSession.Flags(Direction::Out).pause, 0u);
}

// Stop and Record pressed in the same second give two recordings of the same
// name: the second one is numbered, neither replaces the other.
TEST_F(SessionControlTest, TwoRecordingsOfTheSameSecondAreBothKept) {
  for (uint8_t way : {kRecordBoth, kRecordOutOnly}) {
    Settings.Change([&](SettingsRecord& s) { s.RecordWay = way; });
    std::string first = Pattern(6400, 7), second = Pattern(9600, 8);
    std::wstring names[2];
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(StartRecording(view), StartOutcome::Started);
      Append(Direction::Out, i == 0 ? first : second);
      FinishRecording(view);
      names[i] = Recording();
      if (i == 1 && names[1] == names[0]) names[1] = recordingSession.BasePath() + L"() (2).wav";
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
  Settings.Change([&](SettingsRecord& s) { s.RecordWay = kRecordOutOnly; });
  ASSERT_EQ(StartRecording(view), StartOutcome::Started);
  FinishRecording(view);
  ASSERT_TRUE(RemoveFile(Recording()));
  std::string early = Pattern(3200, 9), later = Pattern(6400, 10);
  Append(Direction::Out, early);
  ASSERT_EQ(StartDeferredRecording(view), StartOutcome::Started);
  Append(Direction::Out, later);
  FinishRecording(view);
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, early + later)));
  ASSERT_TRUE(RemoveFile(Recording()));

  Append(Direction::Out, early);
  ASSERT_EQ(StartRecording(view), StartOutcome::Started);
  Append(Direction::Out, later);
  FinishRecording(view);
  EXPECT_TRUE(SameBytes(ReadFileBytes(Recording()), WaveImage(1, later)));
}


// Settings applied while a recording runs (the settings dialog applies on its
// own thread) take effect from the next recording: the running one is written
// to its folder, in its directions, mixed and encoded as it started, and a
// further call that joins it is asked for the directions it records.
TEST_F(SessionControlTest, SettingsAppliedDuringARecordingApplyFromTheNextOne) {
  TraceCapture trace;
  InjectProcessStartFailure(L"lame.exe");
  ASSERT_EQ(StartRecording(view), StartOutcome::Started);  // both directions, mono, WAV only
  WaitForStreamFiles();
  const std::wstring first = Recording();
  Append(Direction::Out, Samples({100, -200, 300}));

  SettingsDialogValues changed;
  changed.recordWayIndex = kRecordOutOnly;
  changed.saveLF = true;
  changed.formatMp3 = true;
  changed.languageIndex = 0;
  changed.wavePath = dir.path() + L"\\Next\\Calls";
  std::thread dialog([&] { EXPECT_EQ(ApplySettings(changed, dir.file(L"Config.ini")), ApplyResult::Applied); });
  dialog.join();
  EXPECT_EQ(Settings.Current()->RecordWay, kRecordOutOnly);
  EXPECT_EQ(Settings.ForRecording()->RecordWay, kRecordBoth);
  Append(Direction::In, Samples({1, 2}));
  activeCallCount = 2;
  EXPECT_EQ(StartRecording(view), StartOutcome::Resumed);
  FinishRecording(view);
  EXPECT_TRUE(SameBytes(ReadFileBytes(first), WaveImage(1, Samples({101, -198, 300}))));
  EXPECT_EQ(first.rfind(dir.path() + L"\\2", 0), 0u);
  for (const std::wstring& line : trace.lines()) EXPECT_EQ(line.find(L"lame.exe"), std::wstring::npos) << line;
  EXPECT_EQ(Settings.ForRecording()->RecordWay, kRecordOutOnly);

  activeCallCount = 1;
  ASSERT_EQ(StartRecording(view), StartOutcome::Started);
  EXPECT_EQ(recordingSession.BasePath().rfind(changed.wavePath + L"\\", 0), 0u);
  EXPECT_EQ(recordingSession.Writer(Direction::In), nullptr);
  Append(Direction::Out, Samples({7}));
  const std::wstring second = Recording();
  FinishRecording(view);
  // MP3 was tried (and could not start), so the WAV stays.
  EXPECT_TRUE(SameBytes(ReadFileBytes(second), WaveImage(1, Samples({7}))));
  EXPECT_TRUE(trace.contains(L"Encoder not started: lame.exe -h \"" + second + L"\" \"" +
                             second.substr(0, second.size() - 3) + L"mp3\"\n"));
}
