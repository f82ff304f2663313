// The Ogg container of Vorbis (.ogg) and Opus (.opus) files: its pages read
// without libogg, for the lengths and the player's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

class InputFile;

// The length of a whole, intact page (its checksum right) at `p`, with `n`
// bytes available there; 0 when there is none.
size_t OggPageLength(const uint8_t* p, size_t n);

// The granule position of the last whole, intact page of the stream `serial`
// that records one, looked for from the end of the file back: first in the
// last 64 KiB, then in four times as much each time, up to `maxTail` bytes.
std::optional<uint64_t> LastOggGranule(InputFile& in, uint32_t serial, uint64_t maxTail);

// The length of a Vorbis or an Opus stream, whichever the first page holds,
// from its last position (Opus: less the pre-skip its header records).
std::optional<int64_t> OggDurationMs(InputFile& in);
