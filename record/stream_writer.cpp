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
        if (flags_.pauseNoted.load() == 0) {
          // Noted once what was pending has been written, so that the flag
          // tells the session the file is complete up to the pause.
          if (!WritePending(false)) return false;
          flags_.pauseNoted.store(1);
        }
        // Stop during a pause writes nothing more: what came during the pause
        // is not part of the recording.
        if (flags_.stop.load() == 1) return true;
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
};

}  // namespace

std::wstring StreamFileName(const std::wstring& basePath, Direction direction) {
  return FormatText(StreamFileFormat(direction), {basePath});
}

bool RunStreamWriter(Direction direction, bool onlyDirection) {
  std::wstring name = StreamFileName(recordingSession.BasePath(), direction);
  // What the writer takes from the hand-off is copied here before it is
  // written, so the hand-off's blocks are never read while the disk is busy.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kHandoffDataBytes]);
  File file;
  if (!buffer || !HandoffOf(direction).IsAllocated() || !file.Create(name)) {
    DebugTrace(L"Stream writer %s: cannot create %s\n", {DirectionName(direction), name});
    PostToMainWindow(WM_STREAM_FILE_FAILED);
    return false;
  }
  if (!WriteEmptyWaveHeader(file, 1)) {
    ShowMessageBox(L"write file fail!");
    return false;
  }
  if (!Writer(direction, file, buffer.get()).Run()) {
    DebugTrace(L"Stream writer %s: a write to %s failed\n", {DirectionName(direction), name});
    ShowMessageBox(L"write file fail!");
    return false;
  }
  buffer.reset();
  if (!FinishWaveHeader(file, 1)) {
    ShowMessageBox(L"write file fail!");
    return false;
  }
  file.Close();
  if (onlyDirection) ConvertStreamToRecording(direction);
  return true;
}
