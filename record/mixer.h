// The in/out mixer: the two stream files of a recording become one WAV file,
// either one mixed channel (CombinInOutWave) or the far end on the left and the
// microphone on the right (CombinInOutWaveWithStereo).
//
// The files are streamed in chunks of 4 MiB per input, so memory stays the same
// whatever the length of the call. The shorter input is padded with silence.
// The output is written with ordinary writes and flushed to the disk once, when
// it is complete: until then the stream files hold the recording. The message
// boxes of a failure do not hold the finishing: they wait for the user on a
// thread of their own.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kMixChunkBytes = 4194304;

// A recording's mixers: the stream files of `basePath` become the output named
// after the base path and the partner list. After a good mix the stream files
// are deleted and the output goes to the encoders; after a failed one the
// stream files stay, no output is left behind and no encoder runs. 1 on
// success, 0 on failure. With `deferred`, the encoders are not run: the
// output's name is stored there for the caller to hand to them later.
int CombinInOutWave(const std::wstring& basePath, const std::wstring& partnerList,
                    std::wstring* deferred = nullptr);
int CombinInOutWaveWithStereo(const std::wstring& basePath, const std::wstring& partnerList,
                              std::wstring* deferred = nullptr);

// The mix itself: reads basePath + "_Out.sky" and basePath + "_In.sky" and
// writes `outputName`, flushed to the disk. Shows "err 2" when the output
// cannot be created, "write file fail!" when a write or the flush fails and
// "allocate memory failed!" when a buffer cannot be had. On any failure the
// output file is removed.
bool MixStreamFiles(const std::wstring& basePath, const std::wstring& outputName, bool stereo);

// For a disk too full for a mixed copy: the two stream files of `basePath` are
// mixed into one channel inside the longer of them, which then moves to the
// output name (the other is deleted). Needs no room on the disk. 1 on success;
// on failure the files stay. With `deferred` as above.
int MixStreamFilesInPlace(const std::wstring& basePath, const std::wstring& partnerList,
                          std::wstring* deferred = nullptr);
