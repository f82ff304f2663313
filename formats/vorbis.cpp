// The checker decodes every packet to the end and wants as many frames as the
// stream's last position says; the player takes that position for its length
// and seeks with ov_pcm_seek, exact to the sample.
#include "formats/vorbis.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "formats/audio_encoder.h"
#include "formats/input_file.h"
#include "formats/playback_source.h"
#include "platform/debug_trace.h"
#include "platform/file.h"

namespace {

// --- Encoding ------------------------------------------------------------------

class VorbisEncoder : public AudioEncoder {
 public:
  VorbisEncoder(File& file, uint16_t channels) : file_(file), channels_(channels) {}
  ~VorbisEncoder() override {
    if (streamReady_) ogg_stream_clear(&stream_);
    if (blockReady_) vorbis_block_clear(&block_);
    if (dspReady_) vorbis_dsp_clear(&dsp_);
    vorbis_comment_clear(&comment_);
    vorbis_info_clear(&info_);
  }

  bool Begin(uint32_t rate) {
    vorbis_info_init(&info_);
    vorbis_comment_init(&comment_);
    if (vorbis_encode_init_vbr(&info_, channels_, static_cast<long>(rate), 1.0f) != 0) return false;
    vorbis_comment_add_tag(&comment_, "ENCODER", "Calvoro Record");
    if (vorbis_analysis_init(&dsp_, &info_) != 0) return false;
    dspReady_ = true;
    if (vorbis_block_init(&dsp_, &block_) != 0) return false;
    blockReady_ = true;
    std::random_device random;
    if (ogg_stream_init(&stream_, static_cast<int>(random() & 0x7fffffff)) != 0) return false;
    streamReady_ = true;
    ogg_packet id, comments, codebooks;
    if (vorbis_analysis_headerout(&dsp_, &comment_, &id, &comments, &codebooks) != 0) return false;
    ogg_stream_packetin(&stream_, &id);
    ogg_stream_packetin(&stream_, &comments);
    ogg_stream_packetin(&stream_, &codebooks);
    // The headers end on a page of their own, as the format asks.
    ogg_page page;
    while (ogg_stream_flush(&stream_, &page) != 0)
      if (!WritePage(page)) return false;
    return true;
  }

  bool Encode(const int16_t* samples, size_t frames) override {
    if (frames == 0) return true;
    float** buffer = vorbis_analysis_buffer(&dsp_, static_cast<int>(frames));
    for (size_t k = 0; k < frames; ++k)
      for (uint16_t c = 0; c < channels_; ++c) buffer[c][k] = samples[k * channels_ + c] / 32768.0f;
    vorbis_analysis_wrote(&dsp_, static_cast<int>(frames));
    return Drain();
  }

  bool Finish() override {
    vorbis_analysis_wrote(&dsp_, 0);
    return Drain();
  }

 private:
  bool WritePage(const ogg_page& page) {
    return file_.Write(page.header, static_cast<size_t>(page.header_len)) &&
           file_.Write(page.body, static_cast<size_t>(page.body_len));
  }

  bool Drain() {
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
      if (vorbis_analysis(&block_, nullptr) != 0 || vorbis_bitrate_addblock(&block_) != 0) return false;
      while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
        ogg_stream_packetin(&stream_, &packet);
        while (ogg_stream_pageout(&stream_, &page) != 0)
          if (!WritePage(page)) return false;
      }
    }
    return true;
  }

  File& file_;
  uint16_t channels_;
  vorbis_info info_{};
  vorbis_comment comment_{};
  vorbis_dsp_state dsp_{};
  vorbis_block block_{};
  ogg_stream_state stream_{};
  bool dspReady_ = false, blockReady_ = false, streamReady_ = false;
};

// --- Decoding --------------------------------------------------------------------

// libvorbisfile reading an InputFile.
size_t ReadInput(void* data, size_t size, size_t count, void* source) {
  size_t got = 0;
  static_cast<InputFile*>(source)->Read(data, size * count, got);
  return size ? got / size : 0;
}
int SeekInput(void* source, ogg_int64_t offset, int whence) {
  InputFile& file = *static_cast<InputFile*>(source);
  const int64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<int64_t>(file.position())
                                            : static_cast<int64_t>(file.size());
  if (base + offset < 0) return -1;
  return file.Seek(static_cast<uint64_t>(base + offset)) ? 0 : -1;
}
long TellInput(void* source) { return static_cast<long>(static_cast<InputFile*>(source)->position()); }

