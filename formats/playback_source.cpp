#include "formats/playback_source.h"

#include "formats/audio_format.h"
#include "formats/flac.h"
#include "formats/mp3.h"
#include "formats/opus.h"
#include "formats/vorbis.h"
#include "formats/wave.h"

std::unique_ptr<PlaybackSource> OpenPlaybackSource(const std::wstring& path) {
  std::unique_ptr<PlaybackSource> source;
  switch (FormatOfFileName(path)) {
    case kFormatWav: source = OpenWaveSource(path); break;
    case kFormatFlac: source = OpenFlacSource(path); break;
    case kFormatOgg: source = OpenVorbisSource(path); break;
    case kFormatOpus: source = OpenOpusSource(path); break;
    case kFormatMp3: source = OpenMp3Source(path); break;
    default: break;
  }
  // What the sound output and the player take: one or two channels.
  if (source && (source->channels() < 1 || source->channels() > 2 || source->rate() == 0)) source.reset();
  return source;
}

uint8_t PlayableFormats() { return kFormatMp3 | kFormatOgg | kFormatFlac | kFormatWav | kFormatOpus; }
