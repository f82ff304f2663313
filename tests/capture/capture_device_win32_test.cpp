// The WASAPI capture devices against a real sound server: under wine, the
// PulseAudio server of tests/e2e/pulse_sound.py, whose null sinks "Speakers"
// and "Microphone" each carry a steady sine tone (module-sine) and whose
// default source is the microphone sink's monitor. Wine shows each sink's
// monitor as a capture device, "Monitor of Speakers" and "Monitor of
// Microphone".
//
// tests/e2e/test_capture_devices.py starts the server and runs this program
// with CALVORO_PULSE_TEST=1 and the two tones' frequencies in
// CALVORO_PULSE_SPEAKERS_HZ and CALVORO_PULSE_MIC_HZ. Without a server (ctest's
// own run) the device tests skip; the clock's test runs always.

#include <windows.h>

#include <objbase.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_device.h"

namespace {

const wchar_t kSpeakersMonitor[] = L"Monitor of Speakers";
const wchar_t kMicrophoneMonitor[] = L"Monitor of Microphone";

bool SoundServerRuns() {
  const char* value = std::getenv("CALVORO_PULSE_TEST");
  return value && std::strcmp(value, "1") == 0;
}

double ToneHz(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? std::atof(value) : 0.0;
}

#define REQUIRE_SOUND_SERVER()                                                          \
  do {                                                                                  \
    if (!SoundServerRuns()) GTEST_SKIP() << "no sound server (CALVORO_PULSE_TEST=1 unset)"; \
  } while (0)

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

double SampleAt(const uint8_t* frame, SampleKind kind) {
  switch (kind) {
    case SampleKind::Int16: {
      int16_t v;
      std::memcpy(&v, frame, 2);
      return v / 32768.0;
    }
    case SampleKind::Int24: {
      const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(frame[0]) << 8 |
                                             static_cast<uint32_t>(frame[1]) << 16 |
                                             static_cast<uint32_t>(frame[2]) << 24);
      return v / 2147483648.0;
    }
    case SampleKind::Int32: {
      int32_t v;
      std::memcpy(&v, frame, 4);
      return v / 2147483648.0;
    }
    case SampleKind::Float32: {
      float v;
      std::memcpy(&v, frame, 4);
      return v;
    }
  }
  return 0.0;
}

struct PacketSeen {
  uint32_t frames;
  int64_t time;
  int64_t readAt;  // CaptureClockNow() when NextPacket returned it
  bool silent;
};

// What a device delivered over a stretch of wall-clock time.
struct Captured {
  std::vector<PacketSeen> packets;
  std::vector<double> first;  // the first channel's samples (silence as zeros)
  uint64_t frames = 0;
  double seconds = 0;  // wall-clock time from the first packet to the last read
  double peak = 0;
  bool lost = false;
};

// Reads packets until `seconds` after the first one arrived (a device may
// take a while to start: wine's default device needs up to a second).
Captured ReadFor(CaptureDevice& device, double seconds) {
  Captured got;
  const CaptureFormat& format = device.format();
  int64_t until = CaptureClockNow() + 10 * kCaptureClockPerSecond;
  int64_t firstAt = -1;
  while (CaptureClockNow() < until) {
    CapturePacket packet;
    const CaptureRead read = device.NextPacket(packet);
    if (read == CaptureRead::Lost) {
      got.lost = true;
      break;
    }
    if (read == CaptureRead::Empty) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    const int64_t now = CaptureClockNow();
    if (firstAt < 0) {
      firstAt = now;
      until = now + static_cast<int64_t>(seconds * kCaptureClockPerSecond);
    }
    got.packets.push_back({packet.frames, packet.time, now, packet.silent});
    got.frames += packet.frames;
    for (uint32_t i = 0; i < packet.frames; ++i) {
      const double v =
          packet.silent || !packet.data ? 0.0 : SampleAt(packet.data + i * format.BytesPerFrame(), format.kind);
      got.first.push_back(v);
      got.peak = std::max(got.peak, std::fabs(v));
    }
    device.ReleasePacket();
  }
  if (firstAt >= 0) got.seconds = static_cast<double>(CaptureClockNow() - firstAt) / kCaptureClockPerSecond;
  return got;
}

