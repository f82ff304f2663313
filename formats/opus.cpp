// The checker reads the Ogg pages with libogg, decodes every packet with
// libopus and takes the length from the last page's position less the
// pre-skip the header records: a file counts only when it holds together to
// its end. The player is lenient where the checker is strict: it passes over
// lost pages, takes its length from the last intact page with a position, and
// after a Seek reads the pages from the start without decoding and decodes
// from 80 ms before the target, which the decoder needs to settle.
#include "formats/opus.h"

#include <ogg/ogg.h>
#include <opus/opus.h>
#include <opus/opusenc.h>

#include <cstring>
#include <limits>
#include <vector>

#include "formats/audio_encoder.h"
#include "formats/block_source.h"
#include "formats/input_file.h"
#include "formats/ogg.h"
#include "platform/file.h"

namespace {

// The longest packet: 120 ms at 48 kHz.
constexpr int kMaxPacketFrames = 5760;
constexpr uint64_t kPreRoll = 3840;

// --- Encoding ------------------------------------------------------------------

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

// --- Reading the packets ------------------------------------------------------

// The packets of the first logical stream of an Ogg file, in order, read with
// libogg. What breaks the stream (bytes skipped to find the next page, a lost
// page, a page of another stream or one after the last) is passed over and
// counted: the player plays on, the checker refuses the file.
class OggPackets {
 public:
  explicit OggPackets(InputFile& file) : file_(file) { ogg_sync_init(&sync_); }
  ~OggPackets() {
    if (streamReady_) ogg_stream_clear(&stream_);
    ogg_sync_clear(&sync_);
  }
  OggPackets(const OggPackets&) = delete;
  OggPackets& operator=(const OggPackets&) = delete;

  // From the file's start again.
  bool Restart() {
    if (!file_.Seek(0)) return false;
    ogg_sync_reset(&sync_);
    if (streamReady_) ogg_stream_clear(&stream_);
    streamReady_ = ended_ = readFailed_ = false;
    count_ = breaks_ = 0;
    return true;
  }

  // The next packet; false at the end of the file or when it cannot be read.
  bool Next(ogg_packet& packet) {
    for (;;) {
      if (streamReady_) {
        const int out = ogg_stream_packetout(&stream_, &packet);
        if (out > 0) {
          ++count_;
          return true;
        }
        if (out < 0) {  // a lost page
          ++breaks_;
          continue;
        }
      }
      ogg_page page;
      const int result = ogg_sync_pageout(&sync_, &page);
      if (result < 0) {  // bytes skipped to the next page
        ++breaks_;
        continue;
      }
      if (result == 0) {
        char* buffer = ogg_sync_buffer(&sync_, kReadBytes);
        size_t got = 0;
        if (!buffer || !file_.Read(buffer, kReadBytes, got)) {
          readFailed_ = true;
          return false;
        }
        if (got == 0) return false;
        ogg_sync_wrote(&sync_, static_cast<long>(got));
        continue;
      }
      if (!streamReady_) {
        ogg_stream_init(&stream_, ogg_page_serialno(&page));
        streamReady_ = true;
      }
      if (ended_ || ogg_stream_pagein(&stream_, &page) != 0) ++breaks_;
      if (ogg_page_eos(&page)) ended_ = true;
    }
  }

  uint64_t count() const { return count_; }  // packets taken since the start
  uint64_t breaks() const { return breaks_; }
  bool ended() const { return ended_; }  // the stream's last page was read
  bool readFailed() const { return readFailed_; }
  uint32_t serial() const { return static_cast<uint32_t>(stream_.serialno); }

 private:
  static constexpr long kReadBytes = 65536;

  InputFile& file_;
  ogg_sync_state sync_{};
  ogg_stream_state stream_{};
  bool streamReady_ = false, ended_ = false, readFailed_ = false;
  uint64_t count_ = 0, breaks_ = 0;
};

// --- Checking --------------------------------------------------------------------

// What an Ogg Opus file's packets tell as they are decoded.
class OpusCheck {
 public:
  ~OpusCheck() {
    if (decoder_) opus_decoder_destroy(decoder_);
  }

  // Takes the next packet of the stream; false when it breaks the format.
  bool Take(const ogg_packet& packet) {
    const unsigned char* data = packet.packet;
    const long bytes = packet.bytes;
    if (packets_++ == 0) {
      OpusHead head;
      if (!ReadOpusHead(data, static_cast<size_t>(bytes), head)) return false;
      preSkip_ = head.preSkip;
      if (head.channels < 1 || head.channels > 2) return false;
      int error = OPUS_OK;
      decoder_ = opus_decoder_create(kOpusRate, head.channels, &error);
      pcm_.resize(static_cast<size_t>(kMaxPacketFrames) * head.channels);
      return decoder_ && error == OPUS_OK;
    }
    if (packets_ == 2) return bytes >= 8 && std::memcmp(data, "OpusTags", 8) == 0;
    const int n = opus_decode(decoder_, data, static_cast<opus_int32>(bytes), pcm_.data(), kMaxPacketFrames, 0);
    if (n < 0) return false;
    decoded_ += static_cast<uint64_t>(n);
    if (packet.granulepos >= 0) lastGranule_ = static_cast<uint64_t>(packet.granulepos);
    return true;
  }

