// What the decoders of playback_source.cpp share: the input file with its
// position and size for the libraries' callbacks, a base for decoders that
// deliver the stream in blocks, and each format's opener.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "playback/playback_source.h"

// A file opened for a decoder, with its size and the position kept, for the
// libraries' tell and seek callbacks.
class SourceFile {
 public:
  bool Open(const std::wstring& path) { return file_.OpenForReading(path) && file_.Size(size_); }
  bool Read(void* data, size_t n, size_t& got) {
    got = 0;
    bool ok = file_.Read(data, n, got);
    position_ += got;
    return ok;
  }
  // Reads exactly n bytes at `offset`.
  bool ReadAt(uint64_t offset, void* data, size_t n) {
    size_t got = 0;
    return Seek(offset) && Read(data, n, got) && got == n;
  }
  bool Seek(uint64_t offset) {
    if (!file_.Seek(offset)) return false;
    position_ = offset;
    return true;
  }
  uint64_t size() const { return size_; }
  uint64_t position() const { return position_; }

 private:
  File file_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

// A source whose codec decodes forward in blocks (MP3 frames, Opus packets),
// each block placed at its frame in the playback: blocks before the start
// (the encoder's delay) or before a Seek's target are dropped in part or in
// whole, and nothing past frames() is delivered.
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

std::unique_ptr<PlaybackSource> OpenWaveSource(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenFlacSource(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenVorbisSource(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenOpusSource(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenMp3Source(const std::wstring& path);
