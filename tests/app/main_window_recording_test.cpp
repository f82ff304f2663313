// The main window's recording controls under wine, driven as the user
// drives them: Record, Pause and Stop by real clicks, what the line and the
// tray then say, what lands on the disk, and a window that keeps answering
// while the disk does not.
#include "tests/app/main_window_test_support.h"

namespace {

TEST_F(MainWindowTest, RecordPauseResumeAndStopThroughTheButtons) {
  TrayRecorder tray;
  Open();
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
  EXPECT_FALSE(Enabled(IDC_STOP));
  EXPECT_FALSE(Visible(IDC_RECORD_STATUS));

  // No call: the notice for three seconds, in red, and nothing recorded.
  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return Visible(IDC_RECORD_STATUS); }));
  EXPECT_EQ(Text(IDC_RECORD_STATUS), Lang(L"Record_Status4"));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5);
  EXPECT_TRUE(Enabled(IDC_RECORD));
  ASSERT_TRUE(PumpUntil([&] { return !Visible(IDC_RECORD_STATUS); }));
  EXPECT_TRUE(ReadFileBytes(records).empty());

  // A call with its partner: Record starts, the line turns green.
  CallWith(L"alice");
  Click(IDC_RECORD);
  std::wstring running = FormatText(Lang(L"Record_Status1"), {L"alice "});
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(running, 0) == 0; }));
  EXPECT_TRUE(Visible(IDC_RECORD_STATUS));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kGreen), 5);
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kRed), 0);
  EXPECT_FALSE(Enabled(IDC_RECORD));
  EXPECT_TRUE(Enabled(IDC_PAUSE));
  EXPECT_TRUE(Enabled(IDC_STOP));
  Stream(100, 23, 16000);
  // The line is drawn in one font, whether it repainted itself for its new
  // text (every second) or the whole window was drawn anew.
  std::wstring shown = Text(IDC_RECORD_STATUS);
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS) != shown; }));
  PumpPending();
  int ownInk = InkRows(IDC_RECORD_STATUS, kGreen);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpPending();
  EXPECT_EQ(ownInk, InkRows(IDC_RECORD_STATUS, kGreen));

  // Pause: the line says so, Record resumes, and what comes meanwhile is lost.
  Click(IDC_PAUSE);
  std::wstring paused = FormatText(Lang(L"Record_Status2"), {L"alice "});
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(paused, 0) == 0; }));
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
  EXPECT_TRUE(Enabled(IDC_STOP));
  ASSERT_TRUE(PumpUntil([&] { return PauseWritten(); }));
  Stream(7, 7, 8000);
  EXPECT_TRUE(Enabled(IDC_RECORD));

  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(running, 0) == 0; }));
  EXPECT_FALSE(Enabled(IDC_RECORD));
  Stream(100, 23, 16000);

  // Stop: once the recording is on the disk, the line says where, in green,
  // and a balloon says so too, although ShowStatusOnTray is off.
  Calls().activeCallCount = 0;
  Click(IDC_STOP);
  std::wstring savedLine = Lang(L"Record_Saved").substr(0, Lang(L"Record_Saved").find(L"%s"));
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(savedLine, 0) == 0 && Enabled(IDC_RECORD); }));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
  EXPECT_FALSE(Enabled(IDC_STOP));
  Session().WaitForFinishing();
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((records + L"\\*(alice).wav").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  const std::wstring file = found.cFileName;
  EXPECT_EQ(Text(IDC_RECORD_STATUS), FormatText(Lang(L"Record_Saved"), {file}));
  EXPECT_TRUE(Visible(IDC_RECORD_STATUS));
  PumpPending();
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kGreen), 5);
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kRed), 0);
  std::vector<std::wstring> balloons;
  for (const TrayCall& call : tray.calls())
    if (call.flags == NIF_INFO) balloons.push_back(call.info);
  EXPECT_EQ(balloons, std::vector<std::wstring>{FormatText(Lang(L"Record_Saved_Balloon"), {file})});
  // A click on the balloon shows the file in its folder.
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, NIN_BALLOONUSERCLICK);
  const std::wstring show = L"explorer.exe /select,\"" + records + L"\\" + file + L"\"";
  ASSERT_TRUE(PumpUntil([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), std::vector<std::wstring>{show});
  // The click is the balloon's once: another does nothing.
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, NIN_BALLOONUSERCLICK);
  PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(Opened().size(), 1u);

  // The recording: named after its partner, both stretches mixed, the pause
  // missing.
  EXPECT_EQ(RecordingOf(L"alice"), std::vector<int16_t>(32000, 123));

  // The next call takes the line away.
  CallWith(L"bob");
  events.OnCallStarted();
  ASSERT_TRUE(PumpUntil([&] { return !Visible(IDC_RECORD_STATUS); }));
  Calls().activeCallCount = 0;

  // With the notice turned off, a recording ends with the line and no balloon.
  recorder->settings().Change([](SettingsRecord& s) { s.savedNotice = 0; });
  tray.clear();
  CallWith(L"carol");
  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return !Enabled(IDC_RECORD); }));
  Stream(5, 5, 1600);
  Calls().activeCallCount = 0;
  Click(IDC_STOP);
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(savedLine, 0) == 0 && Enabled(IDC_RECORD); }));
  Session().WaitForFinishing();
  PumpPending();
  for (const TrayCall& call : tray.calls()) EXPECT_NE(call.flags, static_cast<UINT>(NIF_INFO)) << call.info;
}

