#include "formats/block_source.h"

#include <algorithm>
#include <cstring>

size_t BlockSource::Read(int16_t* samples, size_t frames) {
  size_t done = 0;
  const size_t channels = channels_;
  while (done < frames && position_ < frames_ && !ended_) {
    const int64_t blockFrames = static_cast<int64_t>(block_.size() / channels);
    const int64_t offset = static_cast<int64_t>(position_) - blockAt_;
    if (offset >= 0 && offset < blockFrames) {
      size_t n = std::min<uint64_t>({static_cast<uint64_t>(blockFrames - offset), frames - done, frames_ - position_});
      std::memcpy(samples + done * channels, block_.data() + static_cast<size_t>(offset) * channels,
                  n * channels * sizeof(int16_t));
      done += n;
      position_ += n;
      continue;
    }
    // A block that lies wholly after the position means the stream has a
    // gap there: what is missing plays as silence.
    if (offset < 0) {
      size_t n = std::min<uint64_t>({static_cast<uint64_t>(-offset), frames - done, frames_ - position_});
      std::memset(samples + done * channels, 0, n * channels * sizeof(int16_t));
      done += n;
      position_ += n;
      continue;
    }
    if (!DecodeBlock(block_, blockAt_)) {
      block_.clear();
      ended_ = true;
    }
  }
  return done;
}

bool BlockSource::Seek(uint64_t frame) {
  if (frame > frames_) return false;
  block_.clear();
  blockAt_ = 0;
  position_ = frame;
  ended_ = !Restart(frame);
  return !ended_;
}
