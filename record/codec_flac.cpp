// FLAC at compression level 8, as flac -8. The stream information at the
// file's start (length and MD5 of the samples) is completed once the stream
// ends. The checker decodes every frame and compares the MD5 of what it
// decoded with the one the file records.
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <vector>

#include "platform/debug_trace.h"
#include "record/codec_io.h"

namespace {

FLAC__StreamEncoderWriteStatus WriteOutput(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                           uint32_t, uint32_t, void* target) {
  return static_cast<TrackedFile*>(target)->Write(buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                                 : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}
FLAC__StreamEncoderSeekStatus SeekOutput(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* target) {
  return static_cast<TrackedFile*>(target)->Seek(offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                         : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}
FLAC__StreamEncoderTellStatus TellOutput(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* target) {
  *offset = static_cast<TrackedFile*>(target)->position();
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
  TrackedFile output_;
  uint16_t channels_;
  FLAC__StreamEncoder* encoder_ = nullptr;
  std::vector<FLAC__int32> wide_;
};

struct DecodeState {
  TrackedFile input;
  uint64_t size = 0;
  uint64_t frames = 0;
  bool error = false;
};

FLAC__StreamDecoderReadStatus ReadInput(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* s) {
  DecodeState& state = *static_cast<DecodeState*>(s);
  size_t got = 0;
  if (!state.input.Read(buffer, *bytes, got)) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
  *bytes = got;
  return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}
FLAC__StreamDecoderSeekStatus SeekInput(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* s) {
  return static_cast<DecodeState*>(s)->input.Seek(offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                                                           : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
}
FLAC__StreamDecoderTellStatus TellInput(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* s) {
  *offset = static_cast<DecodeState*>(s)->input.position();
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}
FLAC__StreamDecoderLengthStatus LengthOfInput(const FLAC__StreamDecoder*, FLAC__uint64* length, void* s) {
  *length = static_cast<DecodeState*>(s)->size;
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}
FLAC__bool InputEnded(const FLAC__StreamDecoder*, void* s) {
  DecodeState& state = *static_cast<DecodeState*>(s);
  return state.input.position() >= state.size;
}
FLAC__StreamDecoderWriteStatus TakeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                         const FLAC__int32* const[], void* s) {
  static_cast<DecodeState*>(s)->frames += frame->header.blocksize;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}
void DecodeError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* s) {
  static_cast<DecodeState*>(s)->error = true;
}

}  // namespace

std::unique_ptr<AudioEncoder> MakeFlacEncoder(File& file, uint16_t channels, uint32_t rate) {
  auto encoder = std::make_unique<FlacEncoder>(file, channels);
  if (!encoder->Begin(rate)) return nullptr;
  return encoder;
}

std::optional<uint64_t> DecodeFlac(const std::wstring& path) {
  DecoderInput input;
  if (!input.Open(path)) return std::nullopt;
  DecodeState state{TrackedFile(input.file), input.size};
  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  if (!decoder) return std::nullopt;
  FLAC__stream_decoder_set_md5_checking(decoder, true);
  bool ok = FLAC__stream_decoder_init_stream(decoder, ReadInput, SeekInput, TellInput, LengthOfInput, InputEnded,
                                             TakeFrame, nullptr, DecodeError,
                                             &state) == FLAC__STREAM_DECODER_INIT_STATUS_OK &&
            FLAC__stream_decoder_process_until_end_of_stream(decoder) != 0;
  uint64_t declared = ok ? FLAC__stream_decoder_get_total_samples(decoder) : 0;
  // Finishing compares the MD5 of the decoded samples with the recorded one.
  ok = FLAC__stream_decoder_finish(decoder) != 0 && ok;
  FLAC__stream_decoder_delete(decoder);
  if (!ok || state.error || declared != state.frames) return std::nullopt;
  return state.frames;
}
