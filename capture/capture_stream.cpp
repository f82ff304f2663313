#include "capture/capture_stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/debug_trace.h"

namespace {
constexpr size_t kSilenceChunk = 1600;
const int16_t kSilence[kSilenceChunk] = {};
}  // namespace

int64_t SampleAt(int64_t origin, int64_t t) {
  // 16,000 samples in 10,000,000 ticks: 8 samples per 5,000 ticks, rounded
  // down (towards minus infinity before the origin).
  int64_t ticks = t - origin;
  int64_t q = ticks >= 0 ? ticks / 5000 : -((-ticks + 4999) / 5000);
  int64_t r = ticks - q * 5000;
  return q * 8 + r * 8 / 5000;
}

StreamAligner::StreamAligner(int64_t origin, CaptureSink& sink) : origin_(origin), sink_(sink) {}

bool StreamAligner::UseFormat(const CaptureFormat& format) {
  converter_ = std::make_unique<AudioConverter>(format);
  // A new device: its packets' usual distance from the clock is learnt anew.
  placed_ = false;
  haveBase_ = false;
  if (converter_->Supported()) return true;
  converter_.reset();
  return false;
}

void StreamAligner::Emit(const int16_t* samples, size_t n) {
  if (n == 0) return;
  sink_.Write(position_, samples, n);
  position_ += n;
}

void StreamAligner::WriteSilence(uint64_t n) {
  stats_.silence += n;
  while (n > 0) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(n, kSilenceChunk));
    Emit(kSilence, piece);
    n -= piece;
  }
}

void StreamAligner::Packet(const CapturePacket& packet, int64_t now) {
  if (!converter_ || packet.frames == 0) return;
  const CaptureFormat& format = converter_->from();
  if (packet.discontinuity) converter_->Reset();
  converted_.clear();
  converter_->Convert(packet.silent ? nullptr : packet.data, packet.frames, converted_);

  // Where the packet's end belongs on the clock: by its capture time, or,
  // without one, by its arrival.
  int64_t end = now;
  if (packet.time >= 0) {
    end = packet.time + static_cast<int64_t>(packet.frames) * kCaptureClockPerSecond / format.rate;
    int64_t lag = SampleAt(end, now);
    lag_ = std::max(lag, lag_ - 1);
  }
  const int64_t expectedEnd = SampleAt(origin_, end) - std::llround(converter_->DelaySamples());
  const int64_t offset = expectedEnd - static_cast<int64_t>(position_ + converted_.size());
  const int64_t base = haveBase_ ? base_ : 0;

  size_t cut = 0;
  if (!placed_ || packet.discontinuity || offset - base > kGapSamples || offset - base < -kGapSamples) {
    // Placed by its time, as far from the clock as the device's packets
    // usually are: silence before it, or what overlaps the stream cut.
    const int64_t shift = offset - base;
    if (shift > 0) WriteSilence(static_cast<uint64_t>(shift));
    else cut = static_cast<size_t>(std::min<int64_t>(-shift, static_cast<int64_t>(converted_.size())));
    stats_.cut += cut;
    // A packet wholly in the past leaves the stream where it was, ahead of
    // the clock: the next one is placed by its time again.
    placed_ = cut < converted_.size();
    shortWindow_.clear();
    longWindow_.clear();
    corrections_ = 0;
    if (!haveBase_) windowStart_ = now;
  } else {
    // The offset as it would be without the nudges made since the placing,
    // so that values before and after a nudge compare.
    const int64_t adjusted = offset + corrections_;
    const int64_t least = Least(shortWindow_, now, kDriftWindow, adjusted) - corrections_;
    const int64_t longLeast = Least(longWindow_, now, kSlowDriftWindow, adjusted) - corrections_;
    if (!haveBase_) {
      if (now - windowStart_ >= kDriftWindow) {
        base_ = least;
        haveBase_ = true;
      }
    } else {
      // A stamp is never early: a packet nearer the clock than the usual
      // distance is proof (of a fast device, or of a usual distance learnt
      // while the computer was busy), and two seconds of them suffice; a
      // distance that grows may be a slow device or only a busy spell, and
      // must hold for ten. Real clocks drift a sample or two a second: one
      // nudge in 100 ms is plenty, and spreads what a wrong usual distance
      // needs over time rather than clicking on every packet.
      //
      // A move of more than kRebaseSamples is no clock: drift that large
      // would have been nudged long before. The stamps' lateness changed
      // (the usual distance was learnt in a busy spell, or one lasts): the
      // usual distance is learnt again, with no nudge.
      if (least - base_ < -kRebaseSamples) base_ = least;
      if (longLeast - base_ > kRebaseSamples) base_ = longLeast;
      const double drift = static_cast<double>(least - base_);
      const double slowDrift = static_cast<double>(longLeast - base_);
      const bool nudgeDue = now - lastNudge_ >= kNudgeEvery;
      if (nudgeDue && slowDrift > kDriftSamples && !converted_.empty()) {
        // The device is slow: one sample twice.
        converted_.insert(converted_.begin(), converted_.front());
        ++corrections_;
        ++stats_.repeated;
        lastNudge_ = now;
      } else if (nudgeDue && drift < -kDriftSamples && !converted_.empty()) {
        cut = 1;
        --corrections_;
        ++stats_.left;
        lastNudge_ = now;
      }
      stats_.largestDrift = std::max(stats_.largestDrift, std::max(-drift, slowDrift));
    }
  }
  Emit(converted_.data() + cut, converted_.size() - cut);
}

