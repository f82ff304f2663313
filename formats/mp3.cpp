// The encoder is LAME with what its command line does for -h: quality 2, its
// default bitrate for the input's rate and channels, and the LAME tag (the
// encoder's delay and padding) in the first frame, written once the stream
// is complete. The checker and the player decode with LAME's own decoder
// (hip); the length is read from the frame headers and the tags.
//
// As LAME's own decoding front end counts, the decoder adds 528 + 1 frames of
// delay at the start and takes as many from the padding. Without a LAME tag
// (LAME leaves it out when a frame is too small to hold it, as at 16 kHz in
// one channel) the start is LAME's usual delay of 576, and the padding is less
// than a frame.
#include "formats/mp3.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/audio_encoder.h"
#include "formats/audio_length.h"
#include "formats/block_source.h"
#include "formats/byte_order.h"
#include "formats/input_file.h"
#include "platform/debug_trace.h"
#include "platform/file.h"

namespace {

constexpr uint64_t kDecoderDelay = 528 + 1;
constexpr uint64_t kLameDefaultDelay = 576;
// Room for any frame the player reads (a Layer III frame takes 1441 bytes at
// most).
constexpr size_t kMaxFrameBytes = 2881;

// --- Frame headers and tags -------------------------------------------------------

struct Mp3Frame {
  int version = 0;  // 1, 2 or 25 (MPEG 2.5)
  int layer = 0;
  uint32_t bitrate = 0;  // kbit/s
  uint32_t rate = 0;
  uint32_t padding = 0;
  bool mono = false;
  uint16_t Channels() const { return mono ? 1 : 2; }
  uint32_t SamplesPerFrame() const { return layer == 1 ? 384 : (layer == 3 && version != 1) ? 576 : 1152; }
  uint32_t Length() const {
    if (layer == 1) return (12000 * bitrate / rate + padding) * 4;
    const uint32_t factor = (layer == 3 && version != 1) ? 72000 : 144000;
    return factor * bitrate / rate + padding;
  }
};

// The four bytes of a frame header; false for anything else (a free format
// frame, reserved values).
bool ReadFrameHeader(const uint8_t* p, Mp3Frame& frame) {
  static const uint16_t kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  static const uint32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  frame.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  frame.layer = 4 - layerBits;
  frame.bitrate = kBitrates[frame.version == 1 ? 0 : 1][frame.layer - 1][bitrateIndex];
  frame.rate = kRates[frame.version == 1 ? 0 : frame.version == 2 ? 1 : 2][rateIndex];
  frame.padding = (p[2] >> 1) & 1;
  frame.mono = (p[3] >> 6) == 3;
  return true;
}

// A Xing or Info frame comes first (LAME and most encoders write one) and
// holds no sound; it may count the stream's frames, and LAME's extension of
// it records the encoder's delay and padding.
struct Mp3Tag {
  bool found = false;
  bool counted = false;
  uint32_t frames = 0;
  bool hasGaps = false;  // the extension's place lies within the bytes
  bool byLame = false;   // and it names LAME
  uint32_t delay = 0, padding = 0;
};

// `bytes` bytes from the first frame's header on.
Mp3Tag ReadTag(const uint8_t* frame, size_t bytes, const Mp3Frame& header) {
  Mp3Tag tag;
  const size_t xing = 4 + (header.version == 1 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17));
  if (xing + 8 > bytes || (std::memcmp(frame + xing, "Xing", 4) != 0 && std::memcmp(frame + xing, "Info", 4) != 0))
    return tag;
  tag.found = true;
  const uint32_t flags = Be32(frame + xing + 4);
  if ((flags & 1) && xing + 12 <= bytes) {
    tag.counted = true;
    tag.frames = Be32(frame + xing + 8);
  }
  const size_t lame =
      xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
  if (lame + 24 > bytes) return tag;
  tag.hasGaps = true;
  tag.byLame = std::memcmp(frame + lame, "LAME", 4) == 0;
  const uint8_t* gaps = frame + lame + 21;
  tag.delay = (gaps[0] << 4) | (gaps[1] >> 4);
  tag.padding = ((gaps[1] & 0x0F) << 8) | gaps[2];
  return tag;
}

// --- Encoding ---------------------------------------------------------------------

class Mp3Encoder : public AudioEncoder {
 public:
  Mp3Encoder(File& file, lame_t lame, uint16_t channels) : file_(file), lame_(lame), channels_(channels) {}
  ~Mp3Encoder() override { lame_close(lame_); }

