// The computer's sound on the recording's clock: the aligner fed by a
// simulated device and clock (an hour of drift, silence, overlaps), and the
// capture threads with fake devices behind the seam, held and released as a
// pause and a stop do.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "capture/capture_stream.h"
#include "capture/sound_capture.h"
#include "tests/support/fake_sound.h"

namespace {

constexpr int64_t kTicks = kCaptureClockPerSecond;

// Keeps what the aligner writes, checking that every write continues the
// stream.
class RecordingSink : public CaptureSink {
 public:
  void Write(uint64_t position, const int16_t* samples, size_t n) override {
    EXPECT_EQ(position, stream.size());
    stream.insert(stream.end(), samples, samples + n);
  }
  std::vector<int16_t> stream;
};

using fake_sound::k16kMono;

// A 16 kHz device whose sample k carries a pulse at every 1,600th sample:
// where the pulses land in the stream tells where its audio was placed.
struct PulseDevice {
  double ratePerClockSecond;  // the device's samples per second of the capture clock
  int64_t epoch;              // capture time of sample 0
  std::vector<int16_t> buffer;

  static int16_t Value(uint64_t k) { return k % 1600 == 0 ? 20000 : static_cast<int16_t>(k % 7); }

  // Packet of `frames` samples starting at device sample k.
  CapturePacket Packet(uint64_t k, uint32_t frames, int64_t timeJitter = 0) {
    buffer.resize(frames);
    for (uint32_t i = 0; i < frames; ++i) buffer[i] = Value(k + i);
    CapturePacket p;
    p.data = reinterpret_cast<const uint8_t*>(buffer.data());
    p.frames = frames;
    p.time = TimeOf(k) + timeJitter;
    return p;
  }
  int64_t TimeOf(uint64_t k) const {
    return epoch + static_cast<int64_t>(std::llround(static_cast<double>(k) * kTicks / ratePerClockSecond));
  }
};

std::vector<uint64_t> PulsePositions(const std::vector<int16_t>& stream) {
  std::vector<uint64_t> at;
  for (size_t i = 0; i < stream.size(); ++i)
    if (stream[i] == 20000) at.push_back(i);
  return at;
}

}  // namespace

TEST(SampleAt, CountsSixteenThousandASecondFromTheOrigin) {
  EXPECT_EQ(SampleAt(1000, 1000), 0);
  EXPECT_EQ(SampleAt(1000, 1000 + kTicks), 16000);
  EXPECT_EQ(SampleAt(0, 624), 0);  // 624 ticks: 0.998 of a sample
  EXPECT_EQ(SampleAt(0, 625), 1);
  EXPECT_EQ(SampleAt(0, -1), -1);  // before the origin, rounded down
  EXPECT_EQ(SampleAt(0, -625), -1);
  EXPECT_EQ(SampleAt(0, -626), -2);
  EXPECT_EQ(SampleAt(0, 3600 * kTicks), 57600000);
}

