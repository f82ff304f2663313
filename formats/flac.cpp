// The stream information at the file's start (length and MD5 of the samples)
// is completed once the encoder's stream ends. The checker decodes every
// frame and compares the MD5 of what it decoded with the one the file
// records. The player takes the length the stream information records and
// seeks with libFLAC's own seek, exact to the frame, through its seek table
// or by bisection.
#include "formats/flac.h"

#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/audio_encoder.h"
#include "formats/audio_length.h"
#include "formats/byte_order.h"
#include "formats/input_file.h"
#include "formats/mp3.h"
#include "formats/playback_source.h"
#include "platform/file.h"

namespace {

// --- Encoding ------------------------------------------------------------------

// The encoder's output, with its position kept for libFLAC's tell callback.
class TrackedOutput {
 public:
  explicit TrackedOutput(File& file) : file_(file) {}
  bool Write(const void* data, size_t n) {
    if (!file_.Write(data, n)) return false;
    position_ += n;
    return true;
  }
  bool Seek(uint64_t offset) {
    if (!file_.Seek(offset)) return false;
    position_ = offset;
    return true;
  }
  uint64_t position() const { return position_; }

 private:
  File& file_;
  uint64_t position_ = 0;
};

FLAC__StreamEncoderWriteStatus WriteOutput(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                           uint32_t, uint32_t, void* target) {
  return static_cast<TrackedOutput*>(target)->Write(buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                                   : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}
FLAC__StreamEncoderSeekStatus SeekOutput(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* target) {
  return static_cast<TrackedOutput*>(target)->Seek(offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                           : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}
FLAC__StreamEncoderTellStatus TellOutput(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* target) {
  *offset = static_cast<TrackedOutput*>(target)->position();
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

class FlacEncoder : public AudioEncoder {
 public:
  FlacEncoder(File& file, uint16_t channels) : output_(file), channels_(channels) {}
  ~FlacEncoder() override {
    if (encoder_) FLAC__stream_encoder_delete(encoder_);
  }

  bool Begin(uint32_t rate) {
    encoder_ = FLAC__stream_encoder_new();
    if (!encoder_) return false;
    FLAC__stream_encoder_set_channels(encoder_, channels_);
    FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
    FLAC__stream_encoder_set_sample_rate(encoder_, rate);
    FLAC__stream_encoder_set_compression_level(encoder_, 8);
    FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
        encoder_, WriteOutput, SeekOutput, TellOutput, nullptr, &output_);
    return status == FLAC__STREAM_ENCODER_INIT_STATUS_OK;
  }

  bool Encode(const int16_t* samples, size_t frames) override {
    wide_.resize(frames * channels_);
    for (size_t k = 0; k < wide_.size(); ++k) wide_[k] = samples[k];
    return FLAC__stream_encoder_process_interleaved(encoder_, wide_.data(), static_cast<uint32_t>(frames)) != 0;
  }

  bool Finish() override {
    // Also rewrites the stream information at the start, through the seek.
    return FLAC__stream_encoder_finish(encoder_) != 0;
  }

 private:
  TrackedOutput output_;
  uint16_t channels_;
  FLAC__StreamEncoder* encoder_ = nullptr;
  std::vector<FLAC__int32> wide_;
};

// --- Decoding --------------------------------------------------------------------

// libFLAC's stream decoder reading an InputFile, for the checker and the
// player: what the decoder finds goes to the Take... hooks.
class FlacReading {
 public:
  FlacReading(const FlacReading&) = delete;
  FlacReading& operator=(const FlacReading&) = delete;
  virtual ~FlacReading() {
    if (decoder_) FLAC__stream_decoder_delete(decoder_);
  }

 protected:
  FlacReading() = default;

  // Starts decoding file_ (opened); with `checkMd5` the decoder's finish
  // compares the MD5 of the decoded samples with the recorded one.
  bool Begin(bool checkMd5) {
    decoder_ = FLAC__stream_decoder_new();
    if (!decoder_) return false;
    if (checkMd5) FLAC__stream_decoder_set_md5_checking(decoder_, true);
    return FLAC__stream_decoder_init_stream(decoder_, ReadInput, SeekInput, TellInput, LengthOfInput, InputEnded,
                                            WriteFrame, Metadata, Error, this) == FLAC__STREAM_DECODER_INIT_STATUS_OK;
  }

  virtual void TakeStreamInfo(const FLAC__StreamMetadata_StreamInfo& info) {}
  virtual void TakeFrame(const FLAC__Frame& frame, const FLAC__int32* const channels[]) = 0;
  virtual void TakeError() {}

  InputFile file_;
  FLAC__StreamDecoder* decoder_ = nullptr;

 private:
  static FlacReading& Of(void* s) { return *static_cast<FlacReading*>(s); }

  static FLAC__StreamDecoderReadStatus ReadInput(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                 void* s) {
    size_t got = 0;
    if (!Of(s).file_.Read(buffer, *bytes, got)) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    *bytes = got;
    return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }
  static FLAC__StreamDecoderSeekStatus SeekInput(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* s) {
    return Of(s).file_.Seek(offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
  }
  static FLAC__StreamDecoderTellStatus TellInput(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* s) {
    *offset = Of(s).file_.position();
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }
  static FLAC__StreamDecoderLengthStatus LengthOfInput(const FLAC__StreamDecoder*, FLAC__uint64* length, void* s) {
    *length = Of(s).file_.size();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
  }
  static FLAC__bool InputEnded(const FLAC__StreamDecoder*, void* s) { return Of(s).file_.AtEnd(); }
  static FLAC__StreamDecoderWriteStatus WriteFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                   const FLAC__int32* const channels[], void* s) {
    Of(s).TakeFrame(*frame, channels);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* s) {
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) Of(s).TakeStreamInfo(metadata->data.stream_info);
  }
  static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* s) { Of(s).TakeError(); }
};

// Counts the frames of every block and notes any error the decoder reports.
class FlacCheck : public FlacReading {
 public:
  std::optional<uint64_t> Run(const std::wstring& path) {
    if (!file_.OpenExclusive(path) || !Begin(true)) return std::nullopt;
    bool ok = FLAC__stream_decoder_process_until_end_of_stream(decoder_) != 0;
    const uint64_t declared = ok ? FLAC__stream_decoder_get_total_samples(decoder_) : 0;
    // Finishing compares the MD5 of the decoded samples with the recorded one.
    ok = FLAC__stream_decoder_finish(decoder_) != 0 && ok;
    if (!ok || error_ || declared != frames_) return std::nullopt;
    return frames_;
  }

