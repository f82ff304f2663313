// What the whole-path benchmarks drive: the recording pipeline's writers for
// one direction or both, as the session starts and stops them, without the
// window. One place, so that every benchmark drives the writers the same way.
#pragma once

#include <functional>
#include <string>

#include "app/handoff_target.h"
#include "common/direction.h"
#include "record/recording_session.h"
#include "record/stream_handoff.h"
#include "settings/settings.h"

namespace bench {

class NoWindow : public RecordingView {
 public:
  void ShowRecordingEnded() override {}
  void ScheduleTrayBalloon() override {}
  void ScheduleFolderStatus() override {}
  void OpenRecordFolder(const std::wstring&) override {}
};

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

// A recording of both directions into `basePath`: cleared hand-offs and flags,
// both writers started (as for RecordWay 0). False when a writer did not start.
inline bool StartWriters(const std::wstring& basePath, bool both) {
  Settings.Change([](SettingsRecord& s) {
    s.RecordFormat = kFormatWav;  // the finished file stays; no encoder runs
    s.RecordWay = kRecordBoth;
    s.OpenRecordFolderAfterRecording = 0;
    s.ShowStatusOnTray = 0;
    s.SaveLF = 0;
  });
  if (!AllocateHandoffs()) return false;
  recordingSession.SetBasePath(basePath);
  ResetHandoffs();
  recordingSession.Flags(Direction::Out).Clear();
  recordingSession.Flags(Direction::In).Clear();
  if (!StartStreamWriter(Direction::Out, false)) return false;
  return !both || StartStreamWriter(Direction::In, false);
}

// Stops the writers and waits until each has written what it held and closed
// its stream file; the session still owns them.
inline void StopWriters() {
  for (Direction d : {Direction::Out, Direction::In}) recordingSession.Flags(d).stop.store(1);
  for (Direction d : {Direction::Out, Direction::In})
    if (WriterHandle writer = recordingSession.Writer(d)) writer->Wait();
}

// The rest of the finishing: mixes two stream files or turns a lone one into
// "<base>().wav", and forgets the writers.
inline void FinishWriters() {
  NoWindow view;
  FinishRecording(view);
}

}  // namespace bench