// An hour of a device whose clock runs 100 ppm fast or slow against the
// computer's, with capture times that jitter by up to a millisecond: the
// stream stays within a few milliseconds of the clock all along, by one-sample
// nudges as many as the drift needs, and the audio itself keeps its place.
TEST(StreamAligner, AnHourOfOneHundredPpmDriftStaysWithinThreeMilliseconds) {
  for (double ppm : {100.0, -100.0}) {
    SCOPED_TRACE(ppm);
    RecordingSink sink;
    sink.stream.reserve(57700000);
    const int64_t origin = 5 * kTicks;
    StreamAligner aligner(origin, sink);
    ASSERT_TRUE(aligner.UseFormat(k16kMono));
    PulseDevice device{16000.0 * (1 + ppm * 1e-6), origin, {}};
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> jitter(-10000, 10000);  // +-1 ms
    const uint32_t frames = 160;
    int64_t largestOffset = 0;
    uint64_t k = 0;
    for (; device.TimeOf(k) < origin + 3600 * kTicks; k += frames) {
      CapturePacket packet = device.Packet(k, frames, jitter(random));
      int64_t now = device.TimeOf(k + frames) + 20000;  // delivered 2 ms after its end
      aligner.Packet(packet, now);
      int64_t offset = SampleAt(origin, device.TimeOf(k + frames)) - static_cast<int64_t>(aligner.position());
      largestOffset = std::max(largestOffset, std::abs(offset));
    }
    const double expectedNudges = std::fabs(ppm) * 1e-6 * 57600000.0;
    const StreamAligner::Stats& stats = aligner.stats();
    EXPECT_LE(largestOffset, 48) << "largest offset in samples";
    EXPECT_LE(stats.largestDrift, kDriftSamples + 8.0) << "a jitter may move the least offset by a few samples at once";
    if (ppm > 0) {
      EXPECT_NEAR(static_cast<double>(stats.left), expectedNudges, expectedNudges * 0.05);
      EXPECT_LE(stats.repeated, 30u);
    } else {
      EXPECT_NEAR(static_cast<double>(stats.repeated), expectedNudges, expectedNudges * 0.05);
      EXPECT_LE(stats.left, 30u);
    }
    EXPECT_LE(stats.cut, 16u) << "only the first packet, placed by its jittered time, may be cut";
    // The last pulse of the hour sits where its capture time says.
    std::vector<uint64_t> pulses = PulsePositions(sink.stream);
    ASSERT_FALSE(pulses.empty());
    uint64_t lastPulse = (k - 1) / 1600 * 1600;
    int64_t expected = SampleAt(origin, device.TimeOf(lastPulse));
    EXPECT_LE(std::abs(static_cast<int64_t>(pulses.back()) - expected), 48);
    std::printf("[ figures  ] %+.0f ppm for an hour: largest offset %lld samples (%.2f ms), %llu nudges\n", ppm,
                static_cast<long long>(largestOffset), largestOffset / 16.0,
                static_cast<unsigned long long>(stats.left + stats.repeated));
  }
}

// Some drivers stamp packets when they reach the program, several at once
// (wine's takes 25 ms from the sound server and hands it out in 10 ms
// packets). Such stamps are late by up to a burst: the stream must neither
// nudge nor cut nor fill for them, or a steady tone would click every packet.
TEST(StreamAligner, PacketsStampedLateInBurstsAreNeitherNudgedNorCut) {
  RecordingSink sink;
  const int64_t origin = 0;
  StreamAligner aligner(origin, sink);
  ASSERT_TRUE(aligner.UseFormat(k16kMono));
  PulseDevice device{16000.0, 0, {}};
  std::mt19937 random(3);
  std::uniform_int_distribution<int64_t> late(0, 60000);  // up to 6 ms more
  const uint32_t frames = 160;
  for (uint64_t k = 0; k < 60 * 16000; k += 5 * frames) {
    // Five packets arrive together after the fifth has been captured.
    const int64_t arrival = device.TimeOf(k + 5 * frames) + late(random);
    for (int i = 0; i < 5; ++i) {
      CapturePacket packet = device.Packet(k + i * frames, frames);
      packet.time = arrival;
      aligner.Packet(packet, arrival);
    }
  }
  const StreamAligner::Stats& stats = aligner.stats();
  EXPECT_LE(stats.repeated + stats.left, 2u) << "a minute of a steady device";
  EXPECT_EQ(stats.cut, 0u);
  // Only before the first packet, which came late itself.
  EXPECT_LE(stats.silence, 5u * frames + 96u);
  EXPECT_EQ(aligner.position(), 60u * 16000u + stats.silence + stats.repeated - stats.left);
}