// No port for the audio at all: the window says at once, in red, that calls
// cannot be recorded and why; no box waits for OK, and Record starts nothing
// that would pretend to record.
TEST_F(MainWindowTest, WithoutAudioPortsTheLineSaysCallsCannotBeRecorded) {
  for (Direction d : {Direction::Out, Direction::In})
    recorder->server(d).eventSocket().InjectFault(SocketOp::Listen, 10013, 2);
  Open();
  const std::wstring noAudio = FormatText(Lang(L"Error_No_Audio_Port"), {L"WSAEACCES"});
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS) == noAudio && Visible(IDC_RECORD_STATUS); }));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5);
  EXPECT_TRUE(OtherDialogs(hwnd).empty()) << "no box";
  CallWith(L"erin");
  Click(IDC_RECORD);
  Settle();
  EXPECT_FALSE(Session().Exists());
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_STOP));
  EXPECT_EQ(Text(IDC_RECORD_STATUS), noAudio);
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5) << "red although a call is in progress";
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kGreen), 0);
  EXPECT_TRUE(FilesInFolder(records).empty());
}

TEST_F(MainWindowTest, AWriterThatCannotWriteLeavesTheErrorLineInRedAndABalloon) {
  TrayRecorder tray;
  Open();
  FileFault fault;
  fault.op = FileOp::Create;
  fault.pathContains = L"_In.sky";
  InjectFileFault(fault);
  CallWith(L"dave");
  Click(IDC_RECORD);
  std::wstring error = Lang(L"Error_Message_1");
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS) == error && Enabled(IDC_RECORD); }))
      << Text(IDC_RECORD_STATUS).size() << " " << Enabled(IDC_RECORD) << " " << Visible(IDC_RECORD_STATUS);
  Session().WaitForFinishing();
  PumpUntil([] { return false; }, std::chrono::milliseconds(1200));  // past the line's next refresh
  EXPECT_EQ(Text(IDC_RECORD_STATUS), error);
  EXPECT_TRUE(Visible(IDC_RECORD_STATUS));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5) << "red although a call is in progress";
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kGreen), 0);
  EXPECT_FALSE(Enabled(IDC_STOP));
  bool balloon = false;
  for (const TrayCall& call : tray.calls()) balloon |= call.flags == NIF_INFO && call.info == error;
  EXPECT_TRUE(balloon) << "whatever ShowStatusOnTray says";

  // A writer may fail before the window has heard that its recording
  // started: the failure's events come first, then the start's and the
  // abort's. The error line and the error's balloon are what stays, not the
  // state balloon the recording's later events would ask for.
  recorder->settings().Change([](SettingsRecord& s) { s.stateBalloons = 1; });
  tray.clear();
  events.OnRecordingFailed(RecordingFailure::StreamFileNotCreated, true);
  events.OnRecordingStarted();
  events.OnRecordingStopped();
  FinishedRecording aborted;
  aborted.aborted = true;
  events.OnRecordingFinished(aborted);
  PumpUntil([] { return false; }, std::chrono::milliseconds(1500));  // past the state balloon's delay
  std::wstring lastBalloon;
  for (const TrayCall& call : tray.calls())
    if (call.flags == NIF_INFO) lastBalloon = call.info;
  EXPECT_EQ(lastBalloon, error);
  EXPECT_EQ(Text(IDC_RECORD_STATUS), error);
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
}