// The tone's frequency from the upward zero crossings of the non-silent part.
double MeasuredHz(const std::vector<double>& samples, uint32_t rate) {
  size_t start = 0;
  while (start < samples.size() && samples[start] == 0.0) ++start;
  int crossings = 0;
  size_t firstCrossing = 0, lastCrossing = 0;
  for (size_t i = start + 1; i < samples.size(); ++i) {
    if (samples[i - 1] < 0.0 && samples[i] >= 0.0) {
      if (crossings == 0) firstCrossing = i;
      lastCrossing = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return (crossings - 1) * static_cast<double>(rate) / static_cast<double>(lastCrossing - firstCrossing);
}

void ExpectSaneFormat(const CaptureFormat& format) {
  EXPECT_GE(format.rate, 8000u);
  EXPECT_LE(format.rate, 384000u);
  EXPECT_GE(format.channels, 1);
  EXPECT_LE(format.channels, 32);
  if (format.channelMask != 0) {
    int bits = 0;
    for (uint32_t m = format.channelMask; m; m &= m - 1) ++bits;
    EXPECT_EQ(bits, format.channels) << "channel mask 0x" << std::hex << format.channelMask;
  }
}

// Opens the endpoint, reads about a second, and checks what arrived: frames
// at the device's rate, the tone at its frequency, and capture times on the
// capture clock that advance with the frames.
void ExpectTone(const CaptureEndpoint& endpoint, const wchar_t* expectedName, double hz) {
  auto devices = MakeSystemCaptureDevices();
  std::wstring error;
  auto device = devices->Open(endpoint, error);
  ASSERT_TRUE(device) << Narrow(error);
  if (expectedName) {
    EXPECT_EQ(device->name(), expectedName);
  } else {
    const auto names = devices->CaptureDeviceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), device->name()), names.end()) << Narrow(device->name());
  }
  const CaptureFormat format = device->format();
  ExpectSaneFormat(format);

  const Captured got = ReadFor(*device, 1.0);
  ASSERT_FALSE(got.lost);
  ASSERT_GE(got.packets.size(), 2u);
  std::printf("%s: %u Hz, %u channels, kind %d, mask 0x%x; %zu packets, %llu frames in %.3f s, peak %.3f\n",
              Narrow(device->name()).c_str(), format.rate, format.channels, static_cast<int>(format.kind),
              format.channelMask, got.packets.size(), static_cast<unsigned long long>(got.frames), got.seconds,
              got.peak);

  const double expectedFrames = format.rate * got.seconds;
  EXPECT_GE(got.frames, 0.5 * expectedFrames);
  EXPECT_LE(got.frames, 2.0 * expectedFrames);

  EXPECT_GT(got.peak, 0.01) << "the tone is missing";
  ASSERT_GT(hz, 0.0) << "the tone's frequency is not given";
  EXPECT_NEAR(MeasuredHz(got.first, format.rate), hz, hz * 0.05);

  // Capture times: known, increasing, never after the read and not long
  // before it (the buffer holds 200 ms), and apart as the frames between them.
  uint64_t framesBefore = 0;
  const PacketSeen* firstTimed = nullptr;
  uint64_t framesAtFirstTimed = 0;
  for (size_t i = 0; i < got.packets.size(); ++i) {
    const PacketSeen& p = got.packets[i];
    ASSERT_GE(p.time, 0) << "packet " << i << " has no capture time";
    if (i > 0) {
      EXPECT_GT(p.time, got.packets[i - 1].time) << "packet " << i;
    }
    EXPECT_LE(p.time, p.readAt + kCaptureClockPerSecond / 100) << "packet " << i << " captured after it was read";
    EXPECT_GE(p.time, p.readAt - kCaptureClockPerSecond) << "packet " << i << " a second older than its read";
    if (!firstTimed) {
      firstTimed = &p;
      framesAtFirstTimed = framesBefore;
    }
    framesBefore += p.frames;
  }
  const PacketSeen& last = got.packets.back();
  const double elapsed = static_cast<double>(last.time - firstTimed->time) / kCaptureClockPerSecond;
  const double byFrames = static_cast<double>(framesBefore - last.frames - framesAtFirstTimed) / format.rate;
  EXPECT_NEAR(elapsed, byFrames, 0.1);
}

