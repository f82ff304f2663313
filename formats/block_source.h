// The base of the decoders whose codec decodes forward in blocks (MP3 frames,
// Opus packets): each block is placed at its frame in the playback, blocks
// before the start (the encoder's delay) or before a Seek's target are
// dropped in part or in whole, and nothing past frames() is delivered.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/playback_source.h"

class BlockSource : public PlaybackSource {
 public:
  size_t Read(int16_t* samples, size_t frames) override;
  bool Seek(uint64_t frame) override;

 protected:
  // Positions the decoder so that its next blocks lead up to `frame` (from
  // a point before it, as the codec needs to settle).
  virtual bool Restart(uint64_t frame) = 0;
  // Decodes the next block into `block` (interleaved) and says at which
  // playback frame it starts (negative within the encoder's delay). False at
  // the end of the stream or on an error.
  virtual bool DecodeBlock(std::vector<int16_t>& block, int64_t& at) = 0;

 private:
  std::vector<int16_t> block_;
  int64_t blockAt_ = 0;
  uint64_t position_ = 0;
  bool ended_ = false;
};
