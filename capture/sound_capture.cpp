#include "capture/sound_capture.h"

#include <algorithm>
#include <vector>

namespace {
const Direction kDirections[] = {Direction::Out, Direction::In};
}  // namespace

// A direction's samples, let through only inside the gate.
class SoundCapture::Sink : public CaptureSink {
 public:
  Sink(SoundCapture& capture, Direction direction) : capture_(capture), direction_(direction) {}
  void Write(uint64_t position, const int16_t* samples, size_t n) override {
    std::lock_guard<std::mutex> lock(capture_.mutex_);
    uint64_t begin = std::max(position, capture_.from_);
    uint64_t end = std::min(position + n, capture_.to_);
    if (begin < end) capture_.outlet_.Take(direction_, samples + (begin - position), static_cast<size_t>(end - begin));
  }

 private:
  SoundCapture& capture_;
  Direction direction_;
};

SoundCapture::SoundCapture(CaptureDevices& devices, CaptureOutlet& outlet, CaptureEvents& events)
    : outlet_(outlet), events_(events) {
  for (Direction d : kDirections) {
    CaptureThread::Hooks hooks;
    hooks.makeSink = [this, d] { return std::make_unique<Sink>(*this, d); };
    hooks.progressed = [this](uint64_t) { Progressed(); };
    hooks.deviceChanged = [this, d](bool open, const std::wstring& what) { DeviceChanged(d, open, what); };
    threads_[DirectionIndex(d)] = std::make_unique<CaptureThread>(devices, std::move(hooks));
  }
}

SoundCapture::~SoundCapture() {
  // The threads end before the gate and the outlet they write through.
  for (auto& thread : threads_) thread.reset();
}

CaptureEndpoint SoundCapture::FarEnd(const std::wstring& deviceName) {
  if (deviceName.empty()) return {CaptureEndpoint::Loopback, L""};
  return {CaptureEndpoint::Named, deviceName};
}

CaptureEndpoint SoundCapture::NearEnd(const std::wstring& deviceName) {
  if (deviceName.empty()) return {CaptureEndpoint::DefaultCapture, L""};
  return {CaptureEndpoint::Named, deviceName};
}

void SoundCapture::Begin(const CaptureEndpoint& farEnd, const CaptureEndpoint& nearEnd, const std::wstring& app) {
  int64_t origin;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (inProgress_) return;
    inProgress_ = true;
    app_ = app;
    origin = origin_ = CaptureClockNow();
    from_ = 0;
    to_ = UINT64_MAX;
    holdReported_ = true;
  }
  threads_[DirectionIndex(Direction::Out)]->Run(farEnd, origin);
  threads_[DirectionIndex(Direction::In)]->Run(nearEnd, origin);
}

bool SoundCapture::InProgress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inProgress_;
}

std::wstring SoundCapture::App() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return app_;
}

std::wstring SoundCapture::DeviceName(Direction direction) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deviceNames_[DirectionIndex(direction)];
}

uint64_t SoundCapture::Hold() {
  uint64_t hold;
  bool now;
  int64_t when = CaptureClockNow();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hold = ++hold_;
    now = !inProgress_;
    holdReported_ = now;
    if (!now) {
      // The devices lag the present: no stream has passed this sample yet,
      // except by a drift nudge's few samples, which then stay.
      uint64_t mark = static_cast<uint64_t>(std::max<int64_t>(SampleAt(origin_, when), 0));
      to_ = std::min(to_, std::max(mark, from_));
      for (auto& thread : threads_) thread->Reach(to_, when);
    }
  }
  if (now) events_.OnCaptureHeld(hold);
  else Progressed();
  return hold;
}

void SoundCapture::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!inProgress_) return;
  // From the present on; what each stream delivers between the hold's mark
  // and now is left out of both alike.
  from_ = std::max<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(SampleAt(origin_, CaptureClockNow()), 0)), to_);
  to_ = UINT64_MAX;
  holdReported_ = true;
}

void SoundCapture::End() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!inProgress_) return;
    inProgress_ = false;
    to_ = 0;  // nothing more is delivered
  }
  for (auto& thread : threads_) thread->Idle();
}

StreamAligner::Stats SoundCapture::Stats(Direction direction) const {
  return threads_[DirectionIndex(direction)]->stats();
}

void SoundCapture::Progressed() {
  uint64_t hold;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (holdReported_ || !inProgress_) return;
    for (auto& thread : threads_)
      if (thread->position() < to_) return;
    holdReported_ = true;
    hold = hold_;
  }
  events_.OnCaptureHeld(hold);
}

void SoundCapture::DeviceChanged(Direction direction, bool open, const std::wstring& what) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    deviceNames_[DirectionIndex(direction)] = open ? what : std::wstring();
  }
  events_.OnCaptureDevice(direction, open, what);
}