TEST(CaptureClockTest, CountsHundredsOfNanosecondsOfTheTickCount) {
  const int64_t startClock = CaptureClockNow();
  const ULONGLONG startTicks = GetTickCount64();
  int64_t previous = startClock;
  // At least 300 ms by the tick count, checking on the way that the clock
  // never goes back.
  while (GetTickCount64() - startTicks < 300) {
    const int64_t now = CaptureClockNow();
    ASSERT_GE(now, previous);
    previous = now;
    Sleep(1);
  }
  const double clockMs = static_cast<double>(CaptureClockNow() - startClock) / (kCaptureClockPerSecond / 1000);
  const double tickMs = static_cast<double>(GetTickCount64() - startTicks);
  // The tick count moves in steps of up to 16 ms.
  EXPECT_NEAR(clockMs, tickMs, 40.0);
}

TEST(CaptureDeviceTest, ListsTheMonitorsOfBothSinks) {
  REQUIRE_SOUND_SERVER();
  const auto names = MakeSystemCaptureDevices()->CaptureDeviceNames();
  for (const auto& name : names) std::printf("capture device: %s\n", Narrow(name).c_str());
  EXPECT_NE(std::find(names.begin(), names.end(), kSpeakersMonitor), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), kMicrophoneMonitor), names.end());
}

// The settings window lists the devices from its own thread, which is in a
// single-threaded apartment: the list is the same there, and the thread stays
// in its apartment.
TEST(CaptureDeviceTest, ListsFromASingleThreadedApartment) {
  REQUIRE_SOUND_SERVER();
  const auto names = MakeSystemCaptureDevices()->CaptureDeviceNames();
  ASSERT_FALSE(names.empty());
  std::vector<std::wstring> fromUiThread;
  HRESULT entered = E_FAIL, stillThere = E_FAIL;
  std::thread thread([&] {
    entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    fromUiThread = MakeSystemCaptureDevices()->CaptureDeviceNames();
    stillThere = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(stillThere)) CoUninitialize();
    if (SUCCEEDED(entered)) CoUninitialize();
  });
  thread.join();
  ASSERT_EQ(entered, S_OK);
  EXPECT_EQ(stillThere, S_FALSE);
  EXPECT_EQ(fromUiThread, names);
}

TEST(CaptureDeviceTest, NamedDeviceDeliversItsToneOnTheCaptureClock) {
  REQUIRE_SOUND_SERVER();
  CaptureEndpoint endpoint{CaptureEndpoint::Named, kSpeakersMonitor};
  ExpectTone(endpoint, kSpeakersMonitor, ToneHz("CALVORO_PULSE_SPEAKERS_HZ"));
}

// Wine's default capture device is one of its own, "PulseAudio", that
// records the server's default source: the microphone's tone.
TEST(CaptureDeviceTest, DefaultCaptureIsTheDefaultSource) {
  REQUIRE_SOUND_SERVER();
  CaptureEndpoint endpoint{CaptureEndpoint::DefaultCapture, L""};
  ExpectTone(endpoint, nullptr, ToneHz("CALVORO_PULSE_MIC_HZ"));
}

TEST(CaptureDeviceTest, NameMatchesWholeBeforePartAndIgnoresCase) {
  REQUIRE_SOUND_SERVER();
  auto devices = MakeSystemCaptureDevices();
  std::wstring error;
  auto whole = devices->Open({CaptureEndpoint::Named, L"monitor of SPEAKERS"}, error);
  ASSERT_TRUE(whole) << Narrow(error);
  EXPECT_EQ(whole->name(), kSpeakersMonitor);
  auto part = devices->Open({CaptureEndpoint::Named, L"of micro"}, error);
  ASSERT_TRUE(part) << Narrow(error);
  EXPECT_EQ(part->name(), kMicrophoneMonitor);
}

TEST(CaptureDeviceTest, MissingNameFailsWithAReason) {
  REQUIRE_SOUND_SERVER();
  auto devices = MakeSystemCaptureDevices();
  std::wstring error;
  auto device = devices->Open({CaptureEndpoint::Named, L"No Such Microphone 7f3a"}, error);
  EXPECT_FALSE(device);
  EXPECT_NE(error.find(L"No Such Microphone 7f3a"), std::wstring::npos) << Narrow(error);
  error.clear();
  EXPECT_FALSE(devices->Open({CaptureEndpoint::Named, L""}, error));
  EXPECT_FALSE(error.empty());
}

