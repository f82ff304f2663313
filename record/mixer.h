// The in/out mixer: the two stream files of a recording become one WAV file,
// either one mixed channel (CombinInOutWave) or the far end on the left and the
// microphone on the right (CombinInOutWaveWithStereo).
//
// The files are streamed in chunks of 4 MiB per input, so memory stays the same
// whatever the length of the call. The shorter input is padded with silence.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kMixChunkBytes = 4194304;

// The session's mixers: the output is named after the session's base path and
// the partners. After a good mix the stream files are deleted and the output
// goes to the encoders; after a failed one the stream files stay, no output is
// left behind and no encoder runs. 1 on success, 0 on failure.
// With `deferred`, the encoders are not run: the output's name is stored there
// for the caller to hand to them later.
int CombinInOutWave(std::wstring* deferred = nullptr);
int CombinInOutWaveWithStereo(std::wstring* deferred = nullptr);

// The mix itself: reads basePath + "_Out.sky" and basePath + "_In.sky" and
// writes `outputName`. Shows "err 2" when the output cannot be created,
// "write file fail!" when a write fails and "allocate memory failed!" when a
// buffer cannot be had. On any failure the output file is removed.
bool MixStreamFiles(const std::wstring& basePath, const std::wstring& outputName, bool stereo);
