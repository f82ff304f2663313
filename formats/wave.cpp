#include "formats/wave.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/audio_length.h"
#include "formats/byte_order.h"
#include "formats/input_file.h"
#include "formats/playback_source.h"

namespace {

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatFloat = 3;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

}  // namespace

std::array<uint8_t, kCanonicalWaveHeaderBytes> CanonicalWaveHeader(uint16_t channels, uint32_t rate,
                                                                   uint32_t riffSize, uint32_t dataSize) {
  constexpr uint16_t kBits = 16;
  std::array<uint8_t, kCanonicalWaveHeaderBytes> h{};
  const uint16_t blockAlign = static_cast<uint16_t>(channels * (kBits / 8));
  std::memcpy(&h[0], "RIFF", 4);
  PutLe32(&h[4], riffSize);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  PutLe32(&h[16], 16);
  PutLe16(&h[20], kWaveFormatPcm);
  PutLe16(&h[22], channels);
  PutLe32(&h[24], rate);
  PutLe32(&h[28], rate * blockAlign);
  PutLe16(&h[32], blockAlign);
  PutLe16(&h[34], kBits);
  std::memcpy(&h[36], "data", 4);
  PutLe32(&h[40], dataSize);
  return h;
}

uint16_t CanonicalWaveChannels(const std::array<uint8_t, kCanonicalWaveHeaderBytes>& h) {
  if (std::memcmp(&h[0], "RIFF", 4) != 0 || std::memcmp(&h[8], "WAVEfmt ", 8) != 0 ||
      std::memcmp(&h[36], "data", 4) != 0)
    return 0;
  const uint16_t channels = Le16(&h[22]);
  return channels == 1 || channels == 2 ? channels : 0;
}

bool ReadWaveLayout(InputFile& in, WaveLayout& layout) {
  uint8_t riff[12];
  if (!in.ReadAt(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return false;
  bool haveFormat = false;
  uint64_t at = 12;
  while (at + 8 <= in.size()) {
    uint8_t chunk[8];
    if (!in.ReadAt(at, chunk, sizeof chunk)) return false;
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      uint8_t format[40] = {};
      if (size < 16 || !in.ReadAt(at + 8, format, std::min<uint32_t>(size, sizeof format))) return false;
      layout.formatTag = Le16(format);
      // The extensible format names its sample format by a GUID whose
      // first two bytes are the plain format tag.
      layout.sampleFormat =
          layout.formatTag == kWaveFormatExtensible && size >= 40 ? Le16(format + 24) : layout.formatTag;
      layout.channels = Le16(format + 2);
      layout.rate = Le32(format + 4);
      layout.byteRate = Le32(format + 8);
      layout.blockAlign = Le16(format + 12);
      layout.bits = Le16(format + 14);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return false;
      layout.dataAt = at + 8;
      const uint64_t held = in.size() - layout.dataAt;
      layout.dataBytes = size == 0 || size > held ? held : size;
      return true;
    }
    // Chunks are padded to an even size.
    at += 8 + static_cast<uint64_t>(size) + (size & 1);
  }
  return false;
}

std::optional<int64_t> WaveDurationMs(InputFile& in) {
  WaveLayout layout;
  if (!ReadWaveLayout(in, layout)) return std::nullopt;
  const uint16_t tag = layout.formatTag;
  const bool pcm = tag == kWaveFormatPcm || tag == kWaveFormatFloat || tag == kWaveFormatExtensible;
  if (pcm && layout.blockAlign > 0) return DurationMs(layout.dataBytes / layout.blockAlign, layout.rate);
  return DurationMs(layout.dataBytes, layout.byteRate);
}

namespace {

class WaveSource : public PlaybackSource {
 public:
  bool Open(const std::wstring& path) {
    WaveLayout layout;
    if (!file_.Open(path) || !ReadWaveLayout(file_, layout)) return false;
    if (layout.sampleFormat != kWaveFormatPcm || layout.bits != 16 || layout.channels == 0 ||
        layout.blockAlign != layout.channels * 2)
      return false;
    channels_ = layout.channels;
    rate_ = layout.rate;
    dataAt_ = layout.dataAt;
    frames_ = layout.dataBytes / (2u * channels_);
    return true;
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
  InputFile file_;
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
