// Any bytes as an audio file in the record folder: the recordings window
// reads every file's length from its headers (WAV, FLAC, Ogg Vorbis and Opus,
// MP3, WMA), and plays a WAV file with the program's own reader. Neither may
// read out of bounds, hang or overflow, whatever the file holds; a WAV file
// the player opens has the length the header reader tells. (The codec
// libraries' own decoders are not driven here.)
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/strings.h"
#include "formats/audio_format.h"
#include "formats/audio_length.h"
#include "formats/playback_source.h"

namespace {

// A folder of its own for the file, removed when the fuzzer exits (its name
// in a plain buffer, which outlives every destructor run at exit).
char folder[] = "/tmp/fuzz_audio_headers.XXXXXX";

// The one file each input is written to: the header readers take the format
// they read by its bit, the player by the extension.
std::string FilePath() { return std::string(folder) + "/file.wav"; }

void RemoveFolder() {
  std::remove(FilePath().c_str());
  rmdir(folder);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!mkdtemp(folder)) abort();
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(FilePath().c_str(), "wb");
  if (!file) abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) abort();
  std::fclose(file);
  const std::wstring path = WideFromUtf8(FilePath());

  for (const AudioFormatName& format : kAudioFormats) {
    const std::optional<int64_t> ms = AudioFileDurationMs(path, format.bit);
    if (ms && *ms < 0) abort();
  }

  std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(path);
  if (!source) return 0;
  // The player's frames and the header reader's length are of one layout.
  if (AudioFileDurationMs(path, kFormatWav) != DurationMs(source->frames(), source->rate())) abort();
  // Read whole (up to a bound), from the middle, and not past the end.
  constexpr size_t kPiece = 4096, kBound = 1 << 16;
  std::vector<int16_t> samples(kPiece * source->channels());
  uint64_t read = 0;
  for (size_t n; read < kBound && (n = source->Read(samples.data(), kPiece)) > 0;) read += n;
  if (read > source->frames() || (source->frames() <= kBound && read != source->frames())) abort();
  const uint64_t half = source->frames() / 2;
  if (!source->Seek(half)) abort();
  if (source->Read(samples.data(), kPiece) != std::min<uint64_t>(kPiece, source->frames() - half)) abort();
  if (source->Seek(source->frames() + 1)) abort();
  return 0;
}