// A busy computer: the first two seconds' stamps come 15 ms later than
// usual, and later a spell of five seconds 25 ms later. Neither is a clock
// drifting: no nudge, no click, and the sound keeps its place in the stream.
TEST(StreamAligner, BusySpellsOfLateStampsMoveNothing) {
  RecordingSink sink;
  StreamAligner aligner(0, sink);
  ASSERT_TRUE(aligner.UseFormat(k16kMono));
  PulseDevice device{16000.0, 0, {}};
  const uint32_t frames = 160;
  for (uint64_t k = 0; k < 40 * 16000; k += frames) {
    const int64_t end = device.TimeOf(k + frames);
    const double second = static_cast<double>(k) / 16000;
    int64_t late = 20000;  // 2 ms
    if (second < 2) late += 150000;
    if (second >= 20 && second < 25) late += 250000;
    CapturePacket packet = device.Packet(k, frames);
    packet.time += late;
    aligner.Packet(packet, end + late);
  }
  const StreamAligner::Stats& stats = aligner.stats();
  EXPECT_EQ(stats.repeated + stats.left, 0u);
  EXPECT_EQ(stats.cut, 0u);
  // Placed by the first, late, packet: everything 15 ms + 2 ms later than
  // its time, steadily (the pulses every 1,600 samples stay 1,600 apart).
  std::vector<uint64_t> pulses = PulsePositions(sink.stream);
  ASSERT_EQ(pulses.size(), 400u);
  for (size_t i = 1; i < pulses.size(); ++i) ASSERT_EQ(pulses[i] - pulses[i - 1], 1600u) << i;
  EXPECT_EQ(pulses.front(), static_cast<uint64_t>(SampleAt(0, 170000)));
}

// A loopback device delivers nothing while nothing plays: the stream is
// filled with silence by the clock, and the sound that follows lands at its
// own time, neither early nor late.
TEST(StreamAligner, SilenceWhileTheDeviceDeliversNothingKeepsTheNextSoundInPlace) {
  RecordingSink sink;
  const int64_t origin = kTicks;
  StreamAligner aligner(origin, sink);
  ASSERT_TRUE(aligner.UseFormat(k16kMono));
  PulseDevice device{16000.0, origin + kTicks / 20, {}};  // first sound 50 ms after the start
  int64_t now = origin;
  auto deliver = [&](uint64_t from, uint64_t to) {
    for (uint64_t k = from; k < to; k += 160) {
      now = device.TimeOf(k + 160) + 30000;
      aligner.Packet(device.Packet(k, 160), now);
    }
  };
  deliver(0, 16000);
  // Two seconds of nothing; the thread's rounds come every 10 ms.
  const int64_t quietEnd = device.TimeOf(16000 + 32000);
  for (; now < quietEnd; now += kTicks / 100) aligner.FillIdle(now);
  EXPECT_GT(aligner.position(), 46900u) << "the quiet time was filled up to the device's delay";
  deliver(48000, 64000);

  std::vector<uint64_t> pulses = PulsePositions(sink.stream);
  ASSERT_EQ(pulses.size(), 20u);
  for (uint64_t pulse : pulses) {
    // Pulses come every 1,600 device samples from 800 (the 50 ms).
    EXPECT_EQ((pulse - 800) % 1600, 0u) << pulse;
  }
  EXPECT_EQ(pulses.front(), 800u);
  EXPECT_EQ(pulses.back(), 800u + 62400u);
  // Between the two stretches: only silence.
  for (size_t i = 800 + 16000; i < 800 + 48000; ++i) ASSERT_EQ(sink.stream[i], 0) << i;
}

