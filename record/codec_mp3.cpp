// MP3 through LAME, with what its command line does for -h: quality 2, its
// default bitrate for the input's rate and channels, and the LAME tag (the
// encoder's delay and padding) in the first frame, written once the stream
// is complete. The checker decodes with LAME's own decoder.
#include <lame/lame.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/debug_trace.h"
#include "record/codec_io.h"

namespace {

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
  DecoderInput input;
  if (!input.Open(path)) return std::nullopt;
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
    if (!drain() || !input.file.Read(piece, sizeof piece, got)) {
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
  if (failed || !any || read != input.size) return std::nullopt;
  // The LAME tag gives the encoder's delay and padding; the decoder's own
  // delay (528 + 1) is part of both, as LAME's decoding front end counts.
  // Without the tag (LAME leaves it out when a frame is too small to hold
  // it, as at 16 kHz in one channel) the start is LAME's usual delay of 576
  // plus the decoder's 529, and the padding is less than a frame.
  uint64_t trim = delay >= 0 && padding >= 0 ? static_cast<uint64_t>(delay) + static_cast<uint64_t>(padding) : 576 + 529;
  return total > trim ? total - trim : 0;
}
