// The length of an audio file read from its headers (and, for Ogg, its last
// pages), without decoding: what the recordings window shows for a recording
// of any length at the cost of a few small reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// WAV, FLAC, Ogg Vorbis, Ogg Opus, MP3, WMA by `format` (a RecordFormat bit;
// .ogg and .opus files are told apart by their first packet). Nothing when
// the file cannot be read or is not of that kind.
std::optional<int64_t> AudioFileDurationMs(const std::wstring& path, uint8_t format);

// `frames` at `rate` in whole milliseconds (rounded down); nothing at rate 0
// or for a length beyond what a millisecond count holds.
std::optional<int64_t> DurationMs(uint64_t frames, uint32_t rate);
