// The POSIX stand-in of the sound output: no device, a queue of 400 ms that
// empties in real time by the steady clock.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "playback/sound_out.h"

namespace {

using Clock = std::chrono::steady_clock;

class ClockSoundOut : public SoundOut {
 public:
  bool Open(uint16_t channels, uint32_t rate) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channels < 1 || channels > 2 || rate == 0) return false;
    rate_ = rate;
    open_ = true;
    written_ = playedBase_ = 0;
    return true;
  }

  bool Write(const int16_t*, size_t frames) override {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t resets = resets_;
    const uint64_t capacity = rate_ * 4 / 10;
    while (frames > 0) {
      if (!open_ || resets_ != resets) return false;
      const uint64_t played = Played();
      const uint64_t room = capacity - std::min(capacity, written_ - played);
      if (room == 0) {
        // The time until the oldest 100 ms have been heard.
        changed_.wait_for(lock, std::chrono::milliseconds(100));
        continue;
      }
      // Playing starts again from the clock when the queue had run dry.
      if (played == written_) {
        playedBase_ = written_;
        startedAt_ = Clock::now();
      }
      const uint64_t n = std::min<uint64_t>(room, frames);
      written_ += n;
      frames -= static_cast<size_t>(n);
    }
    return true;
  }

  uint64_t PlayedFrames() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_ ? Played() : 0;
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++resets_;
    written_ = playedBase_ = 0;
    startedAt_ = Clock::now();
    changed_.notify_all();
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    changed_.notify_all();
  }

 private:
  uint64_t Played() const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - startedAt_).count();
    return std::min(written_, playedBase_ + static_cast<uint64_t>(elapsed) * rate_ / 1000000);
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  uint32_t rate_ = 0;
  uint64_t written_ = 0, playedBase_ = 0, resets_ = 0;
  Clock::time_point startedAt_ = Clock::now();
};

}  // namespace

std::unique_ptr<SoundOut> MakeSystemSoundOut() { return std::make_unique<ClockSoundOut>(); }
