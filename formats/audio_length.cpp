#include "formats/audio_length.h"

#include <cstdint>

#include "formats/audio_format.h"
#include "formats/flac.h"
#include "formats/input_file.h"
#include "formats/mp3.h"
#include "formats/ogg.h"
#include "formats/wave.h"
#include "formats/wma.h"

std::optional<int64_t> AudioFileDurationMs(const std::wstring& path, uint8_t format) {
  InputFile in;
  if (!in.Open(path)) return std::nullopt;
  switch (format) {
    case kFormatWav: return WaveDurationMs(in);
    case kFormatFlac: return FlacDurationMs(in);
    case kFormatOgg:
    case kFormatOpus: return OggDurationMs(in);
    case kFormatMp3: return Mp3DurationMs(in);
    case kFormatWma: return WmaDurationMs(in);
    default: return std::nullopt;
  }
}

std::optional<int64_t> DurationMs(uint64_t frames, uint32_t rate) {
  if (rate == 0) return std::nullopt;
  // A length no file can have (a header's garbage): none rather than an
  // overflow. Whole seconds and the rest apart, so that no product overflows.
  if (frames / rate > static_cast<uint64_t>(INT64_MAX) / 1000 - 1) return std::nullopt;
  return static_cast<int64_t>(frames / rate * 1000 + frames % rate * 1000 / rate);
}