TEST(CaptureDeviceTest, LoopbackCapturesOrFailsCleanly) {
  REQUIRE_SOUND_SERVER();
  auto devices = MakeSystemCaptureDevices();
  std::wstring error;
  auto device = devices->Open({CaptureEndpoint::Loopback, L""}, error);
  if (!device) {
    std::printf("loopback refused: %s\n", Narrow(error).c_str());
    EXPECT_FALSE(error.empty());
    return;
  }
  std::printf("loopback of %s\n", Narrow(device->name()).c_str());
  ExpectSaneFormat(device->format());
  const Captured got = ReadFor(*device, 0.5);
  EXPECT_FALSE(got.lost);
  EXPECT_LE(got.frames, 2.0 * device->format().rate * got.seconds);
}

// The device balances the COM initialisation of the thread that opened it:
// once it is gone, the thread can enter a single-threaded apartment (which
// a thread still in the multithreaded one cannot).
TEST(CaptureDeviceTest, ClosingLeavesTheThreadOutOfCom) {
  REQUIRE_SOUND_SERVER();
  HRESULT after = E_FAIL;
  bool opened = false;
  std::thread thread([&] {
    std::wstring error;
    {
      auto device = MakeSystemCaptureDevices()->Open({CaptureEndpoint::DefaultCapture, L""}, error);
      opened = device != nullptr;
      if (opened) {
        CapturePacket packet;
        device->NextPacket(packet);
        device->ReleasePacket();
      }
    }
    after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(after)) CoUninitialize();
  });
  thread.join();
  ASSERT_TRUE(opened);
  EXPECT_EQ(after, S_OK);
}

// Each open stream holds about a megabyte of buffers (wine keeps it until
// the last reference to the client is released), so twenty devices whose COM
// objects were not all released show as many megabytes more committed memory.
TEST(CaptureDeviceTest, RepeatedOpeningKeepsNothingBehind) {
  REQUIRE_SOUND_SERVER();
  auto devices = MakeSystemCaptureDevices();
  auto cycle = [&](bool holdPacket) {
    std::wstring error;
    auto device = devices->Open({CaptureEndpoint::Named, kSpeakersMonitor}, error);
    ASSERT_TRUE(device) << Narrow(error);
    CapturePacket packet;
    const int64_t until = CaptureClockNow() + kCaptureClockPerSecond * 10;
    while (device->NextPacket(packet) != CaptureRead::Packet && holdPacket && CaptureClockNow() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Closed with the packet still held: the device releases it.
  };
  auto committed = [] {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
    return static_cast<double>(counters.PagefileUsage) / (1024 * 1024);
  };
  for (int i = 0; i < 5; ++i) cycle(i == 0);
  const double before = committed();
  for (int i = 0; i < 20; ++i) cycle(i % 5 == 0);
  const double after = committed();
  EXPECT_LT(after - before, 4.0) << "committed memory grew from " << before << " MB to " << after << " MB";
}

TEST(CaptureSessionsTest, ListsThisProcessWhileItCaptures) {
  REQUIRE_SOUND_SERVER();
  auto devices = MakeSystemCaptureDevices();
  std::wstring error;
  const CaptureEndpoint endpoint{CaptureEndpoint::DefaultCapture, L""};
  auto device = devices->Open(endpoint, error);
  ASSERT_TRUE(device) << Narrow(error);
  std::vector<CaptureSessionInfo> sessions;
  if (!MakeSystemCaptureSessions()->List(endpoint, sessions)) {
    // Wine 8 has no session enumerator (GetSessionEnumerator: E_NOTIMPL);
    // Windows has.
    ASSERT_TRUE(UnderWine()) << "the sessions could not be listed";
    EXPECT_TRUE(sessions.empty());
    GTEST_SKIP() << "wine lists no audio sessions";
  }
  const auto own = std::find_if(sessions.begin(), sessions.end(), [](const CaptureSessionInfo& s) {
    return s.processId == GetCurrentProcessId();
  });
  ASSERT_NE(own, sessions.end()) << sessions.size() << " sessions, none of this process";
  EXPECT_TRUE(own->active);
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring exe(path, length);
  exe = exe.substr(exe.find_last_of(L"\\/") + 1);
  EXPECT_EQ(_wcsicmp(own->exeName.c_str(), exe.c_str()), 0) << Narrow(own->exeName) << " for " << Narrow(exe);
}

}  // namespace
