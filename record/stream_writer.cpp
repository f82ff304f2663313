#include "record/stream_writer.h"

#include "platform/debug_trace.h"
#include "platform/file.h"
#include "record/wave_file.h"

namespace {

using Clock = WriterWake::Clock;
constexpr Clock::time_point kNoDeadline = Clock::time_point::max();
// What of a filling block is written without waiting for it to be full.
constexpr uint32_t kEarlyWriteBytes = 256 * 1024;

class Writer {
 public:
  Writer(const StreamWriterJob& job, File& file)
      : file_(file),
        handoff_(*job.handoff),
        flags_(*job.flags),
        flushInterval_(job.flushInterval),
        onFileUpdated_(job.onFileUpdated),
        onSleep_(job.onSleep) {}

  // The writer's loop; false after a failed write.
  bool Run() {
    for (;;) {
      Clock::time_point deadline = kNoDeadline;
      if (flags_.pause.load() == 1) {
        // Stop is read before the pause count: a pause requested before the
        // stop is then seen and flushed before the writer ends.
        bool stopping = flags_.stop.load() == 1;
        uint32_t request = flags_.pauseRequests.load();
        if (!flushedAny_ || request != flushedPause_) {
          // Noted once what was pending has been written, so that the flag
          // tells the session the file is complete up to the pause.
          flushedAny_ = true;
          flushedPause_ = request;
          if (!WritePending(false)) return false;
          flags_.pauseFlushed.store(request);
          flags_.pauseNoted.store(1);
        }
        // Stop during a pause writes nothing more: what came during the pause
        // is not part of the recording.
        if (stopping) return true;
        pendingSince_ = kNoDeadline;
        handoff_.DisarmWake();
      } else {
        if (!Write(handoff_.TakeReady())) return false;
        handoff_.MoveOverflowForward();
        if (flags_.stop.load() == 1) return WritePending(true);
        bool wrote = false;
        if (!WriteFillingBlock(wrote)) return false;
        if (wrote) continue;
        // With everything written the writer wakes for the next audio; with
        // audio waiting, for its deadline or once enough has come.
        if (!handoff_.ArmWake(pendingSince_ == kNoDeadline ? 1 : kEarlyWriteBytes)) continue;
        if (pendingSince_ != kNoDeadline) deadline = pendingSince_ + flushInterval_;
      }
      // Before it sleeps the file says what it holds.
      if (grown_ && !Refresh()) return false;
      if (onSleep_) onSleep_(deadline);
      flags_.wake.WaitUntil(deadline);
    }
  }

 private:
  // Writes a piece as it stands in its block, then hands it back.
  bool Write(const StreamHandoff::Piece& piece) {
    bool written = piece.size() == 0 || file_.Write(piece.data(), piece.size());
    handoff_.Done(piece);
    if (!written) return false;
    if (piece.size() != 0) grown_ = true;
    // A writer that never sleeps (audio coming faster than a real call)
    // brings its file up to date at the same pace.
    if (grown_ && Clock::now() >= lastRefresh_ + flushInterval_) return Refresh();
    return true;
  }

  // The header's sizes say what the file holds, then the writing goes on at
  // its end; once per flush interval the file is also put on the disk itself,
  // so that a power cut finds it as it was then. A failed flush is only
  // traced: the file is as good as the system's cache.
  bool Refresh() {
    uint64_t size = 0;
    if (!FinishWaveHeader(file_, 1) || !file_.Size(size) || !file_.Seek(size)) return false;
    grown_ = false;
    Clock::time_point now = Clock::now();
    lastRefresh_ = now;
    if (now >= lastDurable_ + flushInterval_) {
      lastDurable_ = now;
      if (!file_.Flush()) DebugTrace(L"Stream writer: cannot flush %s to the disk\n", {file_.path()});
    }
    if (onFileUpdated_) onFileUpdated_();
    return true;
  }

  bool WritePending(bool stopping) {
    StreamHandoff::Pending pending;
    return Write(handoff_.TakePendingHandoff(stopping, pending)) && Write(handoff_.TakePendingOverflow(pending));
  }

  // The block that is filling is written before it is full: once enough of
  // it waits that writing it is worth a call (so that little is left to write
  // when it becomes Ready, while the receiver fills the overflow block), and
  // once what waits has waited the flush interval.
  bool WriteFillingBlock(bool& wrote) {
    uint32_t unwritten = handoff_.Unwritten();
    Clock::time_point now = Clock::now();
    if (unwritten == 0) {
      pendingSince_ = kNoDeadline;
      return true;
    }
    if (pendingSince_ == kNoDeadline) pendingSince_ = now;
    if (unwritten < kEarlyWriteBytes && now < pendingSince_ + flushInterval_) return true;
    wrote = true;
    pendingSince_ = kNoDeadline;
    return Write(handoff_.TakeFilling());
  }

  File& file_;
  StreamHandoff& handoff_;
  WriterFlags& flags_;
  const std::chrono::milliseconds flushInterval_;
  const std::function<void()>& onFileUpdated_;
  const std::function<void(Clock::time_point)>& onSleep_;
  bool grown_ = false;                // audio written since the header was last brought up to date
  Clock::time_point lastRefresh_ = Clock::now();
  Clock::time_point lastDurable_ = Clock::time_point::min();
  Clock::time_point pendingSince_ = kNoDeadline;  // when unwritten audio was first seen
  bool flushedAny_ = false;    // this writer has flushed for a pause
  uint32_t flushedPause_ = 0;  // the pause it last flushed for
};

}  // namespace

WriterResult RunStreamWriter(const StreamWriterJob& job) {
  WriterResult result;
  auto report = [&job](RecordingFailure failure) {
    if (job.report) job.report(failure);
  };
  File file;
  if (!job.handoff || !job.flags || !job.handoff->IsAllocated() || !file.Create(job.streamName)) {
    DebugTrace(L"Stream writer: cannot create %s\n", {job.streamName});
    report(RecordingFailure::StreamFileNotCreated);
    return result;
  }
  if (!WriteEmptyWaveHeader(file, 1)) {
    result.writeFailed = true;
    report(RecordingFailure::StreamWriteFailed);
    return result;
  }
  job.handoff->SetWriterWake(&job.flags->wake);
  bool ran = Writer(job, file).Run();
  job.handoff->SetWriterWake(nullptr);
  if (!ran) {
    // A full disk: the header is rewritten in place, which needs no room, so
    // that the file stays a playable recording of what reached it.
    DebugTrace(L"Stream writer: a write to %s failed\n", {job.streamName});
    result.writeFailed = true;
    result.completed = FinishWaveHeader(file, 1);
    file.Close();
    report(RecordingFailure::StreamWriteFailed);
    return result;
  }
  if (!FinishWaveHeader(file, 1)) {
    report(RecordingFailure::StreamNotCompleted);
    return result;
  }
  file.Close();
  result.completed = true;
  return result;
}
