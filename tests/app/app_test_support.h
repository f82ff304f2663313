// What the application's tests share: a recorder whose events nobody hears.
#pragma once

#include "engine/call_recorder.h"

class IgnoredEvents : public RecorderEvents {
 public:
  void OnClientStateChanged() override {}
  void OnCallStarted() override {}
  void OnCallEnded() override {}
  void OnPartnerKnown() override {}
  void OnRecordingStarted() override {}
  void OnRecordingResumed(bool) override {}
  void OnRecordingPaused() override {}
  void OnRecordingFinishing() override {}
  void OnRecordingStopped() override {}
  void OnRecordingFinished(const FinishedRecording&) override {}
  void OnRecordingFailed(RecordingFailure) override {}
  void OnRecordingsRecovered(const RecoveryReport&) override {}
};
