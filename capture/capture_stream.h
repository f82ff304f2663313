// One direction of the computer's sound, placed on the recording's clock.
//
// Sample n of a direction's stream is the sound of the moment origin + n/16000
// s on the capture clock, for both directions alike, so that the far end and
// the microphone stay aligned however their devices deliver:
//  - a packet's capture time says where its samples belong. Devices stamp
//    their packets late by a varying amount (some when the data reached the
//    program, several packets at once), so the stream keeps each device's
//    usual distance from the clock: the least offset of its packets over the
//    last two seconds, learnt in its first two;
//  - a packet further than kGapSamples from that distance is placed by its
//    time: the gap before it is filled with silence (a loopback device
//    delivers nothing while nothing plays; a discontinuity; a device opened
//    late or replaced), and what overlaps the stream is cut;
//  - two devices' clocks drift apart (a device's second is not the
//    computer's): whenever the least offset moves more than kDriftSamples
//    from the usual distance (nearer the clock over two seconds, or further
//    over ten: a stamp is never early, but may be late for a while when the
//    computer is busy), the stream is nudged by one sample (a sample
//    repeated or left out), at most one each 100 ms. A move of more than
//    kRebaseSamples at once is no drift but the stamps' lateness changing:
//    the usual distance is learnt again;
//  - while a device delivers nothing at all, the stream is filled with silence
//    up to the present less the device's usual delay.
//
// StreamAligner does the placing, on whichever thread feeds it; CaptureThread
// runs a direction: it opens the device (again when it is lost), reads its
// packets and feeds them to its aligner.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_convert.h"
#include "capture/capture_device.h"

// Where the placed samples go.
class CaptureSink {
 public:
  virtual ~CaptureSink() = default;
  // Samples [position, position + n) of the stream, in order, each once.
  virtual void Write(uint64_t position, const int16_t* samples, size_t n) = 0;
};

// Further than this from its device's usual distance (60 ms), a packet is
// placed by its time.
constexpr int64_t kGapSamples = 960;
// How far the least offset may move before a one-sample nudge (1 ms), and
// the time the least is taken over (long enough that a late stamp or two
// do not move it).
constexpr double kDriftSamples = 16.0;
constexpr int64_t kDriftWindow = 2 * kCaptureClockPerSecond;
constexpr int64_t kSlowDriftWindow = 10 * kCaptureClockPerSecond;
// Further than this (4 ms) the usual distance is learnt again instead.
constexpr int64_t kRebaseSamples = 64;
// The least time between two nudges: up to ten samples a second, more than
// 600 ppm of drift.
constexpr int64_t kNudgeEvery = kCaptureClockPerSecond / 10;
// The least a device is assumed to lag the present while it is silent (100 ms).
constexpr int64_t kIdleLagSamples = 1600;

// The 16 kHz sample of the capture clock's time `t`, for a stream that starts
// at `origin` (negative before it).
int64_t SampleAt(int64_t origin, int64_t t);

class StreamAligner {
 public:
  StreamAligner(int64_t origin, CaptureSink& sink);

  // The next packets come from a device of this format (a new device, or the
  // same one opened again). False when it cannot be converted.
  bool UseFormat(const CaptureFormat& format);
  // Places a packet that arrived at `now`.
  void Packet(const CapturePacket& packet, int64_t now);
  // Silence up to the present less the device's observed delay (at least
  // kIdleLagSamples): for a device that delivers nothing.
  void FillIdle(int64_t now);
  // Silence up to `position` (a mark that must be reached).
  void FillTo(uint64_t position);

  uint64_t position() const { return position_; }

  // How the stream kept to the clock.
  struct Stats {
    double largestDrift = 0;  // the furthest the least offset moved from the usual, in samples
    uint64_t repeated = 0;    // samples repeated for a slow device
    uint64_t left = 0;        // samples left out for a fast device
    uint64_t silence = 0;     // samples of silence filled in
    uint64_t cut = 0;         // samples cut where a packet overlapped the stream
  };
  const Stats& stats() const { return stats_; }

 private:
  void WriteSilence(uint64_t n);
  void Emit(const int16_t* samples, size_t n);

  const int64_t origin_;
  CaptureSink& sink_;
  std::unique_ptr<AudioConverter> converter_;
  uint64_t position_ = 0;
  // The offsets of the last two and the last ten seconds' packets (expected
  // end less the stream's end, +: the stream is behind), each with the nudges
  // made since the placing added, kept as rising queues whose fronts are the
  // least.
  struct Offset {
    int64_t time;
    int64_t adjusted;
  };
  // Adds the offset to the window of `span` and returns the window's least.
  static int64_t Least(std::deque<Offset>& window, int64_t now, int64_t span, int64_t adjusted);
  std::deque<Offset> shortWindow_, longWindow_;
  int64_t lastNudge_ = 0;
  int64_t corrections_ = 0;   // samples repeated less samples left out since the placing
  int64_t base_ = 0;          // the device's usual offset
  bool haveBase_ = false;     // learnt (two seconds after the device's first packet)
  int64_t windowStart_ = 0;
  bool placed_ = false;       // a packet has been placed since the device was (re)opened or went quiet
  int64_t lag_ = 0;           // the device's delay behind the present, in samples (smoothed)
  std::vector<int16_t> converted_;
  Stats stats_;
};

// A direction's capture thread. It waits, with no device open, until Run;
// then it opens the endpoint and keeps its stream on the clock until Idle.
// The thread lives as long as the object; Run and Idle never wait for it.
class CaptureThread {
 public:
  struct Hooks {
    // Creates the direction's sink for a run.
    std::function<std::unique_ptr<CaptureSink>()> makeSink;
    // The stream's position has advanced (on the capture thread).
    std::function<void(uint64_t position)> progressed;
    // The device was opened (true) or lost or could not be opened (false).
    std::function<void(bool open, const std::wstring& what)> deviceChanged;
  };
  CaptureThread(CaptureDevices& devices, Hooks hooks);
  ~CaptureThread();
  CaptureThread(const CaptureThread&) = delete;
  CaptureThread& operator=(const CaptureThread&) = delete;

  // Starts a run: the stream's sample 0 is `origin` on the capture clock.
  void Run(const CaptureEndpoint& endpoint, int64_t origin);
  // Ends the run; the device is closed by the thread.
  void Idle();
  // The stream must reach `position` (a pause or a stop): once the device has
  // had its delay to deliver up to there, silence fills what it did not.
  void Reach(uint64_t position, int64_t when);
  uint64_t position() const { return position_.load(); }
  // The stream's figures of the last run (after Idle, once the thread has
  // let the run go) or of the run now.
  StreamAligner::Stats stats() const;

  // How often the device is read.
  static constexpr int kPollMs = 100;
  // How often a device that cannot be opened is tried again.
  static constexpr int64_t kReopenEvery = kCaptureClockPerSecond / 2;
  // How long a mark waits for the device's own audio before silence.
  static constexpr int64_t kMarkGrace = kCaptureClockPerSecond * 3 / 10;

 private:
  void Loop();
  void RunOnce(const CaptureEndpoint& endpoint, int64_t origin, uint64_t generation);

  CaptureDevices& devices_;
  Hooks hooks_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool quit_ = false;
  bool running_ = false;
  uint64_t generation_ = 0;
  CaptureEndpoint endpoint_;
  int64_t origin_ = 0;
  uint64_t reach_ = 0;
  int64_t reachWhen_ = 0;
  StreamAligner::Stats stats_;
  std::atomic<uint64_t> position_{0};
  std::thread thread_;
};
