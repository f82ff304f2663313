// The one current recording: its base path, its writer threads, the flags they
// poll, the finishing flag and the time fields the status line shows; and the
// operations that end it, FinishRecording and AbortRecording.
//
// The main window (user-interface thread) starts and pauses a recording, the
// writer threads and the finishing thread read the same record. Everything in
// it is an atomic word or is guarded by the record's lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/direction.h"
#include "record/stream_handoff.h"
#include "record/stream_writer.h"

// The base path may be this long (a buffer of 1,024 characters).
constexpr size_t kBasePathMaxChars = 1023;

// What ending a recording changes in the main window. The main window
// implements it; tests give a fake. Called on the finishing thread (Finish) or
// the user-interface thread (Abort).
class RecordingView {
 public:
  virtual ~RecordingView() = default;
  // Record (1003) enabled, Pause (1004) and Stop (1005) disabled, the recording
  // status line (1031) hidden and its timer (7) stopped.
  virtual void ShowRecordingEnded() = 0;
  // Timer 8 for 10 ms: the tray balloon shows the new state.
  virtual void ScheduleTrayBalloon() = 0;
  // Timer 5 for 100 ms: the record folder's status line is refreshed.
  virtual void ScheduleFolderStatus() = 0;
  // Opens the folder in the shell ("open", SW_SHOW), waits 100 ms and gives the
  // focus back to the main window.
  virtual void OpenRecordFolder(const std::wstring& folder) = 0;
};

// One writer thread of the session. Its handle in the session is not null
// while the writer belongs to the session.
class WriterThread {
 public:
  // `onlyDirection`: this is the only direction recorded, so the thread turns
  // the writer's file into the recording once the writer has finished it.
  WriterThread(Direction direction, bool onlyDirection, StreamWriterJob job);
  ~WriterThread();
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

  Direction direction() const { return direction_; }
  bool onlyDirection() const { return onlyDirection_; }
  // Waits, without a limit, for the thread to end; any thread may call it, any
  // number of times.
  void Wait();
  bool Ended() const { return ended_.load(); }
  // The thread has ended with its stream file finished (not after a failure).
  bool Completed() const { return completed_.load(); }
  // A write failed (a full disk): the file holds what was written before.
  bool WriteFailed() const { return writeFailed_.load(); }
  // The only direction's writer, after Wait: the recording its file became.
  const std::wstring& Recording() const { return recording_; }

 private:
  Direction direction_;
  bool onlyDirection_;
  std::atomic<bool> ended_{false};
  std::atomic<bool> completed_{false};
  std::atomic<bool> writeFailed_{false};
  std::wstring recording_;  // written by the thread before it ends, read after Wait
  std::mutex joinMutex_;
  std::thread thread_;
};

using WriterHandle = std::shared_ptr<WriterThread>;

class RecordingSession {
 public:
  // The session's full path without extension; the stream files and the
  // output name are formed from it.
  std::wstring BasePath() const;
  void SetBasePath(std::wstring_view path);

  // A session exists while at least one writer handle is set.
  bool Exists() const;
  WriterHandle Writer(Direction direction) const;

  WriterFlags& Flags(Direction direction) { return flags_[DirectionIndex(direction)]; }

  // Set for the whole run of a finishing (or an abort).
  std::atomic<uint32_t> finishing{0};

  // The platform's millisecond tick count when the time last began counting (0
  // while it is not running), the seconds the status line shows, and the
  // seconds counted up to the last pause.
  std::atomic<uint32_t> startTick{0};
  std::atomic<uint32_t> elapsedSeconds{0};
  std::atomic<uint32_t> accumulatedSeconds{0};
  void ClearTimes();

 private:
  friend bool StartStreamWriter(Direction, bool);
  friend bool ClaimSessionEnd(RecordingSession&);
  friend void ReleaseSessionEnd(RecordingSession&);
  friend void WaitForFinishing();
  friend bool FinishingRunning();
  friend void EndOfSessionEnd(RecordingSession&);

  mutable std::mutex mutex_;
  std::condition_variable finishingDone_;
  int endsRunning_ = 0;  // finishings and aborts whose threads have not returned
  std::wstring basePath_;
  WriterHandle writers_[2];
  WriterFlags flags_[2];
};

extern RecordingSession recordingSession;

// Starts the direction's writer thread unless its handle is already set. When
// the thread cannot be created the handle stays null and the message box
// "Create Record Thread Fail!\n" is shown; the result is false.
bool StartStreamWriter(Direction direction, bool onlyDirection);

// The finishing sequence, on the calling thread: stops the writers and waits
// for them, mixes the two stream files (stereo when SaveLF is set) or, when
// only one of two directions has a writer, turns that one's file into the
// recording, runs the encoders, forgets the writers and returns the window to
// idle. Returns at once when no session exists or one is already ending.
void FinishRecording(RecordingView& view);

// For the user-interface thread: claims the finishing at once (so a repeated
// WM_SKYPE_CALL_ENDED or Stop starts nothing more) and runs it on a new
// thread. False when no session exists or one is already ending. The view
// must outlive the finishing (WaitForFinishing).
bool StartFinishRecording(RecordingView& view);

// Waits until no finishing or abort is under way (for the exit path).
void WaitForFinishing();
// A finishing or an abort is under way (its encoders included).
bool FinishingRunning();

// Ends the recording after a writer could not create its stream file or could
// not write to it (a full disk). The other direction's writer, which may still
// run, is stopped and waited for; what the writers left becomes the recording
// under the normal output name and goes to the encoders: the two files mixed
// (in place when the disk is too full for a copy), or the one complete file
// as a one-direction recording, rather than staying a stream file.
void AbortRecording(RecordingView& view);
// For the user-interface thread, like StartFinishRecording: claims the abort at
// once and waits for the other writer on a new thread. False when no session
// exists or one is already ending.
bool StartAbortRecording(RecordingView& view);

// The end of a one-direction recording: the direction's stream file is flushed
// to the disk and moves to the output name, then goes to the encoders. When
// the move fails (the name exists, the folder refuses) the stream file stays
// as it is, a complete WAV file, and no encoder runs. With `deferred`, the
// encoders are not run here: the recording's name is stored there for the
// caller to hand on later. True when the file was moved.
bool ConvertStreamToRecording(Direction direction, std::wstring* deferred = nullptr);

// Fault injection for tests: the next `count` writer threads cannot be created.
void FailNextWriterThreadStarts(int count);
