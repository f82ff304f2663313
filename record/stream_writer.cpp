#include "record/stream_writer.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/file.h"
#include "platform/main_window.h"
#include "platform/message_box.h"
#include "record/recording_session.h"
#include "record/stream_handoff.h"
#include "record/wave_file.h"

namespace {

const wchar_t* DirectionName(Direction direction) { return direction == Direction::Out ? L"Out" : L"In"; }

class Writer {
 public:
  Writer(Direction direction, File& file, uint8_t* buffer)
      : file_(file),
        buffer_(buffer),
        handoff_(HandoffOf(direction)),
        flags_(recordingSession.Flags(direction)) {}

  // The pass loop; false after a failed write.
  bool Run() {
    for (;;) {
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
      } else {
        size_t n = handoff_.TakeReady(buffer_);
        if (n > 0 && !file_.Write(buffer_, n)) return false;
        if (flags_.stop.load() == 1) return WritePending(true);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  bool WritePending(bool stopping) {
    StreamHandoff::Pending pending;
    size_t n = handoff_.TakePendingHandoff(buffer_, stopping, pending);
    if (n > 0 && !file_.Write(buffer_, n)) return false;
    n = handoff_.TakePendingOverflow(buffer_, pending);
    if (n > 0 && !file_.Write(buffer_, n)) return false;
    return true;
  }

  File& file_;
  uint8_t* buffer_;
  StreamHandoff& handoff_;
  WriterFlags& flags_;
  bool flushedAny_ = false;    // this writer has flushed for a pause
  uint32_t flushedPause_ = 0;  // the pause it last flushed for
};

}  // namespace

std::wstring StreamFileName(const std::wstring& basePath, Direction direction) {
  return FormatText(StreamFileFormat(direction), {basePath});
}

WriterResult RunStreamWriter(Direction direction, bool onlyDirection) {
  WriterResult result;
  std::wstring name = StreamFileName(recordingSession.BasePath(), direction);
  // What the writer takes from the hand-off is copied here before it is
  // written, so the hand-off's blocks are never read while the disk is busy.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kHandoffDataBytes]);
  File file;
  if (!buffer || !HandoffOf(direction).IsAllocated() || !file.Create(name)) {
    DebugTrace(L"Stream writer %s: cannot create %s\n", {DirectionName(direction), name});
    PostToMainWindow(WM_STREAM_FILE_FAILED);
    return result;
  }
  if (!WriteEmptyWaveHeader(file, 1)) {
    ShowMessageBox(L"write file fail!");
    return result;
  }
  if (!Writer(direction, file, buffer.get()).Run()) {
    DebugTrace(L"Stream writer %s: a write to %s failed\n", {DirectionName(direction), name});
    ShowMessageBox(L"write file fail!");
    return result;
  }
  buffer.reset();
  if (!FinishWaveHeader(file, 1)) {
    ShowMessageBox(L"write file fail!");
    return result;
  }
  file.Close();
  result.completed = true;
  // The encoders run later, once the finishing sequence has let go of the
  // session, so that a new call can be recorded meanwhile.
  if (onlyDirection) ConvertStreamToRecording(direction, &result.recording);
  return result;
}
