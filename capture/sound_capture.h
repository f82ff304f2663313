// The computer's sound as the recorder's audio source: the far end from what
// the computer plays (or a capture device the user names), the near end from
// the microphone, each on a capture thread of its own and both on one clock.
//
// A "sound call" is what the client's call is for the other source: it begins
// when a recording is started by hand, by the hotkey or automatically, and
// ends once that recording has been finished. While it lasts, both directions
// deliver 16 kHz samples to their outlet, gated so that a pause and a stop cut
// both at the same sample:
//
//   Hold()     both directions stop delivering at the present moment; once
//              both have delivered up to there, OnCaptureHeld(hold) reports it
//              and the recording may pause or finish with equal streams;
//   Release()  after a pause: both deliver again from the same sample.
//
// Nothing here waits for a thread or a device: the window's thread calls it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "capture/capture_device.h"
#include "capture/capture_stream.h"
#include "common/direction.h"

class CaptureEvents {
 public:
  virtual ~CaptureEvents() = default;
  // Both directions have delivered up to the mark of Hold() `hold`.
  virtual void OnCaptureHeld(uint64_t hold) = 0;
  // A direction's device was opened (`open`, its name) or lost or could not
  // be opened (why); from a capture thread.
  virtual void OnCaptureDevice(Direction direction, bool open, const std::wstring& what) = 0;
};

// Where a direction's samples go (the recording's hand-off).
class CaptureOutlet {
 public:
  virtual ~CaptureOutlet() = default;
  virtual void Take(Direction direction, const int16_t* samples, size_t n) = 0;
};

class SoundCapture {
 public:
  // `devices`, `outlet` and `events` must outlive the capture.
  SoundCapture(CaptureDevices& devices, CaptureOutlet& outlet, CaptureEvents& events);
  ~SoundCapture();
  SoundCapture(const SoundCapture&) = delete;
  SoundCapture& operator=(const SoundCapture&) = delete;

  // The far end and the near end from Config.ini: an empty name takes the
  // default (the loopback of the render device for communications, the
  // capture device for communications), a name that capture device.
  static CaptureEndpoint FarEnd(const std::wstring& deviceName);
  static CaptureEndpoint NearEnd(const std::wstring& deviceName);

  // A sound call begins: both directions start on one clock, from now. `app`
  // names the recording where the client's partners would stand (may be
  // empty). A call already in progress keeps going (its app is kept).
  void Begin(const CaptureEndpoint& farEnd, const CaptureEndpoint& nearEnd, const std::wstring& app);
  bool InProgress() const;
  // The app of the call now, or of the last one once it has ended.
  std::wstring App() const;
  // The device names in use now (empty while a direction has none).
  std::wstring DeviceName(Direction direction) const;

  // Both directions stop delivering at the present moment; the hold's number
  // (OnCaptureHeld). Without a call in progress the hold is reported at once.
  uint64_t Hold();
  // Both deliver again, from the same sample.
  void Release();
  // The sound call ends: the devices close (on their threads).
  void End();

  // How each direction kept to the clock in the call now or the last one.
  StreamAligner::Stats Stats(Direction direction) const;

 private:
  class Sink;
  void Progressed();
  void DeviceChanged(Direction direction, bool open, const std::wstring& what);

  CaptureOutlet& outlet_;
  CaptureEvents& events_;
  mutable std::mutex mutex_;
  bool inProgress_ = false;
  std::wstring app_;
  std::wstring deviceNames_[2];
  int64_t origin_ = 0;
  // Samples [from_, to_) are delivered.
  uint64_t from_ = 0;
  uint64_t to_ = UINT64_MAX;
  uint64_t hold_ = 0;         // the last hold's number
  bool holdReported_ = true;  // it has been reported
  std::unique_ptr<CaptureThread> threads_[2];
};
