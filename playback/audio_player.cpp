#include "playback/audio_player.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// The pieces the feeder reads and queues: as long as one buffer of the
// Windows output.
constexpr uint32_t kPieceMs = 100;
// How often the feeder looks at the played frames once everything is queued.
constexpr std::chrono::milliseconds kDrainPoll{20};
// An output whose played frames stand still this long with frames still
// queued has stopped playing: the playback ends as if they had been heard.
constexpr std::chrono::seconds kStalledOutput{5};

}  // namespace

AudioPlayer::AudioPlayer(std::function<std::unique_ptr<SoundOut>()> makeOut) : makeOut_(std::move(makeOut)) {}

AudioPlayer::~AudioPlayer() { Stop(); }

bool AudioPlayer::Play(std::unique_ptr<PlaybackSource> source, uint64_t startFrame) {
  std::lock_guard<std::mutex> control(control_);
  StopFeeder();
  if (!source) return false;
  std::unique_ptr<SoundOut> out = makeOut_ ? makeOut_() : nullptr;
  if (!out || !out->Open(source->channels(), source->rate())) return false;
  startFrame = std::min(startFrame, source->frames());
  std::lock_guard<std::mutex> lock(mutex_);
  length_ = source->frames();
  rate_ = source->rate();
  position_ = startFrame;
  base_ = startFrame;
  queued_ = baseline_ = 0;
  source_ = std::move(source);
  out_ = std::move(out);
  stopRequested_ = false;
  seekRequest_.reset();
  playing_ = true;
  feeder_ = std::thread(&AudioPlayer::Feed, this, startFrame);
  feederId_ = feeder_.get_id();
  return true;
}

void AudioPlayer::Stop() {
  // From onEnded, on the feeder itself: it is told, and joined by the next
  // Play, Stop or the destructor.
  if (std::this_thread::get_id() == feederId_.load()) {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
    wake_.notify_all();
    return;
  }
  std::lock_guard<std::mutex> control(control_);
  StopFeeder();
}

void AudioPlayer::StopFeeder() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!feeder_.joinable()) return;
  if (!stopRequested_ && playing_ && !seekRequest_) position_ = HeardLocked();
  stopRequested_ = true;
  // A feeder that waits inside Write for a free buffer returns at once.
  if (out_) out_->Reset();
  wake_.notify_all();
  std::thread feeder = std::move(feeder_);
  lock.unlock();
  feeder.join();
  lock.lock();
  feederId_ = std::thread::id();
  source_.reset();
  out_.reset();
  playing_ = false;
}

uint64_t AudioPlayer::HeardLocked() const {
  const uint64_t played = out_->PlayedFrames();
  return base_ + std::min(queued_, played > baseline_ ? played - baseline_ : 0);
}

bool AudioPlayer::Playing() const { return playing_.load(); }

uint64_t AudioPlayer::PositionFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (playing_ && out_ && !stopRequested_ && !seekRequest_ && queued_ > 0) return HeardLocked();
  return position_.load();
}

uint64_t AudioPlayer::LengthFrames() const { return length_.load(); }
uint32_t AudioPlayer::Rate() const { return rate_.load(); }

bool AudioPlayer::Seek(uint64_t frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!playing_ || !out_ || stopRequested_) return false;
  seekRequest_ = frame;
  // The bar shows the new place at once.
  position_ = std::min(frame, length_.load());
  out_->Reset();
  wake_.notify_all();
  return true;
}

void AudioPlayer::Feed(uint64_t startFrame) {
  // Both stay until this thread has been joined.
  PlaybackSource& source = *source_;
  SoundOut& out = *out_;
  const uint64_t length = source.frames();
  const size_t piece = std::max<size_t>(1, source.rate() * kPieceMs / 1000);
  std::vector<int16_t> buffer(piece * source.channels());

  bool ended = false, sourceDone = false;
  uint64_t lastHeard = 0;
  auto lastProgress = std::chrono::steady_clock::now();
  bool seeking = startFrame > 0;
  uint64_t seekTo = startFrame;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopRequested_) break;
      if (seekRequest_) {
        seeking = true;
        seekTo = *seekRequest_;
        seekRequest_.reset();
      }
    }
    if (seeking) {
      seeking = false;
      out.Reset();
      const uint64_t baseline = out.PlayedFrames();
      const uint64_t frame = std::min(seekTo, length);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        base_ = frame;
        queued_ = 0;
        baseline_ = baseline;
        position_ = frame;
      }
      sourceDone = false;
      if (frame >= length) {
        ended = true;
        break;
      }
      // A source that cannot be positioned ends the playback.
      if (!source.Seek(frame)) break;
      continue;
    }
    if (!sourceDone) {
      const size_t n = source.Read(buffer.data(), piece);
      if (n == 0) {
        sourceDone = true;
        lastHeard = 0;
        lastProgress = std::chrono::steady_clock::now();
        continue;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_ += n;
      }
      if (!out.Write(buffer.data(), n)) {
        std::lock_guard<std::mutex> lock(mutex_);
        // Cut short by Stop or Seek, which the loop takes up next; anything
        // else is a failure of the output.
        if (stopRequested_ || seekRequest_) continue;
        position_ = HeardLocked();
        break;
      }
      continue;
    }
    // Everything is queued: wait until it has been heard.
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t heard = HeardLocked();
    if (heard >= base_ + queued_) {
      ended = true;
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (heard != lastHeard) {
      lastHeard = heard;
      lastProgress = now;
    } else if (now - lastProgress > kStalledOutput) {
      ended = true;
      break;
    }
    wake_.wait_for(lock, kDrainPoll, [this] { return stopRequested_ || seekRequest_.has_value(); });
  }
  bool tell = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended) position_ = base_ + queued_;
    tell = ended && !stopRequested_;
    playing_ = false;
  }
  // After Stop, what is queued must not play on; at the end nothing is left.
  out.Reset();
  out.Close();
  if (tell && onEnded) onEnded();
}
