// Opus in Ogg (.opus) read with libogg and decoded with libopus at 48 kHz, the
// rate every Opus stream decodes to. The pre-skip of the header is dropped at
// the start; the length is the last page's granule position less the
// pre-skip, so the padding of the last packet is dropped at the end. A Seek
// reads the pages from the start without decoding and decodes from 80 ms
// before the target, which the decoder needs to settle.
#include <ogg/ogg.h>
#include <opus/opus.h>

#include <algorithm>
#include <cstring>

#include "playback/source_formats.h"

namespace {

constexpr uint32_t kOpusRate = 48000;
constexpr uint64_t kPreRoll = 3840;
constexpr int kMaxPacketFrames = 5760;

int64_t Le64(const unsigned char* p) {
  uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = (v << 8) | p[k];
  return static_cast<int64_t>(v);
}

class OpusSource : public BlockSource {
 public:
  ~OpusSource() override {
    if (decoder_) opus_decoder_destroy(decoder_);
    if (streamReady_) ogg_stream_clear(&stream_);
    ogg_sync_clear(&sync_);
  }

  bool Open(const std::wstring& path) {
    ogg_sync_init(&sync_);
    if (!file_.Open(path)) return false;
    // The header packet, from the first page.
    ogg_packet packet;
    if (!NextPacket(packet) || packet.bytes < 19 || std::memcmp(packet.packet, "OpusHead", 8) != 0) return false;
    const unsigned char* head = packet.packet;
    channels_ = head[9];
    preSkip_ = static_cast<uint32_t>(head[10] | (head[11] << 8));
    const int16_t gain = static_cast<int16_t>(head[16] | (head[17] << 8));
    // Mapping family 0: one or two channels, no mapping table.
    if (head[18] != 0 || channels_ < 1 || channels_ > 2) return false;
    int error = OPUS_OK;
    decoder_ = opus_decoder_create(kOpusRate, channels_, &error);
    if (!decoder_ || error != OPUS_OK || opus_decoder_ctl(decoder_, OPUS_SET_GAIN(gain)) != OPUS_OK) return false;
    rate_ = kOpusRate;
    const int64_t last = LastGranule();
    if (last < 0) return false;
    frames_ = static_cast<uint64_t>(last) > preSkip_ ? static_cast<uint64_t>(last) - preSkip_ : 0;
    pcm_.resize(static_cast<size_t>(kMaxPacketFrames) * channels_);
    return Seek(0);
  }

 protected:
  bool Restart(uint64_t frame) override {
    if (!file_.Seek(0)) return false;
    ogg_sync_reset(&sync_);
    if (streamReady_) ogg_stream_clear(&stream_);
    streamReady_ = false;
    packets_ = 0;
    streamAt_ = 0;
    const uint64_t target = frame + preSkip_;
    decodeFrom_ = target > kPreRoll ? target - kPreRoll : 0;
    settled_ = false;
    return true;
  }

  bool DecodeBlock(std::vector<int16_t>& block, int64_t& at) override {
    ogg_packet packet;
    while (NextPacket(packet)) {
      // The header and the comments.
      if (packets_ <= 2) continue;
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
  // The next packet of the stream (the first logical stream of the file);
  // false at the end of the file or when the pages break off.
  bool NextPacket(ogg_packet& packet) {
    for (;;) {
      if (streamReady_) {
        const int out = ogg_stream_packetout(&stream_, &packet);
        if (out > 0) {
          ++packets_;
          return true;
        }
        // A gap in the packets (a lost page): go on with the next one.
        if (out < 0) continue;
      }
      ogg_page page;
      const int result = ogg_sync_pageout(&sync_, &page);
      if (result < 0) continue;  // bytes skipped to the next page
      if (result == 0) {
        char* buffer = ogg_sync_buffer(&sync_, 16384);
        size_t got = 0;
        if (!buffer || !file_.Read(buffer, 16384, got) || got == 0) return false;
        ogg_sync_wrote(&sync_, static_cast<long>(got));
        continue;
      }
      if (!streamReady_) {
        ogg_stream_init(&stream_, ogg_page_serialno(&page));
        streamReady_ = true;
      }
      ogg_stream_pagein(&stream_, &page);
    }
  }

  // The granule position of the last page of the file that records one;
  // -1 when no page is found.
  int64_t LastGranule() {
    const uint64_t size = file_.size();
    for (uint64_t tail = 65536;; tail *= 4) {
      const uint64_t from = size > tail ? size - tail : 0;
      std::vector<unsigned char> bytes(static_cast<size_t>(size - from));
      if (!file_.ReadAt(from, bytes.data(), bytes.size())) return -1;
      for (size_t k = bytes.size() >= 27 ? bytes.size() - 27 + 1 : 0; k-- > 0;) {
        if (std::memcmp(&bytes[k], "OggS", 4) != 0 || bytes[k + 4] != 0) continue;
        const int64_t granule = Le64(&bytes[k + 6]);
        if (granule >= 0) return granule;
      }
      if (from == 0) return -1;
    }
  }

  SourceFile file_;
  ogg_sync_state sync_{};
  ogg_stream_state stream_{};
  bool streamReady_ = false;
  OpusDecoder* decoder_ = nullptr;
  uint32_t preSkip_ = 0;
  uint64_t packets_ = 0;
  uint64_t streamAt_ = 0;
  uint64_t decodeFrom_ = 0;
  bool settled_ = false;
  std::vector<opus_int16> pcm_;
};

}  // namespace

std::unique_ptr<PlaybackSource> OpenOpusSource(const std::wstring& path) {
  auto source = std::make_unique<OpusSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}
