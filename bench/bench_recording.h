// What the whole-path benchmarks drive: the recording pipeline's writers for
// one direction or both, as the session starts and stops them, without the
// window. One place, so that every benchmark drives the writers the same way.
#pragma once

#include <functional>
#include <string>

#include "engine/handoff_target.h"
#include "common/direction.h"
#include "record/recording_session.h"
#include "record/stream_handoff.h"
#include "settings/language.h"
#include "settings/settings.h"

namespace bench {

// The product's way from an audio server to a hand-off, counting the bytes.
class CountingTarget : public HandoffTarget {
 public:
  CountingTarget(StreamHandoff& handoff, std::function<void(size_t)> count)
      : HandoffTarget(handoff), count_(std::move(count)) {}
  void Received(uint8_t* space, size_t n) override {
    HandoffTarget::Received(space, n);
    count_(n);
  }
  void Take(const uint8_t* data, size_t n) override {
    HandoffTarget::Take(data, n);
    count_(n);
  }

 private:
  std::function<void(size_t)> count_;
};

// A recording session of its own, with no calls and nobody listening to its
// events, that the benchmarks start and stop as the program does.
class Pipeline : private CallSource, private RecordingEvents {
 public:
  Pipeline() {
    settings_.Change([](SettingsRecord& s) {
      s.formats = kFormatWav;  // the finished file stays; no encoder runs
      s.recordWay = RecordWay::Both;
      s.openFolderAfterRecording = 0;
      s.stateBalloons = 0;
      s.stereo = 0;
    });
  }

  StreamHandoff& Handoff(Direction d) { return session_.Handoff(d); }

  // A recording of one or both directions into `basePath`: cleared hand-offs
  // and flags, the writers started (as for RecordWay 0). False when a writer
  // did not start.
  bool StartWriters(const std::wstring& basePath, bool both) {
    if (!session_.AllocateHandoffs()) return false;
    session_.SetBasePath(basePath);
    session_.ResetHandoffs();
    session_.Flags(Direction::Out).Clear();
    session_.Flags(Direction::In).Clear();
    if (!session_.StartStreamWriter(Direction::Out, false)) return false;
    return !both || session_.StartStreamWriter(Direction::In, false);
  }

  // Stops the writers and waits until each has written what it held and
  // closed its stream file; the session still owns them.
  void StopWriters() {
    for (Direction d : {Direction::Out, Direction::In}) session_.Flags(d).stop.store(1);
    for (Direction d : {Direction::Out, Direction::In})
      if (WriterHandle writer = session_.Writer(d)) writer->Wait();
  }

  // The rest of the finishing: mixes two stream files or turns a lone one
  // into "<base>().wav", and forgets the writers.
  void FinishWriters() { session_.FinishRecording(); }

 private:
  bool CallInProgress() const override { return true; }
  std::wstring PartnerList() const override { return std::wstring(); }
  void OnRecordingStarted() override {}
  void OnRecordingResumed(bool) override {}
  void OnRecordingPaused() override {}
  void OnRecordingFinishing() override {}
  void OnRecordingStopped() override {}
  void OnRecordingFinished(const FinishedRecording&) override {}
  void OnRecordingFailed(RecordingFailure) override {}
  void OnRecordingsRecovered(const RecoveryReport&) override {}

  SettingsStore settings_;
  LanguageTable language_{LanguageIniPath()};
  RecordingSession session_{settings_, language_, *this, *this};
};

}  // namespace bench