// How long the window takes to answer, asked every 20 ms from another thread.
class AnswerTimer {
 public:
  explicit AnswerTimer(HWND window)
      : thread_([this, window] {
          while (!stop_.load()) {
            auto start = std::chrono::steady_clock::now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
            auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            if (took.count() > worst_.load()) worst_ = took.count();
            asked_.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
          ended_ = true;
        }) {}
  // Ends the asking; the window's thread goes on pumping until the last
  // question has been answered.
  void Stop() {
    stop_ = true;
    PumpUntil([this] { return ended_.load(); }, std::chrono::seconds(60));
    if (thread_.joinable()) thread_.join();
  }
  ~AnswerTimer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long long worst() const { return worst_.load(); }
  int asked() const { return asked_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long long> worst_{0};
  std::atomic<int> asked_{0};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// The window's thread here is the test's: between the user's steps it only
// pumps, so every round trip above measures the window's own handlers.
TEST_F(MainWindowTest, KeepsAnsweringThroughStartPauseResumeStopAndAbortOnASlowDisk) {
  TrayRecorder tray;
  Open();
  // Every write to a stream file takes a fifth of a second, as on a share that
  // hardly answers, and while the gate is closed a write does not end at all.
  std::atomic<bool> gateClosed{true};
  std::atomic<int> writesHeld{0};
  FileFault slow;
  slow.op = FileOp::Write;
  slow.pathContains = L".sky";
  slow.persistent = true;
  slow.hold = [&] {
    writesHeld.fetch_add(1);
    while (gateClosed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  InjectFileFault(slow);
  CallWith(L"gus");
  auto pumpUntil = [](const std::function<bool()>& done) { return PumpUntil(done, std::chrono::seconds(60)); };
  // Should the window wait for a writer after all, the gate opens in the end
  // anyway, and the test fails on the answer time instead of hanging.
  std::thread opener;
  auto openGateLater = [&] {
    if (opener.joinable()) opener.join();
    opener = std::thread([&] {
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (gateClosed.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      gateClosed = false;
    });
  };
  AnswerTimer timer(hwnd);

  Click(IDC_RECORD);
  ASSERT_TRUE(pumpUntil([&] { return Enabled(IDC_PAUSE); }));
  // More than the writers' early-write amount: they go into a write and stay.
  Stream(10, 20, 160000);
  ASSERT_TRUE(pumpUntil([&] { return writesHeld.load() > 0; }));
  openGateLater();
  Click(IDC_PAUSE);
  ASSERT_TRUE(pumpUntil([&] { return Enabled(IDC_RECORD); }));
  Stream(30, 40, 16000);
  Click(IDC_RECORD);  // resumes while the writers are still in their write
  ASSERT_TRUE(pumpUntil([&] { return Enabled(IDC_PAUSE); }));
  EXPECT_TRUE(gateClosed.load()) << "the resume waited for the writers";
  gateClosed = false;
  Stream(50, 60, 16000);
  Click(IDC_STOP);
  ASSERT_TRUE(pumpUntil([&] { return !Session().Exists() && !Session().FinishingRunning() && Enabled(IDC_RECORD); }));
  std::vector<int16_t> first = RecordingOf(L"gus");
  // Everything before the pause and after the resume is there; the pause's
  // own audio too, as the writers had not reached the pause yet.
  EXPECT_EQ(first.size(), size_t(160000 + 16000 + 16000));
  if (!first.empty()) {
    EXPECT_EQ(first.front(), 10 + 20);
    EXPECT_EQ(first.back(), 50 + 60);
  }

  // The next recording's microphone file cannot be made while the far end's
  // writer is in a write that does not end: the recording is given up, its
  // writers stopped and waited for away from the window.
  FileFault failing;
  failing.op = FileOp::Create;
  failing.pathContains = L"_In.sky";
  InjectFileFault(failing);
  gateClosed = true;
  writesHeld = 0;
  Click(IDC_RECORD);
  ASSERT_TRUE(pumpUntil([&] { return Session().Exists(); }));
  Stream(70, 80, 160000);
  ASSERT_TRUE(pumpUntil([&] { return writesHeld.load() > 0; }));
  openGateLater();
  ASSERT_TRUE(pumpUntil([&] { return Text(IDC_RECORD_STATUS) == Lang(L"Error_Message_1"); }));
  EXPECT_TRUE(gateClosed.load()) << "the abort waited for the writers";
  gateClosed = false;
  ASSERT_TRUE(pumpUntil([&] { return !Session().Exists() && !Session().FinishingRunning() && Enabled(IDC_RECORD); }));
  PumpPending();
  opener.join();
  timer.Stop();

  // The window answered all along; how fast is the benchmark's to say
  // (bench/README.md).
  EXPECT_GT(timer.asked(), 20);
  std::printf("worst answer of the main window: %lld ms over %d round trips\n", timer.worst(), timer.asked());
}

}  // namespace