// A packet whose time says it overlaps what the stream has (a device that
// was late to deliver after the silence was filled) is cut, not appended; a
// discontinuity is placed by its time; a packet without a time is placed by
// its arrival.
TEST(StreamAligner, OverlapsAreCutGapsFilledAndUntimedPacketsPlacedByArrival) {
  RecordingSink sink;
  StreamAligner aligner(0, sink);
  ASSERT_TRUE(aligner.UseFormat(k16kMono));
  PulseDevice device{16000.0, 0, {}};
  for (uint64_t k = 0; k < 3200; k += 160) aligner.Packet(device.Packet(k, 160), device.TimeOf(k + 160));
  ASSERT_EQ(aligner.position(), 3200u);
  aligner.FillTo(4800);  // silence up to 300 ms
  // Device samples 3200..4800 come late: they overlap the silence and go.
  aligner.Packet(device.Packet(3200, 1600), device.TimeOf(4800));
  EXPECT_EQ(aligner.position(), 4800u);
  EXPECT_EQ(aligner.stats().cut, 1600u);
  // A discontinuity: samples 8000.. after frames were lost.
  CapturePacket late = device.Packet(8000, 160);
  late.discontinuity = true;
  aligner.Packet(late, device.TimeOf(8160));
  EXPECT_EQ(aligner.position(), 8160u);
  EXPECT_EQ(sink.stream[8000], 20000);
  // No capture time: its end is the moment it arrived.
  CapturePacket untimed = device.Packet(12800, 160);
  untimed.time = -1;
  aligner.Packet(untimed, device.TimeOf(12960));
  EXPECT_EQ(aligner.position(), 12960u);
  EXPECT_EQ(sink.stream[12800], 20000);
  // A silent packet is silence, whatever its buffer holds.
  CapturePacket silent = device.Packet(12960, 1600);
  silent.silent = true;
  aligner.Packet(silent, device.TimeOf(14560));
  EXPECT_TRUE(std::all_of(sink.stream.begin() + 12960, sink.stream.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(aligner.position(), 14560u);
}

// --- The capture threads with fake devices -------------------------------------

namespace {

class Collected : public CaptureOutlet, public CaptureEvents {
 public:
  void Take(Direction d, const int16_t* samples, size_t n) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& stream = streams_[DirectionIndex(d)];
    stream.insert(stream.end(), samples, samples + n);
  }
  void OnCaptureHeld(uint64_t hold) override {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.push_back(hold);
    changed_.notify_all();
  }
  void OnCaptureDevice(Direction d, bool open, const std::wstring& what) override {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.push_back((open ? L"+" : L"-") + what);
  }
  bool WaitHeld(uint64_t hold) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
      return std::find(held_.begin(), held_.end(), hold) != held_.end();
    });
  }
  std::vector<int16_t> Stream(Direction d) {
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_[DirectionIndex(d)];
  }
  size_t Size(Direction d) {
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_[DirectionIndex(d)].size();
  }
  std::vector<std::wstring> Devices() {
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_;
  }
  size_t HeldCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int16_t> streams_[2];
  std::vector<uint64_t> held_;
  std::vector<std::wstring> devices_;
};

template <class F>
bool WaitFor(F done, std::chrono::seconds limit = std::chrono::seconds(20)) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

