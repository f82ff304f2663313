// A recording opened for listening: its samples decoded to interleaved 16-bit
// PCM, read forward in pieces and positioned anywhere by frame. The recordings
// window plays the WAV file and whatever the built-in encoders made of it
// (MP3, OGG Vorbis, FLAC, Opus); WMA comes from an external encoder and has no
// decoder here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class PlaybackSource {
 public:
  virtual ~PlaybackSource() = default;

  uint16_t channels() const { return channels_; }
  // Frames per second of what Read delivers (48000 for Opus, whatever it was
  // encoded from).
  uint32_t rate() const { return rate_; }
  // The frames the recording holds: exact for WAV and FLAC, from the stream's
  // own records (positions, frame headers, the encoder's delay and padding)
  // for the others. Read delivers no more than this.
  uint64_t frames() const { return frames_; }

  // Reads up to `frames` frames of interleaved samples (channels() per
  // frame) from the current position; 0 at the end or on an error that
  // leaves nothing more to read.
  virtual size_t Read(int16_t* samples, size_t frames) = 0;
  // Moves the position to `frame` (frames() is the end: the next Read gives
  // 0). False when the frame lies beyond the end or the file cannot be
  // positioned; the position is then undefined until a Seek succeeds.
  virtual bool Seek(uint64_t frame) = 0;

 protected:
  uint16_t channels_ = 0;
  uint32_t rate_ = 0;
  uint64_t frames_ = 0;
};

// Opens the recording by its extension, in any case: .wav (16-bit PCM RIFF),
// .flac, .ogg (Vorbis), .opus, .mp3. Null for any other extension and for a
// file that cannot be opened or whose headers are not understood. Any path
// the File seam opens works (names in any script).
std::unique_ptr<PlaybackSource> OpenPlaybackSource(const std::wstring& path);

// The RecordFormat bits of the formats OpenPlaybackSource plays.
uint8_t PlayableFormats();
