// What the codecs share: a file with its position kept, for the libraries'
// tell and seek callbacks, and each codec's entry points.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/file.h"
#include "record/audio_codec.h"

class TrackedFile {
 public:
  explicit TrackedFile(File& file) : file_(file) {}
  bool Write(const void* data, size_t n) {
    if (!file_.Write(data, n)) return false;
    position_ += n;
    return true;
  }
  bool Read(void* data, size_t n, size_t& got) {
    got = 0;
    bool ok = file_.Read(data, n, got);
    position_ += got;
    return ok;
  }
  bool Seek(uint64_t offset) {
    if (!file_.Seek(offset)) return false;
    position_ = offset;
    return true;
  }
  bool Size(uint64_t& size) { return file_.Size(size); }
  uint64_t position() const { return position_; }

 private:
  File& file_;
  uint64_t position_ = 0;
};

// A file opened for a decoder, with its size.
struct DecoderInput {
  File file;
  uint64_t size = 0;
  bool Open(const std::wstring& path) { return file.OpenExisting(path) && file.Size(size); }
};

std::unique_ptr<AudioEncoder> MakeMp3Encoder(File& file, uint16_t channels, uint32_t rate);
std::unique_ptr<AudioEncoder> MakeVorbisEncoder(File& file, uint16_t channels, uint32_t rate);
std::unique_ptr<AudioEncoder> MakeFlacEncoder(File& file, uint16_t channels, uint32_t rate);
std::unique_ptr<AudioEncoder> MakeOpusEncoder(File& file, uint16_t channels, uint32_t rate);

std::optional<uint64_t> DecodeMp3(const std::wstring& path);
std::optional<uint64_t> DecodeVorbis(const std::wstring& path);
std::optional<uint64_t> DecodeFlac(const std::wstring& path);
std::optional<uint64_t> DecodeOpus(const std::wstring& path, uint32_t rate);
