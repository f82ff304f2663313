// What the recorder tells whoever shows it (the main window, a test): what
// happened and what it decided. Every event comes on the recorder's own
// thread (engine/recorder_loop.h), one at a time and in order, except
// OnFailureNotice, which comes at once on the thread where the failure
// happened, so that a box can say so even while the recorder is busy or the
// window is gone. Each does nothing unless overridden.
#pragma once

#include <cstdint>
#include <string>

#include "common/direction.h"
#include "record/recording_events.h"
#include "record/retention.h"

class RecorderEvents {
 public:
  virtual ~RecorderEvents() = default;

  // --- The client and the calls -----------------------------------------------

  // The client's state may have changed (attached, logged out, gone).
  virtual void OnClientStateChanged() {}
  // A call came into progress: a client's call (with the client's audio as the
  // source), or a call app the automatic start found (the computer's sound).
  virtual void OnCallStarted() {}
  // The client's last call ended.
  virtual void OnCallsEnded() {}
  // The partner's handle of the newest call is known.
  virtual void OnPartnerKnown() {}

  // --- What the recorder decided ----------------------------------------------

  // A recording is about to be started (Record, a call, a start that waited
  // for the last recording's end): what a failed recording left may go.
  virtual void OnStarting() {}
  // Record found no call in progress: nothing was started.
  virtual void OnNothingToRecord() {}
  // Record found a direction without an audio port: nothing was started.
  virtual void OnNoAudio() {}
  // The contact rule does not take the calls in progress (their partners,
  // separated by blanks); Record still records them by hand.
  virtual void OnCallSkipped(const std::wstring& partners) {}
  // The computer's sound: a pause (`stopping` false) or a stop waits until both
  // directions have stopped at one sample.
  virtual void OnHolding(bool stopping) {}
  // Record came before the pause took hold: the pause was called off.
  virtual void OnHoldCalledOff() {}
  // The settings in force changed (loaded, applied): the source in use, the
  // hotkey and the texts may be others.
  virtual void OnSettingsChanged() {}
  // Recordings older than the days to keep went to the Recycle Bin, or some
  // could not.
  virtual void OnRecordingsExpired(const RetentionResult& result) {}

  // --- The recording ------------------------------------------------------------

  virtual void OnRecordingStarted() {}
  // `timeRunning`: a call is in progress and the time counts.
  virtual void OnRecordingResumed(bool timeRunning) {}
  virtual void OnRecordingPaused() {}
  virtual void OnRecordingFinishing() {}
  // The recording's writers have stopped and no other recording runs: the
  // controls are idle again.
  virtual void OnRecordingStopped() {}
  virtual void OnRecordingFinished(const FinishedRecording& finished) {}
  // A failure that ends the recording; `ending`: the recording is being ended
  // because of it (the writers are stopped and what they wrote is kept).
  virtual void OnRecordingFailed(RecordingFailure failure, bool ending) {}
  virtual void OnRecordingsRecovered(const RecoveryReport& report) {}
  // A failure that has a box, at once, on the thread where it happened.
  virtual void OnFailureNotice(RecordingFailure failure) {}

  // --- The computer's sound -----------------------------------------------------

  // A direction's device was opened (`open`, its name) or lost or could not be
  // opened (why).
  virtual void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) {}
};
