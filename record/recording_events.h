// What the recording pipeline tells the application. The application
// implements the events (one adapter that carries each to the main window's
// thread) and shows each failure in the user's language; tests write them
// down.
#pragma once

#include <string>

#include "record/encoder_handoff.h"
#include "record/recording_failure.h"
#include "record/recovery.h"

// A recording that has been finished: mixed (or made of its one direction)
// and handed to the encoders.
struct FinishedRecording {
  std::wstring folder;     // the record folder it was started in
  std::wstring recording;  // the WAV file made (it may be gone after the encoders); empty when none was made
  bool aborted = false;    // ended by a failure rather than by the calls or the user
  EncoderReport encoders;
};

class RecordingEvents {
 public:
  virtual ~RecordingEvents() = default;

  // A fresh recording runs: its writers are started and its time counts.
  virtual void OnRecordingStarted() = 0;
  // A start found the recording there (paused, or running for another call):
  // it goes on. `timeRunning`: a call is in progress and the time counts.
  virtual void OnRecordingResumed(bool timeRunning) = 0;
  virtual void OnRecordingPaused() = 0;
  // The finishing sequence has begun (on its own thread).
  virtual void OnRecordingFinishing() = 0;
  // The writers have stopped and the session is free: a new recording may
  // start while the last one is still being encoded.
  virtual void OnRecordingStopped() = 0;
  // The recording has been mixed and encoded; the record folder has changed.
  virtual void OnRecordingFinished(const FinishedRecording& finished) = 0;
  // Something the user must be told of (from any of the pipeline's threads).
  virtual void OnRecordingFailed(RecordingFailure failure) = 0;
  // Recordings that a crash left behind were finished (at start-up, on a
  // thread of their own).
  virtual void OnRecordingsRecovered(const RecoveryReport& report) = 0;
};
