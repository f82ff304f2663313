// The writer thread of one direction: creates the direction's stream file, a
// WAV header followed by the audio, writes what the hand-off gives it until
// its stop flag is set, and fills in the header sizes.
//
// It is given everything it needs when it starts (StreamWriterJob) and reports
// back through its result and the job's failure report; it knows nothing of the
// recording session, so it runs as well on a thread of a test's own.
//
// Between pieces of work it sleeps on its flags' WriterWake: the hand-off sets
// it when a block becomes Ready or when audio arrives while everything before
// was written, the session when it asks for a pause, a resume or a stop. Audio
// that is not in a full block reaches the file at the latest `flushInterval`
// after the writer first saw it, so the file is never far behind the call.
//
// A stream file cut off at any moment (the process killed, the power gone) is a
// playable WAV file of what was written: after its writes the writer brings the
// header's two sizes up to date, and at most every `flushInterval` it has the
// system put the file on the disk itself. A kill then loses the audio that was
// still in memory (at most about one flush interval), a power cut at most about
// two intervals.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "common/direction.h"
#include "record/recording_failure.h"
#include "record/stream_handoff.h"
#include "record/writer_wake.h"

// A flag word that wakes its direction's writer when it is set.
class WriterSignal {
 public:
  explicit WriterSignal(WriterWake& wake) : wake_(wake) {}
  WriterSignal(const WriterSignal&) = delete;
  WriterSignal& operator=(const WriterSignal&) = delete;

  void store(uint32_t value) {
    word_.store(value);
    wake_.Notify();
  }
  WriterSignal& operator=(uint32_t value) {
    store(value);
    return *this;
  }
  uint32_t load() const { return word_.load(); }
  operator uint32_t() const { return load(); }

 private:
  std::atomic<uint32_t> word_{0};
  WriterWake& wake_;
};

// The per-direction flags of a recording, 32-bit words shared with the writer.
struct WriterFlags {
  WriterWake wake;           // what the writer sleeps on; the signals below set it
  WriterSignal pause{wake};  // set by the session's pause
  std::atomic<uint32_t> pauseNoted{0};  // set by the writer once it has flushed for the pause
  WriterSignal stop{wake};   // set by the finishing sequence
  // Counts the pauses and is never cleared. The writer flushes once for each
  // pause it sees by this count, not by pauseNoted: a resume clears the flags
  // while the writer may still be flushing for the pause before, and a
  // pauseNoted it sets after that clear must not make it skip the next pause.
  std::atomic<uint32_t> pauseRequests{0};
  // The pauseRequests value the writer last flushed for: the pending audio of
  // the latest pause is on disk when the two are equal.
  std::atomic<uint32_t> pauseFlushed{0};

  void RequestPause() {
    pauseRequests.fetch_add(1);
    pause.store(1);
  }
  void Clear() {
    pause.store(0);
    pauseNoted.store(0);
    stop.store(0);
  }
};

// How long audio may wait in a block that is not yet full before the writer
// writes it, and how often a file whose audio grew is flushed to the disk.
constexpr std::chrono::milliseconds kWriterFlushInterval{2000};

struct StreamWriterJob {
  std::wstring streamName;  // the file to create, "<base>_Out.sky" or "<base>_In.sky"
  StreamHandoff* handoff = nullptr;
  WriterFlags* flags = nullptr;
  // Called on the writer's thread with what went wrong: the file cannot be
  // created (StreamFileNotCreated), a write failed (StreamWriteFailed, after
  // the file was made whole), or the header's sizes could not be filled in at
  // the end (StreamNotCompleted).
  std::function<void(RecordingFailure)> report;
  std::chrono::milliseconds flushInterval = kWriterFlushInterval;
  // Called on the writer's thread each time it has brought its file up to
  // date (the session keeps the recording's partners beside the files then).
  std::function<void()> onFileUpdated;
  // Called on the writer's thread each time it goes to sleep, with the moment
  // it wakes by itself at the latest (WriterWake::Clock::time_point::max():
  // only when woken). A test learns from it that the writer has looked at the
  // audio waiting and chosen to let it wait.
  std::function<void(WriterWake::Clock::time_point deadline)> onSleep;
};

// What a writer thread leaves behind.
struct WriterResult {
  bool completed = false;  // the stream file was finished with its sizes filled in
  bool writeFailed = false;  // a write failed (a full disk): the file holds what was written before
};

// The writer thread's body. A file that cannot be created is reported through
// the job; a failed write (a full disk) ends the writer with the sizes of what
// the file holds filled in, so that it stays a playable file, and is reported.
WriterResult RunStreamWriter(const StreamWriterJob& job);
