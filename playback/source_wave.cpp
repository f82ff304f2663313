// RIFF WAV with 16-bit PCM samples, as the recorder writes them (the
// canonical 44-byte header) or as other programs do (more chunks, the
// extensible format). A data size of 0, or one beyond the end of the file, is
// what a writer leaves that never finished its header: the file then plays
// what it holds.
#include <algorithm>
#include <cstring>

#include "playback/source_formats.h"

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

class WaveSource : public PlaybackSource {
 public:
  bool Open(const std::wstring& path) {
    if (!file_.Open(path)) return false;
    uint8_t riff[12];
    if (!file_.ReadAt(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
      return false;
    bool haveFormat = false;
    uint64_t at = 12;
    while (at + 8 <= file_.size()) {
      uint8_t chunk[8];
      if (!file_.ReadAt(at, chunk, sizeof chunk)) return false;
      const uint32_t size = Le32(chunk + 4);
      if (std::memcmp(chunk, "fmt ", 4) == 0) {
        uint8_t format[40] = {};
        if (size < 16 || !file_.ReadAt(at + 8, format, std::min<uint32_t>(size, sizeof format))) return false;
        uint16_t tag = Le16(format);
        // The extensible format names its sample format by a GUID whose
        // first two bytes are the plain format tag.
        if (tag == kFormatExtensible && size >= 40) tag = Le16(format + 24);
        channels_ = Le16(format + 2);
        rate_ = Le32(format + 4);
        const uint16_t blockAlign = Le16(format + 12), bits = Le16(format + 14);
        if (tag != kFormatPcm || bits != 16 || channels_ == 0 || blockAlign != channels_ * 2) return false;
        haveFormat = true;
      } else if (std::memcmp(chunk, "data", 4) == 0) {
        if (!haveFormat) return false;
        dataAt_ = at + 8;
        const uint64_t held = file_.size() - dataAt_;
        const uint64_t bytes = size == 0 || size > held ? held : size;
        frames_ = bytes / (2u * channels_);
        return true;
      }
      // Chunks are padded to an even size.
      at += 8 + static_cast<uint64_t>(size) + (size & 1);
    }
    return false;
  }

  size_t Read(int16_t* samples, size_t frames) override {
    frames = static_cast<size_t>(std::min<uint64_t>(frames, frames_ - position_));
    if (frames == 0) return 0;
    const size_t bytes = frames * channels_ * 2;
    bytes_.resize(bytes);
    size_t got = 0;
    if (!file_.Seek(dataAt_ + position_ * channels_ * 2) || !file_.Read(bytes_.data(), bytes, got)) return 0;
    const size_t n = got / (2u * channels_);
    for (size_t k = 0; k < n * channels_; ++k) samples[k] = static_cast<int16_t>(Le16(bytes_.data() + 2 * k));
    position_ += n;
    return n;
  }

  bool Seek(uint64_t frame) override {
    if (frame > frames_) return false;
    position_ = frame;
    return true;
  }

 private:
  SourceFile file_;
  uint64_t dataAt_ = 0;
  uint64_t position_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<PlaybackSource> OpenWaveSource(const std::wstring& path) {
  auto source = std::make_unique<WaveSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}
