// A sound output for the player's tests: it keeps every frame queued on it,
// in the pieces between Resets, and hears what the test lets it hear. Its
// state outlives the output, which the player owns and destroys.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/sound_out.h"

struct FakeOutState {
  std::mutex mutex;
  std::condition_variable changed;
  // Set by the test.
  bool failOpen = false;
  bool failWrite = false;
  // Hears everything as soon as it is queued.
  bool hearsAtOnce = false;
  // At most this many frames wait to be heard; Write blocks beyond.
  uint64_t capacity = 1600;
  // What the output saw.
  int opens = 0, resets = 0, closes = 0;
  bool open = false;
  uint16_t channels = 0;
  uint32_t rate = 0;
  // What was queued since Open, then since each Reset.
  std::vector<std::vector<int16_t>> pieces;
  uint64_t queued = 0, heard = 0;

  // Lets the output hear up to `frames` more of what is queued.
  void Hear(uint64_t frames) {
    std::lock_guard<std::mutex> lock(mutex);
    heard = std::min(queued, heard + frames);
    changed.notify_all();
  }
  template <typename T>
  T Get(T FakeOutState::*member) {
    std::lock_guard<std::mutex> lock(mutex);
    return this->*member;
  }
  // The last piece that holds frames.
  std::vector<int16_t> Last() {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece)
      if (!piece->empty()) return *piece;
    return {};
  }
  std::vector<int16_t> All() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<int16_t> all;
    for (const auto& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }
};

class FakeSoundOut : public SoundOut {
 public:
  explicit FakeSoundOut(std::shared_ptr<FakeOutState> state) : state_(std::move(state)) {}

  bool Open(uint16_t channels, uint32_t rate) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->failOpen) return false;
    ++state_->opens;
    state_->open = true;
    state_->channels = channels;
    state_->rate = rate;
    state_->pieces.assign(1, {});
    state_->queued = state_->heard = 0;
    return true;
  }

  bool Write(const int16_t* samples, size_t frames) override {
    std::unique_lock<std::mutex> lock(state_->mutex);
    FakeOutState& s = *state_;
    const int resets = s.resets;
    while (frames > 0) {
      if (s.failWrite || s.resets != resets || !s.open) return false;
      const uint64_t room = s.hearsAtOnce ? frames : s.capacity - std::min(s.capacity, s.queued - s.heard);
      if (room == 0) {
        s.changed.wait(lock);
        continue;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(room, frames));
      s.pieces.back().insert(s.pieces.back().end(), samples, samples + n * s.channels);
      samples += n * s.channels;
      frames -= n;
      s.queued += n;
      if (s.hearsAtOnce) s.heard = s.queued;
      s.changed.notify_all();
    }
    return true;
  }

  uint64_t PlayedFrames() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->heard;
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->resets;
    if (state_->pieces.empty() || !state_->pieces.back().empty()) state_->pieces.emplace_back();
    state_->queued = state_->heard = 0;
    state_->changed.notify_all();
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->closes;
    state_->open = false;
    state_->changed.notify_all();
  }

 private:
  std::shared_ptr<FakeOutState> state_;
};