 private:
  void TakeFrame(const FLAC__Frame& frame, const FLAC__int32* const[]) override { frames_ += frame.header.blocksize; }
  void TakeError() override { error_ = true; }

  uint64_t frames_ = 0;
  bool error_ = false;
};

class FlacSource : public PlaybackSource, private FlacReading {
 public:
  bool Open(const std::wstring& path) {
    if (!file_.Open(path) || !Begin(false)) return false;
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder_) || !haveInfo_) return false;
    return channels_ >= 1 && bits_ >= 4 && bits_ <= 32;
  }

  size_t Read(int16_t* samples, size_t frames) override {
    size_t done = 0;
    frames = static_cast<size_t>(std::min<uint64_t>(frames, frames_ - std::min(frames_, position_)));
    while (done < frames) {
      if (used_ < pending_.size()) {
        size_t n = std::min((pending_.size() - used_) / channels_, frames - done);
        std::memcpy(samples + done * channels_, pending_.data() + used_, n * channels_ * sizeof(int16_t));
        used_ += n * channels_;
        done += n;
        continue;
      }
      pending_.clear();
      used_ = 0;
      FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder_);
      if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state >= FLAC__STREAM_DECODER_OGG_ERROR ||
          !FLAC__stream_decoder_process_single(decoder_))
        break;
      // A call that decoded nothing at the end of the input ends the read.
      if (pending_.empty() && FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_END_OF_STREAM) break;
    }
    position_ += done;
    return done;
  }

  bool Seek(uint64_t frame) override {
    if (frame > frames_) return false;
    pending_.clear();
    used_ = 0;
    position_ = frame;
    // The end has no sample to seek to: reads there give nothing.
    if (frame == frames_) return true;
    if (FLAC__stream_decoder_seek_absolute(decoder_, frame)) return true;
    // A failed seek leaves the decoder in its seek error state until flushed.
    if (FLAC__stream_decoder_get_state(decoder_) == FLAC__STREAM_DECODER_SEEK_ERROR)
      FLAC__stream_decoder_flush(decoder_);
    pending_.clear();
    return false;
  }

 private:
  void TakeStreamInfo(const FLAC__StreamMetadata_StreamInfo& info) override {
    channels_ = static_cast<uint16_t>(info.channels);
    rate_ = info.sample_rate;
    bits_ = info.bits_per_sample;
    frames_ = info.total_samples;
    haveInfo_ = true;
  }
  // Frames of another layout than the stream information's (a damaged
  // stream) are dropped.
  void TakeFrame(const FLAC__Frame& frame, const FLAC__int32* const channels[]) override {
    const FLAC__FrameHeader& header = frame.header;
    if (header.channels != channels_ || header.bits_per_sample != bits_) return;
    const size_t start = pending_.size();
    pending_.resize(start + static_cast<size_t>(header.blocksize) * channels_);
    int16_t* out = pending_.data() + start;
    for (uint32_t k = 0; k < header.blocksize; ++k)
      for (uint16_t c = 0; c < channels_; ++c) {
        FLAC__int32 v = channels[c][k];
        v = bits_ >= 16 ? v >> (bits_ - 16) : v * (1 << (16 - bits_));
        *out++ = static_cast<int16_t>(v);
      }
  }
  // libFLAC finds the next frame by itself after an error; what was lost is
  // not played.

  uint32_t bits_ = 0;
  bool haveInfo_ = false;
  uint64_t position_ = 0;
  std::vector<int16_t> pending_;
  size_t used_ = 0;
};

}  // namespace

std::unique_ptr<AudioEncoder> MakeFlacEncoder(File& file, uint16_t channels, uint32_t rate) {
  auto encoder = std::make_unique<FlacEncoder>(file, channels);
  if (!encoder->Begin(rate)) return nullptr;
  return encoder;
}

std::optional<uint64_t> DecodeFlac(const std::wstring& path) { return FlacCheck().Run(path); }

std::unique_ptr<PlaybackSource> OpenFlacSource(const std::wstring& path) {
  auto source = std::make_unique<FlacSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}

std::optional<int64_t> FlacDurationMs(InputFile& in) {
  const uint64_t start = Id3v2TagBytes(in);
  uint8_t head[42];
  if (!in.ReadAt(start, head, 42) || std::memcmp(head, "fLaC", 4) != 0 || (head[4] & 0x7F) != 0)
    return std::nullopt;
  const uint8_t* info = head + 8;  // STREAMINFO, always the first block
  const uint32_t rate = (info[10] << 12) | (info[11] << 4) | (info[12] >> 4);
  const uint64_t samples = (static_cast<uint64_t>(info[13] & 0x0F) << 32) | Be32(info + 14);
  if (samples == 0) return std::nullopt;  // the encoder did not know it
  return DurationMs(samples, rate);
}