  bool Encode(const int16_t* samples, size_t frames) override {
    // LAME takes at most INT_MAX frames at a time; the callers' blocks are far smaller.
    buffer_.resize(frames + frames / 4 + 7200);
    int n = channels_ == 2 ? lame_encode_buffer_interleaved(lame_, const_cast<int16_t*>(samples),
                                                            static_cast<int>(frames), buffer_.data(),
                                                            static_cast<int>(buffer_.size()))
                           : lame_encode_buffer(lame_, samples, nullptr, static_cast<int>(frames), buffer_.data(),
                                                static_cast<int>(buffer_.size()));
    return n >= 0 && file_.Write(buffer_.data(), static_cast<size_t>(n));
  }

  bool Finish() override {
    buffer_.resize(7200);
    int n = lame_encode_flush(lame_, buffer_.data(), static_cast<int>(buffer_.size()));
    if (n < 0 || !file_.Write(buffer_.data(), static_cast<size_t>(n))) return false;
    // The first frame was written as a placeholder for the tag.
    unsigned char tag[2880];
    size_t tagBytes = lame_get_lametag_frame(lame_, tag, sizeof tag);
    if (tagBytes == 0 || tagBytes > sizeof tag) return true;
    return file_.Seek(0) && file_.Write(tag, tagBytes);
  }

 private:
  File& file_;
  lame_t lame_;
  uint16_t channels_;
  std::vector<unsigned char> buffer_;
};

// LAME prints its complaints to stderr by default; they go to the trace.
void TraceLame(const char* format, va_list args) {
  char text[256];
  vsnprintf(text, sizeof text, format, args);
  DebugTrace(L"LAME: %s", {std::wstring(text, text + strlen(text))});
}

// --- Playing ----------------------------------------------------------------------

// Opening walks the frame headers without decoding: that gives the length and
// where every frame starts. The decoder takes one frame at a time, so each
// frame's samples have a known place; a Seek starts decoding a few frames
// before the target, so that the bit reservoir (up to 511 bytes of earlier
// frames) and the synthesis filter are filled again.
class Mp3Source : public BlockSource {
 public:
  ~Mp3Source() override {
    if (hip_) hip_decode_exit(hip_);
  }

  bool Open(const std::wstring& path) {
    if (!file_.Open(path) || !WalkFrames()) return false;
    const uint64_t total = static_cast<uint64_t>(offsets_.size() - firstAudio_) * samplesPerFrame_;
    const uint64_t trimEnd = hasGaps_ ? (padding_ > kDecoderDelay ? padding_ - kDecoderDelay : 0) : 0;
    start_ = (hasGaps_ ? delay_ : kLameDefaultDelay) + kDecoderDelay;
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
  // Finds every Layer III frame from the start (after an ID3v2 tag) to the
  // first bytes that are no frame, and the tag frame.
  bool WalkFrames() {
    uint64_t at = Id3v2TagBytes(file_);
    Mp3Frame first;
    while (at + 4 <= file_.size()) {
      unsigned char h[4];
      Mp3Frame header;
      if (!file_.ReadAt(at, h, 4) || !ReadFrameHeader(h, header) || header.layer != 3) break;
      if (at + header.Length() > file_.size()) break;  // cut off
      if (offsets_.empty())
        first = header;
      else if (header.rate != first.rate || header.mono != first.mono)
        break;
      offsets_.push_back(at);
      at += header.Length();
    }
    walkedEnd_ = at;
    if (offsets_.empty()) return false;
    channels_ = first.Channels();
    rate_ = first.rate;
    samplesPerFrame_ = first.SamplesPerFrame();
    const size_t bytes = std::min<size_t>(first.Length(), sizeof frame_);
    if (file_.ReadAt(offsets_[0], frame_, bytes)) {
      const Mp3Tag tag = ReadTag(frame_, bytes, first);
      firstAudio_ = tag.found ? 1 : 0;
      if (tag.hasGaps) {
        hasGaps_ = true;
        delay_ = tag.delay;
        padding_ = tag.padding;
      }
    }
    return true;
  }

  InputFile file_;
  std::vector<uint64_t> offsets_;
  uint64_t walkedEnd_ = 0;
  size_t firstAudio_ = 0;
  uint32_t samplesPerFrame_ = 0;
  bool hasGaps_ = false;
  uint64_t delay_ = 0, padding_ = 0, start_ = 0;
  hip_t hip_ = nullptr;
  size_t next_ = 0;
  unsigned char frame_[kMaxFrameBytes];
  std::vector<short> left_, right_;
};

}  // namespace

std::unique_ptr<AudioEncoder> MakeMp3Encoder(File& file, uint16_t channels, uint32_t rate) {
  lame_t lame = lame_init();
  if (!lame) return nullptr;
  lame_set_errorf(lame, TraceLame);
  lame_set_in_samplerate(lame, static_cast<int>(rate));
  lame_set_num_channels(lame, channels);
  lame_set_quality(lame, 2);
  lame_set_write_id3tag_automatic(lame, 0);
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return nullptr;
  }
  return std::make_unique<Mp3Encoder>(file, lame, channels);
}

