// The in/out mixer: the two stream files of a recording become one WAV file,
// either one mixed channel (MixStreamsToMono) or the far end on the left and the
// microphone on the right (MixStreamsToStereo).
//
// The files are streamed in chunks of 4 MiB per input, so memory stays the same
// whatever the length of the call. The shorter input is padded with silence.
// The output is written with ordinary writes and flushed to the disk once, when
// it is complete: until then the stream files hold the recording.
//
// The mixers feed the built-in encoders as they mix (record/builtin_encoders.h):
// each chunk mixed goes to the WAV file and to the encoders, so the stream
// files are read once. The external encoders run on the finished WAV file
// afterwards (record/encoder_handoff.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "record/builtin_encoders.h"

#include "record/recording_failure.h"

constexpr size_t kMixChunkBytes = 4194304;

// What a mix came to.
enum class MixResult {
  Mixed,
  NotMixed,          // a stream file cannot be opened or read, or the result cannot be put in place
  OutputNotCreated,  // the output file cannot be created
  WriteFailed,       // a write to the output failed (a full disk)
  NoMemory,          // no memory for the mix's buffers
};

struct MixOutcome {
  MixResult result = MixResult::NotMixed;
  std::wstring output;  // the recording made; empty unless mixed
  // What the built-in encoders made of the mix; nothing when none was fed.
  std::optional<std::vector<BuiltInOutput>> encoded;

  bool mixed() const { return result == MixResult::Mixed; }
};

// What the user is told of a mix that failed; nothing for a mix that worked or
// that failed without a word (the stream files stay either way).
std::optional<RecordingFailure> MixFailure(MixResult result);

// A recording's mixers: the stream files of `basePath` become the output named
// after the base path and the partner list, and the built-in encoders make
// `encodeFormats` of it as it is mixed. After a good mix the stream files are
// deleted; after a failed one they stay and no output is left behind.
MixOutcome MixStreamsToMono(const std::wstring& basePath, const std::wstring& partnerList, uint8_t encodeFormats = 0);
MixOutcome MixStreamsToStereo(const std::wstring& basePath, const std::wstring& partnerList,
                                     uint8_t encodeFormats = 0);

// The mix itself: reads basePath + "_Out.sky" and basePath + "_In.sky" and
// writes `outputName`, flushed to the disk, handing each mixed chunk to
// `encoders` too. On any failure the output file is removed and the encoders
// are abandoned.
MixResult MixStreamFiles(const std::wstring& basePath, const std::wstring& outputName, bool stereo,
                         BuiltInEncoders* encoders = nullptr);

// For a disk too full for a mixed copy: the two stream files of `basePath` are
// mixed into one channel inside the longer of them, which then moves to the
// output name (the other is deleted). Needs no room on the disk. On failure
// the files stay.
MixOutcome MixStreamFilesInPlace(const std::wstring& basePath, const std::wstring& partnerList);
