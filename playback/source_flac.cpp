// FLAC through libFLAC's stream decoder, reading through the File seam. The
// length is the one the stream information records; Seek is libFLAC's own,
// exact to the frame, through its seek table or by bisection.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>

#include "playback/source_formats.h"

namespace {

class FlacSource : public PlaybackSource {
 public:
  ~FlacSource() override {
    if (decoder_) FLAC__stream_decoder_delete(decoder_);
  }

  bool Open(const std::wstring& path) {
    if (!file_.Open(path)) return false;
    decoder_ = FLAC__stream_decoder_new();
    if (!decoder_) return false;
    if (FLAC__stream_decoder_init_stream(decoder_, ReadInput, SeekInput, TellInput, LengthOfInput, InputEnded,
                                         TakeFrame, TakeMetadata, DecodeError,
                                         this) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
      return false;
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
  static FLAC__StreamDecoderReadStatus ReadInput(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                 void* s) {
    size_t got = 0;
    if (!static_cast<FlacSource*>(s)->file_.Read(buffer, *bytes, got)) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    *bytes = got;
    return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }
  static FLAC__StreamDecoderSeekStatus SeekInput(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* s) {
    return static_cast<FlacSource*>(s)->file_.Seek(offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                                                           : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
  }
  static FLAC__StreamDecoderTellStatus TellInput(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* s) {
    *offset = static_cast<FlacSource*>(s)->file_.position();
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }
  static FLAC__StreamDecoderLengthStatus LengthOfInput(const FLAC__StreamDecoder*, FLAC__uint64* length, void* s) {
    *length = static_cast<FlacSource*>(s)->file_.size();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
  }
  static FLAC__bool InputEnded(const FLAC__StreamDecoder*, void* s) {
    const SourceFile& file = static_cast<FlacSource*>(s)->file_;
    return file.position() >= file.size();
  }
  static void TakeMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* s) {
    FlacSource& self = *static_cast<FlacSource*>(s);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
    self.channels_ = static_cast<uint16_t>(info.channels);
    self.rate_ = info.sample_rate;
    self.bits_ = info.bits_per_sample;
    self.frames_ = info.total_samples;
    self.haveInfo_ = true;
  }
  // Frames of another layout than the stream information's (a damaged
  // stream) are dropped.
  static FLAC__StreamDecoderWriteStatus TakeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                  const FLAC__int32* const channels[], void* s) {
    FlacSource& self = *static_cast<FlacSource*>(s);
    const FLAC__FrameHeader& header = frame->header;
    if (header.channels != self.channels_ || header.bits_per_sample != self.bits_)
      return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    const size_t start = self.pending_.size();
    self.pending_.resize(start + static_cast<size_t>(header.blocksize) * self.channels_);
    int16_t* out = self.pending_.data() + start;
    for (uint32_t k = 0; k < header.blocksize; ++k)
      for (uint16_t c = 0; c < self.channels_; ++c) {
        FLAC__int32 v = channels[c][k];
        v = self.bits_ >= 16 ? v >> (self.bits_ - 16) : v * (1 << (16 - self.bits_));
        *out++ = static_cast<int16_t>(v);
      }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }
  static void DecodeError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {
    // libFLAC finds the next frame by itself; what was lost is not played.
  }

  SourceFile file_;
  FLAC__StreamDecoder* decoder_ = nullptr;
  uint32_t bits_ = 0;
  bool haveInfo_ = false;
  uint64_t position_ = 0;
  std::vector<int16_t> pending_;
  size_t used_ = 0;
};

}  // namespace

std::unique_ptr<PlaybackSource> OpenFlacSource(const std::wstring& path) {
  auto source = std::make_unique<FlacSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}
