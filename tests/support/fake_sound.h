// Sound devices for the tests, behind the capture seam: 16 kHz mono devices
// whose packets follow the real capture clock, and a session list the test
// sets.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_device.h"
#include "capture/capture_stream.h"

namespace fake_sound {

inline const CaptureFormat k16kMono{16000, 1, SampleKind::Int16, 0};

// The value of the sample of the clock's 16 kHz sample `k`.
using Signal = std::function<int16_t(int64_t k)>;

// A pulse at every whole 100 ms of the clock, 1 elsewhere: the same moment
// carries a pulse in every device.
inline int16_t Pulses(int64_t k) { return k % 1600 == 0 ? 20000 : 1; }

// What the devices of one side did: the packets they delivered, and how many
// of them are open now. A test waits on these to know that audio was captured
// (during a pause, say) or that the devices were closed.
struct DeviceCounts {
  std::atomic<int> packets{0};
  std::atomic<int> open{0};
};

// Devices whose packets follow the real capture clock: 10 ms packets of a
// 16 kHz pulse train locked to the clock (a pulse at every whole 100 ms of the
// clock), so that the same moment carries a pulse in both directions.
class ClockDevice : public CaptureDevice {
 public:
  ClockDevice(std::wstring name, uint32_t packetFrames, std::shared_ptr<std::atomic<int>> quietUntilMs,
              std::shared_ptr<std::atomic<int>> loseAfterPackets, Signal signal = Pulses,
              std::shared_ptr<DeviceCounts> counts = nullptr)
      : name_(std::move(name)),
        signal_(std::move(signal)),
        frames_(packetFrames),
        quiet_(std::move(quietUntilMs)),
        lose_(std::move(loseAfterPackets)),
        counts_(std::move(counts)) {
    // Starts at the clock's present sample.
    next_ = SampleAt(0, CaptureClockNow());
    if (counts_) ++counts_->open;
  }
  ~ClockDevice() override {
    if (counts_) --counts_->open;
  }
  const CaptureFormat& format() const override { return k16kMono; }
  std::wstring name() const override { return name_; }
  CaptureRead NextPacket(CapturePacket& packet) override {
    if (lose_ && lose_->load() >= 0 && delivered_ >= lose_->load()) {
      lose_->store(-1);
      return CaptureRead::Lost;
    }
    int64_t now = SampleAt(0, CaptureClockNow());
    if (next_ + frames_ > now) return CaptureRead::Empty;
    buffer_.resize(frames_);
    for (uint32_t i = 0; i < frames_; ++i) buffer_[i] = signal_(next_ + i);
    packet.data = reinterpret_cast<const uint8_t*>(buffer_.data());
    packet.frames = frames_;
    packet.time = (next_ * kCaptureClockPerSecond) / 16000;
    const int64_t ms = next_ / 16;
    next_ += frames_;
    ++delivered_;
    // Quiet (a loopback device with nothing playing): the time passes, no
    // packet comes.
    if (quiet_ && ms < quiet_->load()) return CaptureRead::Empty;
    if (counts_) ++counts_->packets;
    return CaptureRead::Packet;
  }
  void ReleasePacket() override {}

 private:
  std::wstring name_;
  Signal signal_;
  uint32_t frames_;
  std::shared_ptr<std::atomic<int>> quiet_, lose_;
  std::shared_ptr<DeviceCounts> counts_;
  int64_t next_ = 0;
  int delivered_ = 0;
  std::vector<int16_t> buffer_;
};

class ClockDevices : public CaptureDevices {
 public:
  std::unique_ptr<CaptureDevice> Open(const CaptureEndpoint& endpoint, std::wstring& error) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++opens[endpoint.kind];
    if (failOpens[endpoint.kind] > 0) {
      --failOpens[endpoint.kind];
      error = L"no such device";
      return nullptr;
    }
    if (endpoint.kind == CaptureEndpoint::Loopback)
      return std::make_unique<ClockDevice>(L"Speakers", 480, quietUntilMs, nullptr, farSignal, loopbackCounts);
    return std::make_unique<ClockDevice>(endpoint.kind == CaptureEndpoint::Named ? endpoint.name : L"Microphone",
                                         160, nullptr, loseInAfter, nearSignal, captureCounts);
  }
  std::vector<std::wstring> CaptureDeviceNames() override { return {L"Microphone"}; }

  std::mutex mutex;
  std::map<int, int> opens, failOpens;
  std::shared_ptr<std::atomic<int>> quietUntilMs = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::atomic<int>> loseInAfter = std::make_shared<std::atomic<int>>(-1);
  Signal farSignal = Pulses, nearSignal = Pulses;
  // The loopback devices, and the capture devices (a named one or the
  // microphone).
  std::shared_ptr<DeviceCounts> loopbackCounts = std::make_shared<DeviceCounts>();
  std::shared_ptr<DeviceCounts> captureCounts = std::make_shared<DeviceCounts>();
};

// The sessions on the near-end device, as the test sets them.
class Sessions : public CaptureSessions {
 public:
  bool List(const CaptureEndpoint&, std::vector<CaptureSessionInfo>& sessions) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions = sessions_;
    ++reads_;
    return true;
  }
  void Set(std::vector<CaptureSessionInfo> sessions) {
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_ = std::move(sessions);
  }
  int reads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
  }

 private:
  std::mutex mutex_;
  std::vector<CaptureSessionInfo> sessions_;
  int reads_ = 0;
};

}  // namespace fake_sound
