#include "record/recording_session.h"

#include <algorithm>
#include <system_error>

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "platform/file.h"
#include "record/encoder_handoff.h"
#include "record/mixer.h"
#include "record/output_name.h"
#include "record/recovery.h"
#include "record/stream_writer.h"
#include "settings/settings.h"

WriterThread::WriterThread(RecordingSession& session, Direction direction, bool onlyDirection, StreamWriterJob job)
    : direction_(direction), onlyDirection_(onlyDirection) {
  thread_ = std::thread([this, &session, job = std::move(job)] {
    WriterResult result = RunStreamWriter(job);
    // The encoders run later, once the finishing sequence has let go of the
    // session, so that a new call can be recorded meanwhile.
    if (result.completed && onlyDirection_) session.ConvertStreamToRecording(direction_, recording_);
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

RecordingSession::RecordingSession(SettingsStore& settings, const LanguageTable& language, const CallSource& calls,
                                   RecordingEvents& events)
    : settings_(settings), language_(language), calls_(calls), events_(events) {}

RecordingSession::~RecordingSession() {
  FinishRecording();
  WaitForFinishing();
}

bool RecordingSession::AllocateHandoffs() {
  bool out = Handoff(Direction::Out).Allocate();
  bool in = Handoff(Direction::In).Allocate();
  if (out && in) return true;
  Report(RecordingFailure::HandoffMemory);
  return false;
}

void RecordingSession::ResetHandoffs() {
  Handoff(Direction::Out).Reset();
  Handoff(Direction::In).Reset();
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

bool RecordingSession::ThreadStartFails() {
  for (int left = failingThreadStarts_.load(); left > 0; left = failingThreadStarts_.load())
    if (failingThreadStarts_.compare_exchange_weak(left, left - 1)) return true;
  return false;
}

bool RecordingSession::StartStreamWriter(Direction direction, bool onlyDirection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (writers_[DirectionIndex(direction)]) return true;
  }
  // The writer is given its file, its hand-off and its flags, and reports
  // what goes wrong with its file.
  StreamWriterJob job;
  job.streamName = StreamFileName(BasePath(), direction);
  job.handoff = &Handoff(direction);
  job.flags = &Flags(direction);
  job.report = [this](RecordingFailure failure) { Report(failure); };
  // The partners known so far go beside the files, for a recovery to name them.
  job.onFileUpdated = [this] { sidecar_.SetPartners(calls_.PartnerList()); };
  WriterHandle writer;
  if (!ThreadStartFails()) {
    try {
      writer = std::make_shared<WriterThread>(*this, direction, onlyDirection, std::move(job));
    } catch (const std::system_error&) {
      writer.reset();
    }
  }
  if (!writer) {
    Report(RecordingFailure::WriterThread);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // The recording's settings are fixed by its start (StartRecording pins
  // them), at the latest by its first writer.
  settings_.PinCurrentUnlessPinned();
  writers_[DirectionIndex(direction)] = writer;
  return true;
}

// The finishing and the abort exclude each other and themselves: each claims
// the session's end under the lock, and only while a session exists.
//
// The recording is named after the partners of the moment it ends: the end of
// the last call (the saved table), Stop or a failure (the calls in progress).
// They are taken now, not when the files are mixed: by then the next call may
// be in progress already (a call right after another), and would give the
// recording its partner instead.
bool RecordingSession::ClaimSessionEnd() {
  std::wstring partners = calls_.PartnerList();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!writers_[0] && !writers_[1]) return false;
  if (finishing.load() != 0) return false;
  finishing.store(1);
  ++endsRunning_;
  endPartners_ = std::move(partners);
  return true;
}

std::wstring RecordingSession::EndPartners() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endPartners_;
}

// Forgets the writers (their threads have ended) and the recording's settings,
// and clears the finishing flag. The settings go first: a start that sees the
// flag clear pins its own.
void RecordingSession::ReleaseSessionEnd() {
  WriterHandle out, in;
  std::lock_guard<std::mutex> lock(mutex_);
  out.swap(writers_[0]);
  in.swap(writers_[1]);
  settings_.PinForRecording(nullptr);
  finishing.store(0);
}

// The last step of a finishing or an abort, after its last event.
void RecordingSession::EndOfSessionEnd() {
  // Notified under the lock: once a waiter sees the count at 0, this thread
  // no longer touches the session (the exit may follow at once).
  std::lock_guard<std::mutex> lock(mutex_);
  --endsRunning_;
  finishingDone_.notify_all();
}

bool RecordingSession::FinishingRunning() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endsRunning_ != 0;
}

bool RecordingSession::EndingRecording(std::wstring_view path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(endingBases_.begin(), endingBases_.end(), [path](const std::wstring& base) {
    return path.size() >= base.size() && EqualsNoCase(path.substr(0, base.size()), base);
  });
}

void RecordingSession::WaitForFinishing() {
  std::unique_lock<std::mutex> lock(mutex_);
  finishingDone_.wait(lock, [&] { return endsRunning_ == 0; });
}

void RecordingSession::StopAndWaitForWriters(const WriterHandle& out, const WriterHandle& in) {
  Flags(Direction::Out).stop.store(1);
  Flags(Direction::In).stop.store(1);
  if (out) {
    DebugTrace(L"Waiting for the Out writer to end");
    out->Wait();
  }
  if (in) {
    DebugTrace(L"Waiting for the In writer to end");
    in->Wait();
  }
}

// Turns what the stopped writers left into the recording. Two complete files
// are mixed, and the built-in encoders are fed as they are; when the disk is
// too full for the mix (a writer's write failed), they are mixed in place.
// When only one direction's file is complete (the other writer could not be
// started or could not create its file), that file is the recording: a
// one-direction recording's writer has made it so already, any other's is
// made so here rather than left behind as a stream file. A file whose writer
// failed before its header was whole stays as it is.
//
// It runs after the session has been let go of, so that the next call can be
// recorded while this one is mixed and encoded: the base path and the
// partners are the ones taken before.
RecordingSession::MadeRecording RecordingSession::MakeRecording(const WriterHandle& out, const WriterHandle& in,
                                                                const SettingsRecord& recorded,
                                                                const std::wstring& base,
                                                                const std::wstring& partners) {
  MadeRecording made;
  if (out && in && out->Completed() && in->Completed()) {
    const uint8_t encode = BuiltInFormatsFor(recorded.formats);
    MixOutcome mixed;
    if (recorded.stereo != 0) {
      DebugTrace(L"Mixing the two directions into stereo");
      mixed = MixStreamsToStereo(base, partners, encode);
    } else {
      DebugTrace(L"Mixing the two directions");
      mixed = MixStreamsToMono(base, partners, encode);
    }
    if (std::optional<RecordingFailure> failure = MixFailure(mixed.result)) Report(*failure);
    if (!mixed.mixed() && (out->WriteFailed() || in->WriteFailed())) {
      mixed = MixStreamFilesInPlace(base, partners);
      if (std::optional<RecordingFailure> failure = MixFailure(mixed.result)) Report(*failure);
    }
    made.name = mixed.output;
    made.encoded = std::move(mixed.encoded);
    return made;
  }
  for (const WriterHandle& writer : {out, in}) {
    if (!writer || !writer->Completed()) continue;
    if (writer->onlyDirection())
      made.name = writer->Recording();
    else
      ConvertStreamToRecording(base, partners, writer->direction(), made.name);
  }
  return made;
}

// Runs a claimed end of the session on a thread of its own; without a thread
// it runs here, rather than leave the writers running for ever.
void RecordingSession::RunOnOwnThread(void (RecordingSession::*end)(), const wchar_t* what) {
  try {
    std::thread([this, end] { (this->*end)(); }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"%s: no thread, ending the recording on the caller's thread\n", {what});
    (this->*end)();
  }
}

// Everything after the claim.
void RecordingSession::RunFinishing() {
  // The recording is finished as it was started: mixed, named and encoded by
  // the settings it began with.
  const SettingsSnapshot recorded = settings_.ForRecording();
  events_.OnRecordingFinishing();
  ClearTimes();
  WriterHandle out = Writer(Direction::Out), in = Writer(Direction::In);
  StopAndWaitForWriters(out, in);
  // The writers have written all they will: whatever arrives from now on
  // belongs to the next recording.
  ResetHandoffs();
  EndSession(out, in, *recorded, false);
}

// What the stopped writers left becomes the recording, the session lets go
// (a new recording may start while the encoders run), and the recording goes
// to the encoders.
void RecordingSession::EndSession(const WriterHandle& out, const WriterHandle& in, const SettingsRecord& recorded,
                                  bool aborted) {
  FinishedRecording finished;
  finished.folder = recorded.recordFolder;
  finished.aborted = aborted;
  const std::wstring base = BasePath(), partners = EndPartners();
  // The side file stays held until the stream files are gone.
  RecordingSidecar sidecar;
  sidecar.TakeOver(sidecar_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    endingBases_.push_back(base);
  }
  ReleaseSessionEnd();
  events_.OnRecordingStopped();
  MadeRecording made = MakeRecording(out, in, recorded, base, partners);
  sidecar.Close();
  finished.recording = made.name;
  if (!finished.recording.empty())
    finished.encoders = EncoderHandoff(finished.recording, recorded.formats, EncoderTimeFloor(),
                                       made.encoded ? &*made.encoded : nullptr);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    endingBases_.erase(std::find(endingBases_.begin(), endingBases_.end(), base));
  }
  events_.OnRecordingFinished(finished);
  EndOfSessionEnd();
}