// A call of the computer's sound with everything that can go wrong at once:
// the far end's loopback delivers nothing for its first 400 ms of clock and
// in bigger packets, the microphone cannot be opened at first and is later
// unplugged (lost) and opened again. Held and released as a pause does, then
// held as a stop: both streams end equally long, and every pulse that both
// devices captured lies at the same sample in both.
TEST(SoundCapture, BothDirectionsStayOnOneClockThroughSilenceLossPauseAndStop) {
  fake_sound::ClockDevices devices;
  Collected collected;
  devices.failOpens[CaptureEndpoint::DefaultCapture] = 1;
  devices.loseInAfter->store(40);  // unplugged after 400 ms of packets
  const int64_t start = CaptureClockNow();
  devices.quietUntilMs->store(static_cast<int>(SampleAt(0, start) / 16 + 400));
  SoundCapture capture(devices, collected, collected);
  capture.Begin(SoundCapture::FarEnd(L""), SoundCapture::NearEnd(L""), L"Teams.exe");
  EXPECT_TRUE(capture.InProgress());
  EXPECT_EQ(capture.App(), L"Teams.exe");

  // A second's audio (the microphone opened again after its loss).
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(devices.mutex);
    return devices.opens[CaptureEndpoint::DefaultCapture] >= 3;
  })) << "the microphone was not opened again after its loss";
  ASSERT_TRUE(WaitFor([&] { return collected.Size(Direction::In) > 24000 && collected.Size(Direction::Out) > 24000; }));

  // Pause: both stop at one sample.
  uint64_t pause = capture.Hold();
  ASSERT_TRUE(collected.WaitHeld(pause));
  const size_t pausedOut = collected.Size(Direction::Out), pausedIn = collected.Size(Direction::In);
  EXPECT_EQ(pausedOut, pausedIn);
  // Both devices go on capturing during the pause; none of it is delivered.
  const int farPackets = devices.loopbackCounts->packets, nearPackets = devices.captureCounts->packets;
  ASSERT_TRUE(WaitFor([&] {
    return devices.loopbackCounts->packets >= farPackets + 5 && devices.captureCounts->packets >= nearPackets + 5;
  }));
  EXPECT_EQ(collected.Size(Direction::Out), pausedOut) << "audio delivered during the pause";
  EXPECT_EQ(collected.Size(Direction::In), pausedIn) << "audio delivered during the pause";
  capture.Release();
  ASSERT_TRUE(WaitFor([&] { return collected.Size(Direction::Out) > pausedOut + 8000; }));

  uint64_t stop = capture.Hold();
  ASSERT_TRUE(collected.WaitHeld(stop));
  capture.End();
  EXPECT_FALSE(capture.InProgress());

  std::vector<int16_t> out = collected.Stream(Direction::Out), in = collected.Stream(Direction::In);
  ASSERT_EQ(out.size(), in.size());
  size_t common = 0, silentOut = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == 20000 && in[i] == 20000) ++common;
    if (out[i] == 20000) {
      EXPECT_NE(in[i], 1) << "a far-end pulse at " << i << " has no near-end pulse beside it";
    }
    if (i < 16 * 300 && out[i] == 0) ++silentOut;
  }
  EXPECT_GE(common, 6u) << "pulses of both devices at the same sample";
  EXPECT_GT(silentOut, 16u * 250) << "the quiet loopback was filled with silence";
  std::vector<std::wstring> told = collected.Devices();
  EXPECT_NE(std::find(told.begin(), told.end(), L"-no such device"), told.end());
  EXPECT_NE(std::find(told.begin(), told.end(), L"-Microphone"), told.end());
  EXPECT_NE(std::find(told.begin(), told.end(), L"+Speakers"), told.end());

  // Nothing comes after the end, up to the devices' closing; a new call
  // starts its own clock.
  const size_t ended = collected.Size(Direction::Out);
  ASSERT_TRUE(WaitFor([&] { return devices.loopbackCounts->open == 0 && devices.captureCounts->open == 0; }))
      << "the devices were not closed";
  EXPECT_EQ(collected.Size(Direction::Out), ended);
  EXPECT_EQ(collected.Size(Direction::In), ended);
  EXPECT_EQ(capture.Hold(), stop + 1);
  EXPECT_TRUE(collected.WaitHeld(stop + 1)) << "a hold without a call is reported at once";
}

// A device that never opens still lets a stop complete: silence stands in for
// it up to the mark, so the recording can finish.
TEST(SoundCapture, AHoldIsReachedEvenWhenADeviceNeverOpens) {
  fake_sound::ClockDevices devices;
  Collected collected;
  devices.failOpens[CaptureEndpoint::Named] = 1000;
  SoundCapture capture(devices, collected, collected);
  capture.Begin(SoundCapture::FarEnd(L"Stereo Mix"), SoundCapture::NearEnd(L""), L"");
  ASSERT_TRUE(WaitFor([&] { return collected.Size(Direction::In) > 3200; }));
  uint64_t stop = capture.Hold();
  ASSERT_TRUE(collected.WaitHeld(stop));
  capture.End();
  std::vector<int16_t> out = collected.Stream(Direction::Out);
  EXPECT_EQ(out.size(), collected.Size(Direction::In));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  std::lock_guard<std::mutex> lock(devices.mutex);
  EXPECT_GE(devices.opens[CaptureEndpoint::Named], 1);
}