std::optional<uint64_t> DecodeMp3(const std::wstring& path) {
  InputFile input;
  if (!input.OpenExclusive(path)) return std::nullopt;
  hip_t hip = hip_decode_init();
  if (!hip) return std::nullopt;
  hip_set_errorf(hip, TraceLame);
  // Fed in small pieces, as LAME's own decoding front end does: a call
  // decodes one frame at most, and a call that decodes nothing (a tag frame,
  // or a frame whose bit reservoir lies before the stream) has still taken
  // its frame. What is held is drained before each piece and at the end.
  unsigned char piece[4096];
  // One frame at most per call: 1152 samples per channel.
  short left[1152], right[1152];
  mp3data_struct header{};
  int delay = -1, padding = -1;
  uint64_t total = 0, read = 0;
  bool failed = false;
  auto drain = [&] {
    int n;
    while ((n = hip_decode1_headersB(hip, piece, 0, left, right, &header, &delay, &padding)) > 0)
      total += static_cast<uint64_t>(n);
    return n == 0;
  };
  while (!failed) {
    size_t got = 0;
    if (!drain() || !input.Read(piece, sizeof piece, got)) {
      failed = true;
      break;
    }
    if (got == 0) break;
    read += got;
    int n = hip_decode1_headersB(hip, piece, got, left, right, &header, &delay, &padding);
    if (n < 0)
      failed = true;
    else
      total += static_cast<uint64_t>(n);
  }
  bool any = total > 0;
  hip_decode_exit(hip);
  if (failed || !any || read != input.size()) return std::nullopt;
  // hip reports the LAME tag's delay and padding, each with the decoder's
  // own delay in it.
  uint64_t trim = delay >= 0 && padding >= 0 ? static_cast<uint64_t>(delay) + static_cast<uint64_t>(padding)
                                             : kLameDefaultDelay + kDecoderDelay;
  return total > trim ? total - trim : 0;
}

std::unique_ptr<PlaybackSource> OpenMp3Source(const std::wstring& path) {
  auto source = std::make_unique<Mp3Source>();
  if (!source->Open(path)) return nullptr;
  return source;
}

uint64_t Id3v2TagBytes(InputFile& in) {
  uint8_t head[10];
  if (!in.ReadAt(0, head, 10) || std::memcmp(head, "ID3", 3) != 0) return 0;
  // The size is "syncsafe": seven bits a byte.
  if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return 0;
  const uint64_t size = (head[6] << 21) | (head[7] << 14) | (head[8] << 7) | head[9];
  // A footer of 10 bytes follows when the flags say so.
  return 10 + size + ((head[5] & 0x10) ? 10 : 0);
}

std::optional<int64_t> Mp3DurationMs(InputFile& in) {
  const uint64_t start = Id3v2TagBytes(in);
  std::vector<uint8_t> bytes = in.Bytes(start, 64 * 1024);
  // The first frame header whose successor is a frame header too (a lone
  // 0xFF 0xE? in a tag's leftovers is no frame).
  size_t at = 0;
  Mp3Frame frame;
  bool found = false;
  for (; at + 4 <= bytes.size() && !found; ++at) {
    if (!ReadFrameHeader(bytes.data() + at, frame)) continue;
    const size_t next = at + frame.Length();
    Mp3Frame following;
    if (next + 4 <= bytes.size() && !ReadFrameHeader(bytes.data() + next, following)) continue;
    found = true;
    break;
  }
  if (!found) return std::nullopt;
  const uint8_t* header = bytes.data() + at;
  const size_t left = bytes.size() - at;
  const Mp3Tag tag = ReadTag(header, left, frame);
  if (tag.counted) {
    uint64_t samples = static_cast<uint64_t>(tag.frames) * frame.SamplesPerFrame();
    if (tag.byLame && samples > tag.delay + tag.padding) samples -= tag.delay + tag.padding;
    return DurationMs(samples, frame.rate);
  }
  // Fraunhofer's VBRI header, always 32 bytes after the frame header.
  if (36 + 18 <= left && std::memcmp(header + 36, "VBRI", 4) == 0)
    return DurationMs(static_cast<uint64_t>(Be32(header + 36 + 14)) * frame.SamplesPerFrame(), frame.rate);

  // Constant bit rate: the audio bytes at the first frame's rate, without an
  // ID3v1 tag at the end.
  const uint64_t audioStart = start + at;
  uint64_t audioEnd = in.size();
  uint8_t id3v1[3];
  if (audioEnd >= audioStart + 128 && in.ReadAt(audioEnd - 128, id3v1, 3) && std::memcmp(id3v1, "TAG", 3) == 0)
    audioEnd -= 128;
  return static_cast<int64_t>((audioEnd - audioStart) * 8 / frame.bitrate);
}
