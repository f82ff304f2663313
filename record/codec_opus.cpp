// Opus in an Ogg file (.opus) through libopusenc, tuned for speech: 32 kbit/s
// for one channel, 48 kbit/s for two. The checker reads the Ogg pages with
// libogg, decodes every packet with libopus and takes the length from the
// last page's position less the pre-skip the header records.
#include <ogg/ogg.h>
#include <opus/opus.h>
#include <opus/opusenc.h>

#include <cstring>
#include <vector>

#include "platform/debug_trace.h"
#include "record/codec_io.h"

namespace {

constexpr uint32_t kOpusRate = 48000;

int WriteOutput(void* target, const unsigned char* data, opus_int32 bytes) {
  return static_cast<File*>(target)->Write(data, static_cast<size_t>(bytes)) ? 0 : 1;
}
int CloseOutput(void*) { return 0; }

class OggOpusWriter : public AudioEncoder {
 public:
  explicit OggOpusWriter(File& file) : file_(file) {}
  ~OggOpusWriter() override {
    if (encoder_) ope_encoder_destroy(encoder_);
    if (comments_) ope_comments_destroy(comments_);
  }

  bool Begin(uint16_t channels, uint32_t rate) {
    comments_ = ope_comments_create();
    if (!comments_) return false;
    OpusEncCallbacks callbacks{WriteOutput, CloseOutput};
    int error = OPE_OK;
    encoder_ = ope_encoder_create_callbacks(&callbacks, &file_, comments_, static_cast<opus_int32>(rate), channels,
                                            0, &error);
    if (!encoder_ || error != OPE_OK) return false;
    return ope_encoder_ctl(encoder_, OPUS_SET_BITRATE(channels == 1 ? 32000 : 48000)) == OPE_OK &&
           ope_encoder_ctl(encoder_, OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE)) == OPE_OK;
  }

  bool Encode(const int16_t* samples, size_t frames) override {
    return ope_encoder_write(encoder_, samples, static_cast<int>(frames)) == OPE_OK;
  }

  bool Finish() override { return ope_encoder_drain(encoder_) == OPE_OK; }

 private:
  File& file_;
  OggOpusComments* comments_ = nullptr;
  OggOpusEnc* encoder_ = nullptr;
};

// What an Ogg Opus file's packets tell as they are decoded.
class OpusCheck {
 public:
  ~OpusCheck() {
    if (decoder_) opus_decoder_destroy(decoder_);
  }

  // Takes the next packet of the stream; false when it breaks the format.
  bool Take(const ogg_packet& packet) {
    const unsigned char* data = packet.packet;
    long bytes = packet.bytes;
    if (packets_++ == 0) {
      if (bytes < 19 || std::memcmp(data, "OpusHead", 8) != 0) return false;
      channels_ = data[9];
      preSkip_ = static_cast<uint32_t>(data[10] | (data[11] << 8));
      int error = OPUS_OK;
      if (channels_ < 1 || channels_ > 2) return false;
      decoder_ = opus_decoder_create(kOpusRate, channels_, &error);
      pcm_.resize(5760 * static_cast<size_t>(channels_));
      return decoder_ && error == OPUS_OK;
    }
    if (packets_ == 2) return bytes >= 8 && std::memcmp(data, "OpusTags", 8) == 0;
    int n = opus_decode(decoder_, data, static_cast<opus_int32>(bytes), pcm_.data(), 5760, 0);
    if (n < 0) return false;
    decoded_ += static_cast<uint64_t>(n);
    if (packet.granulepos >= 0) lastGranule_ = static_cast<uint64_t>(packet.granulepos);
    return true;
  }

  // The stream's frames at 48 kHz, or nothing when it does not hold together:
  // the last position must lie within the last packet's samples.
  std::optional<uint64_t> Frames() const {
    if (packets_ < 3 || lastGranule_ < preSkip_ || lastGranule_ > decoded_ || decoded_ - lastGranule_ >= 5760)
      return std::nullopt;
    return lastGranule_ - preSkip_;
  }

 private:
  OpusDecoder* decoder_ = nullptr;
  int channels_ = 0;
  uint32_t preSkip_ = 0;
  uint64_t packets_ = 0, decoded_ = 0, lastGranule_ = 0;
  std::vector<opus_int16> pcm_;
};

}  // namespace

std::unique_ptr<AudioEncoder> MakeOpusEncoder(File& file, uint16_t channels, uint32_t rate) {
  auto encoder = std::make_unique<OggOpusWriter>(file);
  if (!encoder->Begin(channels, rate)) return nullptr;
  return encoder;
}

std::optional<uint64_t> DecodeOpus(const std::wstring& path, uint32_t rate) {
  DecoderInput input;
  if (!input.Open(path)) return std::nullopt;
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_sync_init(&sync);
  bool streamReady = false, failed = false, ended = false;
  OpusCheck check;
  uint64_t read = 0;
  while (!failed) {
    char* buffer = ogg_sync_buffer(&sync, 65536);
    size_t got = 0;
    if (!buffer || !input.file.Read(buffer, 65536, got)) {
      failed = true;
      break;
    }
    if (got == 0) break;
    read += got;
    ogg_sync_wrote(&sync, static_cast<long>(got));
    ogg_page page;
    for (int result; !failed && (result = ogg_sync_pageout(&sync, &page)) != 0;) {
      // A gap in the pages (lost or damaged bytes).
      if (result < 0 || ended) {
        failed = true;
        break;
      }
      if (!streamReady) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        streamReady = true;
      }
      if (ogg_stream_pagein(&stream, &page) != 0) {
        failed = true;
        break;
      }
      ogg_packet packet;
      for (int out; (out = ogg_stream_packetout(&stream, &packet)) != 0;) {
        if (out < 0 || !check.Take(packet)) {
          failed = true;
          break;
        }
      }
      if (ogg_page_eos(&page)) ended = true;
    }
  }
  if (streamReady) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  std::optional<uint64_t> frames = check.Frames();
  if (failed || !ended || read != input.size || !frames) return std::nullopt;
  return *frames * rate / kOpusRate;
}