void RecordingSession::FinishRecording() {
  if (!ClaimSessionEnd()) return;
  RunFinishing();
}

bool RecordingSession::StartFinishRecording() {
  if (!ClaimSessionEnd()) return false;
  RunOnOwnThread(&RecordingSession::RunFinishing, L"FinishRecording");
  return true;
}

// Everything of an abort after its claim.
void RecordingSession::RunAbort() {
  ClearTimes();
  // The writer that failed has ended; the other one may be recording. It is
  // stopped and waited for, so that its stream file is finished with its
  // sizes, and what the two left becomes the recording.
  WriterHandle out = Writer(Direction::Out), in = Writer(Direction::In);
  StopAndWaitForWriters(out, in);
  const SettingsSnapshot recorded = settings_.ForRecording();
  EndSession(out, in, *recorded, true);
}

void RecordingSession::AbortRecording() {
  if (!ClaimSessionEnd()) return;
  RunAbort();
}

bool RecordingSession::StartAbortRecording() {
  if (!ClaimSessionEnd()) return false;
  RunOnOwnThread(&RecordingSession::RunAbort, L"AbortRecording");
  return true;
}

bool RecordingSession::ConvertStreamToRecording(Direction direction, std::wstring& recording) {
  return ConvertStreamToRecording(BasePath(), EndPartners(), direction, recording);
}

bool RecordingSession::ConvertStreamToRecording(const std::wstring& base, const std::wstring& partners,
                                                Direction direction, std::wstring& recording) {
  std::wstring stream = StreamFileName(base, direction);
  std::wstring output = FreeOutputWaveName(base, partners);
  // The stream file was written with ordinary writes; as the recording it is
  // made durable once, now that it is complete.
  File file;
  if (!file.OpenExisting(stream) || !file.Flush()) DebugTrace(L"Cannot flush %s to the disk\n", {stream});
  file.Close();
  if (!MoveFileNoReplace(stream, output)) {
    DebugTrace(L"Cannot move %s to %s: the recording stays in the stream file\n", {stream, output});
    return false;
  }
  recording = output;
  return true;
}
