// The one current recording and everything it is made with: the two hand-offs
// the audio servers fill, the writer threads and the flags they poll, the side
// file, the base path, the finishing flag and the time fields the status line
// shows; and the operations that start, pause and end it.
//
// The recorder owns one session for its whole run and hands it what it reads:
// the settings (a recording pins the set it starts with until it has been
// finished), the language (the date words of the recording's name), the calls
// (is one in progress, who are the partners) and the events it reports to.
//
// Threads: the user-interface thread starts and pauses a recording; the writer
// threads and the finishing thread read the same session. Everything in it is
// an atomic word or is guarded by the session's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/direction.h"
#include "record/encoder_handoff.h"
#include "record/recording_control.h"
#include "record/recording_events.h"
#include "record/recovery.h"
#include "record/stream_handoff.h"
#include "record/stream_writer.h"

class LanguageTable;
class RecordingSession;
class SettingsStore;
struct SettingsRecord;

// The base path may be this long (a buffer of 1,024 characters).
constexpr size_t kBasePathMaxChars = 1023;

// What a recording needs to know of the calls (the call state machine in the
// program).
class CallSource {
 public:
  virtual ~CallSource() = default;
  virtual bool CallInProgress() const = 0;
  // The partners the recording is named after, file-name safe and separated
  // by blanks.
  virtual std::wstring PartnerList() const = 0;
};

// One writer thread of the session. Its handle in the session is not null
// while the writer belongs to the session.
class WriterThread {
 public:
  // `onlyDirection`: this is the only direction recorded, so the thread turns
  // the writer's file into the recording once the writer has finished it.
  WriterThread(RecordingSession& session, Direction direction, bool onlyDirection, StreamWriterJob job);
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
  RecordingSession(SettingsStore& settings, const LanguageTable& language, const CallSource& calls,
                   RecordingEvents& events);
  // A recording still running is finished, and a finishing under way is
  // waited for: nothing is left half written.
  ~RecordingSession();
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // The hand-off of a direction, from the session's making to its end; the
  // direction's audio server appends to it.
  StreamHandoff& Handoff(Direction direction) { return handoffs_[DirectionIndex(direction)]; }
  // Makes sure the four blocks exist (Out handoff, Out overflow, In handoff,
  // In overflow, in this order, each only if missing). When a block cannot be
  // allocated the failure HandoffMemory is reported, once per call, and the
  // result is false: a hand-off with a missing block must not be used.
  bool AllocateHandoffs();
  // Empties both hand-offs (at every start and resume of a recording).
  void ResetHandoffs();

  // --- Starting and pausing (the user-interface thread) -------------------

  // Starts a recording of the calls in progress, or lets a paused one go on.
  // Reports OnRecordingStarted or OnRecordingResumed, and the failures that
  // keep a recording from starting.
  StartOutcome StartRecording();
  // Whether the audio of a direction can reach the session (its server
  // listens). A fresh recording that needs a direction without audio is not
  // started (NoAudio): it would only write silence.
  void SetAudioAvailable(Direction direction, bool available) {
    audioAvailable_[DirectionIndex(direction)].store(available);
  }
  // A start that came while a finishing sequence ran (a new call, or Record)
  // is remembered; once the finishing has let go of the session, the
  // application takes it and starts with StartDeferredRecording, so the new
  // call is recorded too. True once per remembered start.
  bool TakePendingStart() { return pendingStart_.exchange(false); }
  // StartRecording that keeps what the hand-offs received since the finishing
  // stopped the last writers: the new call's first audio.
  StartOutcome StartDeferredRecording();
  void PauseRecording();

  // The seconds the recording line shows now (and keeps in the session).
  uint32_t UpdateElapsedSeconds();

  // Starts the direction's writer thread unless its handle is already set.
  // When the thread cannot be created the handle stays null, the failure
  // WriterThread is reported and the result is false.
  bool StartStreamWriter(Direction direction, bool onlyDirection);

  // --- Ending ------------------------------------------------------------

  // The finishing sequence, on the calling thread: stops the writers and
  // waits for them, mixes the two stream files (stereo when SaveLF is set) or,
  // when only one of two directions has a writer, turns that one's file into
  // the recording, runs the encoders and forgets the writers. Returns at once
  // when no session exists or one is already ending.
  void FinishRecording();
  // Claims the finishing at once (so a repeated call end or Stop starts
  // nothing more) and runs it on a new thread. False when no session exists
  // or one is already ending.
  bool StartFinishRecording();

  // Ends the recording after a writer could not create its stream file or
  // could not write to it (a full disk). The other direction's writer, which
  // may still run, is stopped and waited for; what the writers left becomes
  // the recording under the normal output name and goes to the encoders: the
  // two files mixed (in place when the disk is too full for a copy), or the
  // one complete file as a one-direction recording, rather than staying a
  // stream file.
  void AbortRecording();
  // Like StartFinishRecording: claims the abort at once and runs it on a new
  // thread. False when no session exists or one is already ending.
  bool StartAbortRecording();

