#include "record/recording_session.h"

#include <system_error>

#include "platform/debug_trace.h"
#include "platform/file.h"
#include "platform/main_window.h"
#include "platform/message_box.h"
#include "record/encoder_handoff.h"
#include "record/mixer.h"
#include "record/output_name.h"
#include "record/recovery.h"
#include "record/stream_writer.h"
#include "settings/settings.h"

RecordingSession recordingSession;

namespace {
std::atomic<int> failingThreadStarts{0};

bool ThreadStartFails() {
  for (int left = failingThreadStarts.load(); left > 0; left = failingThreadStarts.load())
    if (failingThreadStarts.compare_exchange_weak(left, left - 1)) return true;
  return false;
}
}  // namespace

WriterThread::WriterThread(Direction direction, bool onlyDirection, StreamWriterJob job)
    : direction_(direction), onlyDirection_(onlyDirection) {
  thread_ = std::thread([this, job = std::move(job)] {
    WriterResult result = RunStreamWriter(job);
    // The encoders run later, once the finishing sequence has let go of the
    // session, so that a new call can be recorded meanwhile.
    if (result.completed && onlyDirection_) ConvertStreamToRecording(direction_, &recording_);
    completed_.store(result.completed);
    writeFailed_.store(result.writeFailed);
    ended_.store(true);
  });
}

WriterThread::~WriterThread() { Wait(); }

void WriterThread::Wait() {
  std::lock_guard<std::mutex> lock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

std::wstring RecordingSession::BasePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return basePath_;
}

void RecordingSession::SetBasePath(std::wstring_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  basePath_.assign(path.substr(0, kBasePathMaxChars));
}

bool RecordingSession::Exists() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writers_[0] || writers_[1];
}

WriterHandle RecordingSession::Writer(Direction direction) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writers_[DirectionIndex(direction)];
}

void RecordingSession::ClearTimes() {
  startTick.store(0);
  elapsedSeconds.store(0);
  accumulatedSeconds.store(0);
}

bool StartStreamWriter(Direction direction, bool onlyDirection) {
  RecordingSession& session = recordingSession;
  {
    std::lock_guard<std::mutex> lock(session.mutex_);
    if (session.writers_[DirectionIndex(direction)]) return true;
  }
  // The writer is given its file, its hand-off and its flags, and reports a
  // file it cannot create to the main window.
  StreamWriterJob job;
  job.streamName = StreamFileName(session.BasePath(), direction);
  job.handoff = &HandoffOf(direction);
  job.flags = &session.Flags(direction);
  job.reportCreateFailed = [] { PostToMainWindow(WM_STREAM_FILE_FAILED); };
  // A write that fails (a full disk) ends the recording the same way, with
  // what was written as the recording, and the user sees why.
  job.reportWriteFailed = job.reportCreateFailed;
  // The partners known so far go beside the files, for a recovery to name them.
  job.onFileUpdated = [] { recordingSidecar.SetPartners(BuildPartnerList()); };
  WriterHandle writer;
  if (!ThreadStartFails()) {
    try {
      writer = std::make_shared<WriterThread>(direction, onlyDirection, std::move(job));
    } catch (const std::system_error&) {
      writer.reset();
    }
  }
  if (!writer) {
    ShowMessageBox(L"Create Record Thread Fail!\n");
    return false;
  }
  std::lock_guard<std::mutex> lock(session.mutex_);
  // The recording's settings are fixed by its start (StartRecording pins
  // them), at the latest by its first writer.
  Settings.PinCurrentUnlessPinned();
  session.writers_[DirectionIndex(direction)] = writer;
  return true;
}

// The finishing and the abort exclude each other and themselves: each claims
// the session's end under the lock, and only while a session exists.
bool ClaimSessionEnd(RecordingSession& session) {
  std::lock_guard<std::mutex> lock(session.mutex_);
  if (!session.writers_[0] && !session.writers_[1]) return false;
  if (session.finishing.load() != 0) return false;
  session.finishing.store(1);
  ++session.endsRunning_;
  return true;
}

// Forgets the writers (their threads have ended) and the recording's settings,
// and clears the finishing flag. The settings go first: a start that sees the
// flag clear pins its own.
void ReleaseSessionEnd(RecordingSession& session) {
  WriterHandle out, in;
  {
    std::lock_guard<std::mutex> lock(session.mutex_);
    out.swap(session.writers_[0]);
    in.swap(session.writers_[1]);
    Settings.PinForRecording(nullptr);
    session.finishing.store(0);
  }
}

// The last step of a finishing or an abort, after its last call to the view.
void EndOfSessionEnd(RecordingSession& session) {
  // Notified under the lock: once a waiter sees the count at 0, this thread
  // no longer touches the session (the exit may follow at once).
  std::lock_guard<std::mutex> lock(session.mutex_);
  --session.endsRunning_;
  session.finishingDone_.notify_all();
}

bool FinishingRunning() {
  std::lock_guard<std::mutex> lock(recordingSession.mutex_);
  return recordingSession.endsRunning_ != 0;
}

void WaitForFinishing() {
  RecordingSession& session = recordingSession;
  std::unique_lock<std::mutex> lock(session.mutex_);
  session.finishingDone_.wait(lock, [&] { return session.endsRunning_ == 0; });
}

