#include "formats/audio_encoder.h"

#include "formats/flac.h"
#include "formats/mp3.h"
#include "formats/opus.h"
#include "formats/vorbis.h"
#include "platform/debug_trace.h"

uint8_t BuiltInCodecFormats() { return kFormatMp3 | kFormatOgg | kFormatFlac | kFormatOpus; }

std::unique_ptr<AudioEncoder> MakeAudioEncoder(uint8_t format, File& file, uint16_t channels, uint32_t rate) {
  if (channels < 1 || channels > 2) return nullptr;
  switch (format) {
    case kFormatMp3:
      return MakeMp3Encoder(file, channels, rate);
    case kFormatOgg:
      return MakeVorbisEncoder(file, channels, rate);
    case kFormatFlac:
      return MakeFlacEncoder(file, channels, rate);
    case kFormatOpus:
      return MakeOpusEncoder(file, channels, rate);
    default:
      return nullptr;
  }
}

std::optional<uint64_t> DecodedFrames(uint8_t format, const std::wstring& path, uint32_t rate) {
  switch (format) {
    case kFormatMp3:
      return DecodeMp3(path);
    case kFormatOgg:
      return DecodeVorbis(path);
    case kFormatFlac:
      return DecodeFlac(path);
    case kFormatOpus:
      return DecodeOpus(path, rate);
    default:
      return std::nullopt;
  }
}

namespace {

uint64_t CodecFrame(uint8_t format, uint32_t rate) {
  switch (format) {
    case kFormatMp3:
      // MPEG-1 frames (32 kHz and up) hold 1152 samples, MPEG-2 and 2.5 576.
      return rate >= 32000 ? 1152 : 576;
    case kFormatOgg:
      // Vorbis's long block.
      return 2048;
    case kFormatOpus:
      // The longest Opus frame, 120 ms.
      return rate * 120 / 1000;
    default:
      return 0;
  }
}

}  // namespace

bool DecodedLengthMatches(uint8_t format, uint64_t decoded, uint64_t source, uint32_t rate) {
  const uint64_t frame = CodecFrame(format, rate);
  const uint64_t over = format == kFormatMp3 ? 2 * frame : frame;
  return decoded + frame >= source && decoded <= source + over;
}

bool EncodedFileChecksOut(uint8_t format, const std::wstring& path, uint64_t sourceFrames, uint32_t rate) {
  std::optional<uint64_t> frames = DecodedFrames(format, path, rate);
  if (!frames) {
    DebugTrace(L"%s does not decode\n", {path});
    return false;
  }
  if (!DecodedLengthMatches(format, *frames, sourceFrames, rate)) {
    DebugTrace(L"%s holds %u sample frames, its source %u\n",
               {path, static_cast<unsigned long long>(*frames), static_cast<unsigned long long>(sourceFrames)});
    return false;
  }
  return true;
}