// Opens `file` (opened) for libvorbisfile; false when it holds no Vorbis stream.
bool OpenVorbisFile(InputFile& file, OggVorbis_File& vorbis) {
  const ov_callbacks callbacks{ReadInput, SeekInput, nullptr, TellInput};
  return ov_open_callbacks(&file, &vorbis, nullptr, 0, callbacks) == 0;
}

class VorbisSource : public PlaybackSource {
 public:
  ~VorbisSource() override {
    if (open_) ov_clear(&vorbis_);
  }

  bool Open(const std::wstring& path) {
    if (!file_.Open(path) || !OpenVorbisFile(file_, vorbis_)) return false;
    open_ = true;
    const vorbis_info* info = ov_info(&vorbis_, -1);
    const ogg_int64_t total = ov_pcm_total(&vorbis_, -1);
    // One logical stream, as the recorder writes it: chained streams may
    // change the layout between links.
    if (!info || total < 0 || ov_streams(&vorbis_) != 1) return false;
    channels_ = static_cast<uint16_t>(info->channels);
    rate_ = static_cast<uint32_t>(info->rate);
    frames_ = static_cast<uint64_t>(total);
    return true;
  }

  size_t Read(int16_t* samples, size_t frames) override {
    const size_t frameBytes = channels_ * sizeof(int16_t);
    char* out = reinterpret_cast<char*>(samples);
    size_t done = 0;
    int holes = 0;
    while (done < frames) {
      const size_t wanted = (frames - done) * frameBytes;
      int section = 0;
      // Little-endian, 16 bits, signed: the machine's own samples on every
      // platform the program runs on.
      long n = ov_read(&vorbis_, out + done * frameBytes, static_cast<int>(std::min<size_t>(wanted, 1 << 20)), 0, 2, 1,
                       &section);
      // A hole in the stream (damaged pages) is passed over; any other
      // error ends the read.
      if (n == OV_HOLE && ++holes < 64) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n) / frameBytes;
    }
    return done;
  }

  bool Seek(uint64_t frame) override {
    if (frame > frames_) return false;
    return ov_pcm_seek(&vorbis_, static_cast<ogg_int64_t>(frame)) == 0;
  }

 private:
  InputFile file_;
  OggVorbis_File vorbis_{};
  bool open_ = false;
};

}  // namespace

std::unique_ptr<AudioEncoder> MakeVorbisEncoder(File& file, uint16_t channels, uint32_t rate) {
  auto encoder = std::make_unique<VorbisEncoder>(file, channels);
  if (!encoder->Begin(rate)) {
    DebugTrace(L"Vorbis refuses %d channels at %u Hz\n", {static_cast<int>(channels), rate});
    return nullptr;
  }
  return encoder;
}

std::optional<uint64_t> DecodeVorbis(const std::wstring& path) {
  InputFile input;
  OggVorbis_File vorbis;
  if (!input.OpenExclusive(path) || !OpenVorbisFile(input, vorbis)) return std::nullopt;
  const ogg_int64_t declared = ov_pcm_total(&vorbis, -1);
  uint64_t total = 0;
  bool failed = false;
  for (;;) {
    float** pcm = nullptr;
    int section = 0;
    const long n = ov_read_float(&vorbis, &pcm, 4096, &section);
    if (n == 0) break;
    // A hole (OV_HOLE) or a bad packet: the file is damaged.
    if (n < 0) {
      failed = true;
      break;
    }
    total += static_cast<uint64_t>(n);
  }
  ov_clear(&vorbis);
  if (failed || declared < 0 || static_cast<uint64_t>(declared) != total) return std::nullopt;
  return total;
}

std::unique_ptr<PlaybackSource> OpenVorbisSource(const std::wstring& path) {
  auto source = std::make_unique<VorbisSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}