  // The stream's frames at 48 kHz, or nothing when it does not hold together:
  // the last position must lie within the last packet's samples.
  std::optional<uint64_t> Frames() const {
    if (packets_ < 3 || lastGranule_ < preSkip_ || lastGranule_ > decoded_ ||
        decoded_ - lastGranule_ >= static_cast<uint64_t>(kMaxPacketFrames))
      return std::nullopt;
    return lastGranule_ - preSkip_;
  }

 private:
  OpusDecoder* decoder_ = nullptr;
  uint32_t preSkip_ = 0;
  uint64_t packets_ = 0, decoded_ = 0, lastGranule_ = 0;
  std::vector<opus_int16> pcm_;
};

// --- Playing ---------------------------------------------------------------------

class OpusSource : public BlockSource {
 public:
  ~OpusSource() override {
    if (decoder_) opus_decoder_destroy(decoder_);
  }

  bool Open(const std::wstring& path) {
    if (!file_.Open(path)) return false;
    // The header packet, from the first page.
    ogg_packet packet;
    OpusHead head;
    if (!packets_.Next(packet) || !ReadOpusHead(packet.packet, static_cast<size_t>(packet.bytes), head)) return false;
    channels_ = head.channels;
    preSkip_ = head.preSkip;
    // Mapping family 0: one or two channels, no mapping table.
    if (head.mappingFamily != 0 || channels_ < 1 || channels_ > 2) return false;
    int error = OPUS_OK;
    decoder_ = opus_decoder_create(kOpusRate, channels_, &error);
    if (!decoder_ || error != OPUS_OK || opus_decoder_ctl(decoder_, OPUS_SET_GAIN(head.gain)) != OPUS_OK) return false;
    rate_ = kOpusRate;
    const std::optional<uint64_t> last = LastOggGranule(file_, packets_.serial(), std::numeric_limits<uint64_t>::max());
    if (!last) return false;
    frames_ = *last > preSkip_ ? *last - preSkip_ : 0;
    pcm_.resize(static_cast<size_t>(kMaxPacketFrames) * channels_);
    return Seek(0);
  }

 protected:
  bool Restart(uint64_t frame) override {
    if (!packets_.Restart()) return false;
    streamAt_ = 0;
    const uint64_t target = frame + preSkip_;
    decodeFrom_ = target > kPreRoll ? target - kPreRoll : 0;
    settled_ = false;
    return true;
  }

  bool DecodeBlock(std::vector<int16_t>& block, int64_t& at) override {
    ogg_packet packet;
    while (packets_.Next(packet)) {
      // The header and the comments.
      if (packets_.count() <= 2) continue;
      const int n = opus_packet_get_nb_samples(packet.packet, static_cast<opus_int32>(packet.bytes), kOpusRate);
      if (n < 0) return false;
      const uint64_t start = streamAt_;
      streamAt_ += static_cast<uint64_t>(n);
      // Packets wholly before the decoding point are counted, not decoded.
      if (streamAt_ <= decodeFrom_) continue;
      if (!settled_) {
        opus_decoder_ctl(decoder_, OPUS_RESET_STATE);
        settled_ = true;
      }
      const int got =
          opus_decode(decoder_, packet.packet, static_cast<opus_int32>(packet.bytes), pcm_.data(), kMaxPacketFrames, 0);
      if (got < 0) return false;
      block.assign(pcm_.begin(), pcm_.begin() + static_cast<ptrdiff_t>(got) * channels_);
      at = static_cast<int64_t>(start) - static_cast<int64_t>(preSkip_);
      return true;
    }
    return false;
  }

 private:
  InputFile file_;
  OggPackets packets_{file_};
  OpusDecoder* decoder_ = nullptr;
  uint32_t preSkip_ = 0;
  uint64_t streamAt_ = 0;
  uint64_t decodeFrom_ = 0;
  bool settled_ = false;
  std::vector<opus_int16> pcm_;
};

}  // namespace

bool ReadOpusHead(const uint8_t* packet, size_t bytes, OpusHead& head) {
  if (bytes < 19 || std::memcmp(packet, "OpusHead", 8) != 0) return false;
  head.channels = packet[9];
  head.preSkip = static_cast<uint16_t>(packet[10] | (packet[11] << 8));
  head.gain = static_cast<int16_t>(packet[16] | (packet[17] << 8));
  head.mappingFamily = packet[18];
  return true;
}

std::unique_ptr<AudioEncoder> MakeOpusEncoder(File& file, uint16_t channels, uint32_t rate) {
  auto encoder = std::make_unique<OggOpusWriter>(file);
  if (!encoder->Begin(channels, rate)) return nullptr;
  return encoder;
}

std::optional<uint64_t> DecodeOpus(const std::wstring& path, uint32_t rate) {
  InputFile input;
  if (!input.OpenExclusive(path)) return std::nullopt;
  OggPackets packets(input);
  OpusCheck check;
  ogg_packet packet;
  bool failed = false;
  while (!failed && packets.Next(packet)) failed = packets.breaks() > 0 || !check.Take(packet);
  // Whole: read to the end without a break, and the stream ended there.
  std::optional<uint64_t> frames = check.Frames();
  if (failed || packets.breaks() > 0 || packets.readFailed() || !packets.ended() || input.position() != input.size() ||
      !frames)
    return std::nullopt;
  return *frames * rate / kOpusRate;
}

std::unique_ptr<PlaybackSource> OpenOpusSource(const std::wstring& path) {
  auto source = std::make_unique<OpusSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}
