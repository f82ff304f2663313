// The computer's own sound as an audio source: the platform's capture devices
// behind a small seam. On Windows they are WASAPI endpoints in shared mode
// (capture_device_win32.cpp); natively there are none, and the tests put a
// fake of their own behind the same interfaces.
//
// A device is opened, read and closed on one thread, its capture thread: the
// Windows half initialises COM for that thread when it opens the device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How a device's samples are stored (the shared-mode mix format).
enum class SampleKind : uint8_t {
  Int16,    // 16-bit signed
  Int24,    // 24-bit signed, packed in 3 bytes
  Int32,    // 32-bit signed (also 24 valid bits left-justified in 32)
  Float32,  // 32-bit IEEE float, full scale +-1.0
};

struct CaptureFormat {
  uint32_t rate = 0;         // frames per second
  uint16_t channels = 0;     // interleaved
  SampleKind kind = SampleKind::Int16;
  // The speaker positions of the channels (WAVEFORMATEXTENSIBLE's
  // dwChannelMask); 0 when the device gave none: the usual order is assumed.
  uint32_t channelMask = 0;

  uint32_t BytesPerSample() const {
    return kind == SampleKind::Int16 ? 2 : kind == SampleKind::Int24 ? 3 : 4;
  }
  uint32_t BytesPerFrame() const { return BytesPerSample() * channels; }
};

// The capture clock: 100-nanosecond units of the performance counter on
// Windows (the clock of a packet's capture time), of the steady clock
// natively.
int64_t CaptureClockNow();
constexpr int64_t kCaptureClockPerSecond = 10000000;

// One packet of frames as the device delivered it.
struct CapturePacket {
  const uint8_t* data = nullptr;  // frames * BytesPerFrame bytes; may be null when silent
  uint32_t frames = 0;
  bool silent = false;            // the frames are silence, whatever data holds
  bool discontinuity = false;     // frames were lost before this packet
  int64_t time = -1;              // capture time of the first frame (capture clock); -1 unknown
};

enum class CaptureRead : uint8_t {
  Packet,  // `packet` holds the next packet; ReleasePacket once it is used
  Empty,   // nothing waiting now
  Lost,    // the device is gone (unplugged, disabled) or failed: open it again
};

class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;
  virtual const CaptureFormat& format() const = 0;
  // The device's name as the user sees it.
  virtual std::wstring name() const = 0;
  virtual CaptureRead NextPacket(CapturePacket& packet) = 0;
  virtual void ReleasePacket() = 0;
};

// Which device a direction is taken from.
struct CaptureEndpoint {
  enum Kind : uint8_t {
    Loopback,        // what the default render device for communications plays
    DefaultCapture,  // the default capture device for communications
    Named,           // the capture device of this name
  };
  Kind kind = DefaultCapture;
  std::wstring name;  // for Named
};

class CaptureDevices {
 public:
  virtual ~CaptureDevices() = default;
  // Opens the endpoint and starts capturing; null with `error` (a short
  // reason in English, for the trace) when it cannot be opened.
  virtual std::unique_ptr<CaptureDevice> Open(const CaptureEndpoint& endpoint, std::wstring& error) = 0;
  // The names of the active capture devices, for the settings.
  virtual std::vector<std::wstring> CaptureDeviceNames() = 0;
};

// The platform's devices (natively: none can be opened).
std::unique_ptr<CaptureDevices> MakeSystemCaptureDevices();

// The audio sessions open on a capture device (the programs recording from
// it): what starts a recording automatically.
struct CaptureSessionInfo {
  uint32_t processId = 0;
  std::wstring exeName;  // the executable's file name, e.g. "Teams.exe"; empty when unknown
  bool active = false;   // the session is capturing now
};

class CaptureSessions {
 public:
  virtual ~CaptureSessions() = default;
  // The sessions on the endpoint's device now; false when they cannot be read.
  virtual bool List(const CaptureEndpoint& endpoint, std::vector<CaptureSessionInfo>& sessions) = 0;
};

std::unique_ptr<CaptureSessions> MakeSystemCaptureSessions();
