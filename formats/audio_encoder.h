// The encoders built into the program: MP3 (LAME), OGG (Vorbis), FLAC and
// Opus, each writing one file through the File seam, so that any name the
// record folder allows (partners' names in any script) can be written. And
// for every one of them a checker that decodes a finished file to the end and
// tells how many sample frames it holds, so that a file is trusted only when
// it decodes whole and as long as the recording it was made from.
//
// Settings: MP3 as LAME's command line does with -h, OGG at quality 10, FLAC
// at level 8, Opus at 32 kbit/s for one channel and 48 kbit/s for two, tuned
// for voice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "formats/audio_format.h"

class File;

class AudioEncoder {
 public:
  virtual ~AudioEncoder() = default;
  // Encodes `frames` frames of interleaved 16-bit samples (one per channel
  // each). False when the codec or a write failed; the file is then unusable.
  virtual bool Encode(const int16_t* samples, size_t frames) = 0;
  // Encodes what the codec still holds and completes the file's headers.
  virtual bool Finish() = 0;
};

// The formats (RecordFormat bits) built in.
uint8_t BuiltInCodecFormats();

// An encoder of `format` writing into `file` (created, empty, at position 0);
// null when the format is not built in or its codec refuses the sample format.
std::unique_ptr<AudioEncoder> MakeAudioEncoder(uint8_t format, File& file, uint16_t channels, uint32_t rate);

// Decodes the whole file and returns the sample frames it holds, at the rate
// it was encoded from (the codec's own delay and padding taken off where the
// file records them); nothing when the file cannot be read or does not decode
// to its end. `rate` is the rate it was encoded from.
std::optional<uint64_t> DecodedFrames(uint8_t format, const std::wstring& path, uint32_t rate);

// A decoded length is the source's, to within one frame of the codec at that
// rate (exactly, for a lossless codec that records the length). An MP3 whose
// frames are too small for LAME's tag does not say how much LAME padded its
// end with: up to two frames more than the source are whole.
bool DecodedLengthMatches(uint8_t format, uint64_t decoded, uint64_t source, uint32_t rate);

// The file decodes to its end, as long as a source of `sourceFrames` (by the
// rule above); what is wrong with it goes to the trace.
bool EncodedFileChecksOut(uint8_t format, const std::wstring& path, uint64_t sourceFrames, uint32_t rate);