int64_t StreamAligner::Least(std::deque<Offset>& window, int64_t now, int64_t span, int64_t adjusted) {
  while (!window.empty() && window.back().adjusted >= adjusted) window.pop_back();
  window.push_back({now, adjusted});
  while (window.front().time < now - span) window.pop_front();
  return window.front().adjusted;
}

void StreamAligner::FillIdle(int64_t now) {
  int64_t target = SampleAt(origin_, now) - std::max(2 * lag_, kIdleLagSamples);
  if (target <= static_cast<int64_t>(position_)) return;
  WriteSilence(static_cast<uint64_t>(target) - position_);
  // The sound after the silence is placed by its time, however near.
  placed_ = false;
}

void StreamAligner::FillTo(uint64_t position) {
  if (position > position_) WriteSilence(position - position_);
}

// --- The thread ---------------------------------------------------------------

CaptureThread::CaptureThread(CaptureDevices& devices, Hooks hooks)
    : devices_(devices), hooks_(std::move(hooks)), thread_([this] { Loop(); }) {}

CaptureThread::~CaptureThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void CaptureThread::Run(const CaptureEndpoint& endpoint, int64_t origin) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
    ++generation_;
    endpoint_ = endpoint;
    origin_ = origin;
    reach_ = 0;
    reachWhen_ = 0;
    stats_ = {};
  }
  position_ = 0;
  changed_.notify_all();
}

void CaptureThread::Idle() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    ++generation_;
  }
  changed_.notify_all();
}

void CaptureThread::Reach(uint64_t position, int64_t when) {
  std::lock_guard<std::mutex> lock(mutex_);
  reach_ = std::max(reach_, position);
  reachWhen_ = when;
}

StreamAligner::Stats CaptureThread::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

void CaptureThread::Loop() {
  for (;;) {
    CaptureEndpoint endpoint;
    int64_t origin = 0;
    uint64_t generation = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return quit_ || running_; });
      if (quit_) return;
      endpoint = endpoint_;
      origin = origin_;
      generation = generation_;
    }
    RunOnce(endpoint, origin, generation);
  }
}

void CaptureThread::RunOnce(const CaptureEndpoint& endpoint, int64_t origin, uint64_t generation) {
  std::unique_ptr<CaptureSink> sink = hooks_.makeSink();
  StreamAligner aligner(origin, *sink);
  std::unique_ptr<CaptureDevice> device;
  int64_t nextOpen = 0;
  bool failureTold = false;
  for (;;) {
    uint64_t reach;
    int64_t reachWhen;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (quit_ || !running_ || generation_ != generation) break;
      reach = reach_;
      reachWhen = reachWhen_;
      stats_ = aligner.stats();
    }
    int64_t now = CaptureClockNow();
    if (!device && now >= nextOpen) {
      std::wstring error;
      device = devices_.Open(endpoint, error);
      if (device && !aligner.UseFormat(device->format())) {
        error = L"the device's format cannot be converted";
        device.reset();
      }
      if (device) {
        failureTold = false;
        if (hooks_.deviceChanged) hooks_.deviceChanged(true, device->name());
      } else {
        nextOpen = now + kReopenEvery;
        if (!failureTold && hooks_.deviceChanged) hooks_.deviceChanged(false, error);
        failureTold = true;
      }
    }
    bool delivered = false;
    if (device) {
      // A bounded number of packets per round, so that a device that
      // delivers without end still lets the run be ended.
      for (int i = 0; i < 256; ++i) {
        CapturePacket packet;
        CaptureRead read = device->NextPacket(packet);
        if (read == CaptureRead::Packet) {
          aligner.Packet(packet, CaptureClockNow());
          device->ReleasePacket();
          delivered = true;
          continue;
        }
        if (read == CaptureRead::Lost) {
          // Unplugged or failed: the endpoint is opened again (a default
          // endpoint is then the new default), silence fills the time between.
          DebugTrace(L"Capture device lost: %s\n", {device->name()});
          if (hooks_.deviceChanged) hooks_.deviceChanged(false, device->name());
          failureTold = true;
          device.reset();
          nextOpen = now;
        }
        break;
      }
    }
    now = CaptureClockNow();
    if (!delivered) aligner.FillIdle(now);
    if (reach > aligner.position() && now >= reachWhen + kMarkGrace) aligner.FillTo(reach);
    {
      // A run that has been ended or replaced no longer speaks for the stream.
      std::lock_guard<std::mutex> lock(mutex_);
      if (generation_ != generation) break;
      position_ = aligner.position();
    }
    if (hooks_.progressed) hooks_.progressed(aligner.position());
    // The device keeps 500 ms: a look every 100 ms takes what came meanwhile
    // in one go, where waking for each 10 ms packet would cost ten times
    // the wake-ups (under wine each is dear).
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(kPollMs),
                      [this, generation] { return quit_ || generation_ != generation; });
  }
  std::lock_guard<std::mutex> lock(mutex_);
  stats_ = aligner.stats();
}