namespace {

void StopAndWaitForWriters(WriterHandle out, WriterHandle in) {
  recordingSession.Flags(Direction::Out).stop.store(1);
  recordingSession.Flags(Direction::In).stop.store(1);
  if (out) {
    DebugTrace(L"Wait out...");
    out->Wait();
  }
  if (in) {
    DebugTrace(L"Wait in...");
    in->Wait();
  }
}

// Turns what the stopped writers left into the recording and returns its name
// for the encoders (empty when there is none). Two complete files are mixed;
// when the disk is too full for the mix (a writer's write failed), they are
// mixed in place. When only one direction's file is complete (the other
// writer could not be started or could not create its file), that file is
// the recording: a one-direction recording's writer has made it so already,
// any other's is made so here rather than left behind as a stream file. A
// file whose writer failed before its header was whole stays as it is.
std::wstring MakeRecording(const WriterHandle& out, const WriterHandle& in, const SettingsRecord& recorded) {
  std::wstring recording;
  if (out && in && out->Completed() && in->Completed()) {
    std::wstring base = recordingSession.BasePath(), partners = BuildPartnerList();
    int mixed;
    if (recorded.SaveLF != 0) {
      DebugTrace(L"CombinInOutWaveWithStereo");
      mixed = CombinInOutWaveWithStereo(base, partners, &recording);
    } else {
      DebugTrace(L"CombinInOutWave");
      mixed = CombinInOutWave(base, partners, &recording);
    }
    if (!mixed && (out->WriteFailed() || in->WriteFailed())) MixStreamFilesInPlace(base, partners, &recording);
    return recording;
  }
  for (const WriterHandle& writer : {out, in}) {
    if (!writer || !writer->Completed()) continue;
    if (writer->onlyDirection())
      recording = writer->Recording();
    else
      ConvertStreamToRecording(writer->direction(), &recording);
  }
  return recording;
}

// Runs a claimed end of the session on a thread of its own; without a thread
// it runs here, rather than leave the writers running for ever.
void RunOnOwnThread(void (*end)(RecordingView&), RecordingView& view, const wchar_t* what) {
  try {
    std::thread([end, &view] { end(view); }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"%s: no thread, ending the recording on the caller's thread\n", {what});
    end(view);
  }
}

// Everything after the claim.
void RunFinishing(RecordingView& view) {
  RecordingSession& session = recordingSession;
  // The recording is finished as it was started: mixed, named and encoded by
  // the settings it began with.
  const SettingsSnapshot recorded = Settings.ForRecording();
  if (Settings.Current()->ShowStatusOnTray != 0) view.ScheduleTrayBalloon();
  session.ClearTimes();
  WriterHandle out = session.Writer(Direction::Out), in = session.Writer(Direction::In);
  StopAndWaitForWriters(out, in);
  // The writers have written all they will: whatever arrives from now on
  // belongs to the next recording.
  ResetHandoffs();

  // The recording's WAV file, for the encoders.
  std::wstring recording = MakeRecording(out, in, *recorded);

  // The session is over: a new recording may start while the encoders run.
  recordingSidecar.Close();
  ReleaseSessionEnd(session);
  view.ShowRecordingEnded();
  if (!recording.empty()) EncoderHandoff(recording, recorded->RecordFormat);
  // What the user wants now decides whether to look; the folder is the one
  // the recording went to.
  const SettingsSnapshot now = Settings.Current();
  if (now->OpenRecordFolderAfterRecording == 1) view.OpenRecordFolder(recorded->WavePath);
  if (now->ShowStatusOnTray != 0) view.ScheduleTrayBalloon();
  view.ScheduleFolderStatus();
  EndOfSessionEnd(session);
}

}  // namespace

void FinishRecording(RecordingView& view) {
  if (!ClaimSessionEnd(recordingSession)) return;
  RunFinishing(view);
}

bool StartFinishRecording(RecordingView& view) {
  if (!ClaimSessionEnd(recordingSession)) return false;
  RunOnOwnThread(RunFinishing, view, L"FinishRecording");
  return true;
}

namespace {

// Everything of an abort after its claim.
void RunAbort(RecordingView& view) {
  RecordingSession& session = recordingSession;
  session.ClearTimes();
  // The writer that failed has ended; the other one may be recording. It is
  // stopped and waited for, so that its stream file is finished with its
  // sizes, and what the two left becomes the recording.
  WriterHandle out = session.Writer(Direction::Out), in = session.Writer(Direction::In);
  StopAndWaitForWriters(out, in);
  const SettingsSnapshot recorded = Settings.ForRecording();
  std::wstring recording = MakeRecording(out, in, *recorded);
  recordingSidecar.Close();
  ReleaseSessionEnd(session);
  view.ShowRecordingEnded();
  view.ScheduleFolderStatus();
  if (!recording.empty()) EncoderHandoff(recording, recorded->RecordFormat);
  EndOfSessionEnd(session);
}

}  // namespace

void AbortRecording(RecordingView& view) {
  if (!ClaimSessionEnd(recordingSession)) return;
  RunAbort(view);
}

bool StartAbortRecording(RecordingView& view) {
  if (!ClaimSessionEnd(recordingSession)) return false;
  RunOnOwnThread(RunAbort, view, L"AbortRecording");
  return true;
}

bool ConvertStreamToRecording(Direction direction, std::wstring* deferred) {
  std::wstring base = recordingSession.BasePath();
  std::wstring stream = StreamFileName(base, direction);
  std::wstring output = FreeOutputWaveName(base, BuildPartnerList());
  // The stream file was written with ordinary writes; as the recording it is
  // made durable once, now that it is complete.
  File file;
  if (!file.OpenExisting(stream) || !file.Flush()) DebugTrace(L"Cannot flush %s to the disk\n", {stream});
  file.Close();
  if (!MoveFileNoReplace(stream, output)) {
    DebugTrace(L"Cannot move %s to %s: the recording stays in the stream file\n", {stream, output});
    return false;
  }
  if (deferred)
    *deferred = output;
  else
    EncoderHandoff(output);
  return true;
}

void FailNextWriterThreadStarts(int count) { failingThreadStarts.store(count); }
