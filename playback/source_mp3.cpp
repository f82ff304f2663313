// MP3 (MPEG Layer III) decoded with LAME's decoder (hip). Opening walks the
// frame headers without decoding: that gives the length and where every
// frame starts. The encoder's delay and padding come from the LAME tag in
// the first frame; without one (LAME leaves it out when a frame is too small
// to hold it) the start is LAME's usual delay of 576, and the end keeps its
// padding of less than a frame. As LAME's own decoding front end counts, the
// decoder adds 528 + 1 frames of delay at the start and takes as many from
// the padding. The decoder takes one frame at a time, so each frame's samples
// have a known place; a Seek starts decoding a few frames before the target,
// so that the bit reservoir (up to 511 bytes of earlier frames) and the
// synthesis filter are filled again.
#include <lame/lame.h>

#include <algorithm>
#include <cstring>

#include "playback/source_formats.h"

namespace {

constexpr uint64_t kDecoderDelay = 528 + 1;
constexpr uint64_t kLameDefaultDelay = 576;
constexpr size_t kMaxFrameBytes = 2881;

struct FrameHeader {
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint32_t samples = 0;  // per channel
  uint32_t bytes = 0;
  bool mpeg1 = false;
};

bool ParseHeader(const unsigned char* h, FrameHeader& header) {
  static const uint16_t kBitrates[2][15] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                            {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
  static const uint32_t kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const int version = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3;
  const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
  // Layer III only, no free format.
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  header.mpeg1 = version == 3;
  header.rate = kRates[version][rateIndex];
  header.channels = (h[3] >> 6) == 3 ? 1 : 2;
  header.samples = header.mpeg1 ? 1152 : 576;
  const uint32_t bitrate = kBitrates[header.mpeg1 ? 1 : 0][bitrateIndex] * 1000u;
  header.bytes = (header.mpeg1 ? 144 : 72) * bitrate / header.rate + static_cast<uint32_t>(padding);
  return true;
}

uint32_t Be32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

class Mp3Source : public BlockSource {
 public:
  ~Mp3Source() override {
    if (hip_) hip_decode_exit(hip_);
  }

  bool Open(const std::wstring& path) {
    if (!file_.Open(path) || !WalkFrames()) return false;
    const uint64_t total = static_cast<uint64_t>(offsets_.size() - firstAudio_) * samplesPerFrame_;
    const uint64_t trimEnd = hasDelays_ ? (padding_ > kDecoderDelay ? padding_ - kDecoderDelay : 0) : 0;
    start_ = (hasDelays_ ? delay_ : kLameDefaultDelay) + kDecoderDelay;
    frames_ = total > start_ + trimEnd ? total - start_ - trimEnd : 0;
    left_.resize(samplesPerFrame_);
    right_.resize(samplesPerFrame_);
    return Seek(0);
  }

 protected:
  bool Restart(uint64_t frame) override {
    if (hip_) hip_decode_exit(hip_);
    hip_ = hip_decode_init();
    if (!hip_) return false;
    hip_set_errorf(hip_, nullptr);
    hip_set_debugf(hip_, nullptr);
    hip_set_msgf(hip_, nullptr);
    const size_t target = static_cast<size_t>((frame + start_) / samplesPerFrame_) + firstAudio_;
    // Back far enough for the reservoir, and two frames more for the filter.
    size_t from = std::min(target, offsets_.size());
    while (from > firstAudio_ && (target - from < 2 || offsets_[target > 0 ? target - 1 : 0] - offsets_[from] < 512))
      --from;
    next_ = from;
    // The decoder must see a frame header before the first audio frame:
    // starting at the tag frame itself lets it take the tag as it would.
    if (next_ == firstAudio_ && firstAudio_ > 0) next_ = 0;
    return true;
  }

  bool DecodeBlock(std::vector<int16_t>& block, int64_t& at) override {
    while (next_ < offsets_.size()) {
      const size_t index = next_++;
      const uint64_t offset = offsets_[index];
      const uint64_t end = index + 1 < offsets_.size() ? offsets_[index + 1] : walkedEnd_;
      const size_t bytes = static_cast<size_t>(end - offset);
      if (!file_.ReadAt(offset, frame_, bytes)) return false;
      mp3data_struct header{};
      int delay = -1, padding = -1;
      // The decoder holds the first frame until it has seen the next one,
      // then gives both: what it holds is drained after each frame.
      size_t n = 0;
      block.clear();
      auto take = [&](int got) {
        const size_t count = std::min<size_t>(static_cast<size_t>(got), left_.size());
        block.resize((n + count) * channels_);
        for (size_t k = 0; k < count; ++k) {
          block[(n + k) * channels_] = left_[k];
          if (channels_ == 2) block[(n + k) * 2 + 1] = right_[k];
        }
        n += count;
      };
      int got = hip_decode1_headersB(hip_, frame_, bytes, left_.data(), right_.data(), &header, &delay, &padding);
      if (got > 0) take(got);
      if (got >= 0)
        while ((got = hip_decode1_headersB(hip_, frame_, 0, left_.data(), right_.data(), &header, &delay, &padding)) > 0)
          take(got);
      // A damaged frame, the tag frame, or one whose reservoir lies before
      // the decoding point, gives nothing.
      if (index < firstAudio_ || n == 0) continue;
      // A frame's samples end where the frame does.
      at = static_cast<int64_t>((index - firstAudio_ + 1) * samplesPerFrame_) - static_cast<int64_t>(n) -
           static_cast<int64_t>(start_);
      return true;
    }
    return false;
  }

 private:
  // Finds every frame from the start (after an ID3v2 tag) to the first
  // bytes that are no frame, and the LAME tag.
  bool WalkFrames() {
    uint64_t at = 0;
    unsigned char id3[10];
    if (file_.ReadAt(0, id3, sizeof id3) && std::memcmp(id3, "ID3", 3) == 0)
      at = 10 + ((id3[6] & 0x7F) << 21 | (id3[7] & 0x7F) << 14 | (id3[8] & 0x7F) << 7 | (id3[9] & 0x7F)) +
           ((id3[5] & 0x10) ? 10 : 0);
    FrameHeader first;
    while (at + 4 <= file_.size()) {
      unsigned char h[4];
      FrameHeader header;
      if (!file_.ReadAt(at, h, 4) || !ParseHeader(h, header)) break;
      if (at + header.bytes > file_.size()) break;  // cut off
      if (offsets_.empty())
        first = header;
      else if (header.rate != first.rate || header.channels != first.channels)
        break;
      offsets_.push_back(at);
      at += header.bytes;
    }
    walkedEnd_ = at;
    if (offsets_.empty()) return false;
    channels_ = first.channels;
    rate_ = first.rate;
    samplesPerFrame_ = first.samples;
    ReadTag(first);
    return true;
  }

  // A Xing or Info frame comes first and holds no sound; LAME's extension
  // of it records the encoder's delay and padding.
  void ReadTag(const FrameHeader& first) {
    const size_t sideInfo = first.mpeg1 ? (first.channels == 1 ? 17 : 32) : (first.channels == 1 ? 9 : 17);
    const size_t bytes = std::min<size_t>(first.bytes, sizeof frame_);
    if (!file_.ReadAt(offsets_[0], frame_, bytes) || bytes < 4 + sideInfo + 8) return;
    const unsigned char* tag = frame_ + 4 + sideInfo;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0) return;
    firstAudio_ = 1;
    const uint32_t flags = Be32(tag + 4);
    size_t lame = 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    if (4 + sideInfo + lame + 24 > bytes) return;
    const unsigned char* extension = tag + lame;
    delay_ = (static_cast<uint64_t>(extension[21]) << 4) | (extension[22] >> 4);
    padding_ = (static_cast<uint64_t>(extension[22] & 0x0F) << 8) | extension[23];
    hasDelays_ = true;
  }

  SourceFile file_;
  std::vector<uint64_t> offsets_;
  uint64_t walkedEnd_ = 0;
  size_t firstAudio_ = 0;
  uint32_t samplesPerFrame_ = 0;
  bool hasDelays_ = false;
  uint64_t delay_ = 0, padding_ = 0, start_ = 0;
  hip_t hip_ = nullptr;
  size_t next_ = 0;
  unsigned char frame_[kMaxFrameBytes];
  std::vector<short> left_, right_;
};

}  // namespace

std::unique_ptr<PlaybackSource> OpenMp3Source(const std::wstring& path) {
  auto source = std::make_unique<Mp3Source>();
  if (!source->Open(path)) return nullptr;
  return source;
}
