// The capture devices natively: none. The engine builds and is tested here
// with a fake device of its own behind the same interfaces.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_device.h"

namespace {

class NoCaptureDevices final : public CaptureDevices {
 public:
  std::unique_ptr<CaptureDevice> Open(const CaptureEndpoint&, std::wstring& error) override {
    error = L"no capture devices on this platform";
    return nullptr;
  }
  std::vector<std::wstring> CaptureDeviceNames() override { return {}; }
};

class NoCaptureSessions final : public CaptureSessions {
 public:
  bool List(const CaptureEndpoint&, std::vector<CaptureSessionInfo>& sessions) override {
    sessions.clear();
    return false;
  }
};

}  // namespace

int64_t CaptureClockNow() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, kCaptureClockPerSecond>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::unique_ptr<CaptureDevices> MakeSystemCaptureDevices() { return std::make_unique<NoCaptureDevices>(); }

std::unique_ptr<CaptureSessions> MakeSystemCaptureSessions() { return std::make_unique<NoCaptureSessions>(); }