  // Waits until no finishing or abort is under way (for the exit path).
  void WaitForFinishing();
  // A finishing or an abort is under way (its encoders included).
  bool FinishingRunning() const;
  // A recording still being made of a session that has ended: its files are
  // mixed or encoded under a name that starts with its base path, so a file
  // whose path (without extension) starts so must be left alone.
  bool EndingRecording(std::wstring_view path) const;

  // The end of a one-direction recording (after the session's end was
  // claimed): the direction's stream file is flushed to the disk and moves to
  // the output name, named after the partners of that moment, which is stored in
  // `recording`. When the move fails (the name exists, the folder refuses)
  // the stream file stays as it is, a complete WAV file. The encoders are the
  // caller's. True when the file was moved.
  bool ConvertStreamToRecording(Direction direction, std::wstring& recording);
  // The same for a recording whose session has been let go of.
  static bool ConvertStreamToRecording(const std::wstring& base, const std::wstring& partners, Direction direction,
                                       std::wstring& recording);

  // --- State -------------------------------------------------------------

  // The session's full path without extension; the stream files and the
  // output name are formed from it.
  std::wstring BasePath() const;
  void SetBasePath(std::wstring_view path);

  // A session exists while at least one writer handle is set.
  bool Exists() const;
  WriterHandle Writer(Direction direction) const;

  WriterFlags& Flags(Direction direction) { return flags_[DirectionIndex(direction)]; }
  // A pause (or a stop) was asked of either writer.
  bool AnyPaused() const { return flags_[0].pause.load() != 0 || flags_[1].pause.load() != 0; }
  bool AnyStopped() const { return flags_[0].stop.load() != 0 || flags_[1].stop.load() != 0; }

  // Set for the whole run of a finishing (or an abort).
  std::atomic<uint32_t> finishing{0};

  // The platform's millisecond tick count when the time last began counting
  // (0 while it is not running), the seconds the status line shows, and the
  // seconds counted up to the last pause.
  std::atomic<uint32_t> startTick{0};
  std::atomic<uint32_t> elapsedSeconds{0};
  std::atomic<uint32_t> accumulatedSeconds{0};
  void ClearTimes();

  RecordingSidecar& sidecar() { return sidecar_; }
  SettingsStore& settings() { return settings_; }

  // Fault injection and time limits for tests: the next `count` writer
  // threads cannot be created; the encoders' least time.
  void FailNextWriterThreadStarts(int count) { failingThreadStarts_.store(count); }
  void SetEncoderTimeFloor(std::chrono::milliseconds floor) { encoderTimeFloor_.store(floor.count()); }
  std::chrono::milliseconds EncoderTimeFloor() const { return std::chrono::milliseconds(encoderTimeFloor_.load()); }

 private:
  StartOutcome Start(bool keepReceived);
  void DropPausedAudio();
  bool ThreadStartFails();
  bool ClaimSessionEnd();
  std::wstring EndPartners() const;
  void ReleaseSessionEnd();
  void EndOfSessionEnd();
  void RunOnOwnThread(void (RecordingSession::*end)(), const wchar_t* what);
  void RunFinishing();
  void RunAbort();
  void EndSession(const WriterHandle& out, const WriterHandle& in, const SettingsRecord& recorded, bool aborted);
  void StopAndWaitForWriters(const WriterHandle& out, const WriterHandle& in);
  // The recording made of what the writers left, and what the built-in
  // encoders made of it while it was mixed.
  struct MadeRecording {
    std::wstring name;
    std::optional<std::vector<BuiltInOutput>> encoded;
  };
  MadeRecording MakeRecording(const WriterHandle& out, const WriterHandle& in, const SettingsRecord& recorded,
                              const std::wstring& base, const std::wstring& partners);
  void Report(RecordingFailure failure) { events_.OnRecordingFailed(failure); }

  SettingsStore& settings_;
  const LanguageTable& language_;
  const CallSource& calls_;
  RecordingEvents& events_;

  StreamHandoff handoffs_[2];
  RecordingSidecar sidecar_;
  std::atomic<bool> pendingStart_{false};
  std::atomic<bool> audioAvailable_[2] = {true, true};
  std::atomic<int> failingThreadStarts_{0};
  std::atomic<int64_t> encoderTimeFloor_{kEncoderTimeFloor.count()};

  mutable std::mutex mutex_;
  std::condition_variable finishingDone_;
  int endsRunning_ = 0;  // finishings and aborts whose threads have not returned
  std::vector<std::wstring> endingBases_;  // the base paths of the sessions those are making recordings of
  std::wstring basePath_;
  std::wstring endPartners_;  // the partners the recording is named after, taken when its end was claimed
  // The flags outlive the writers that poll them.
  WriterFlags flags_[2];
  WriterHandle writers_[2];
};
