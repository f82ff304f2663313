// MP3 (MPEG audio, Layer III from LAME): the encoder, its checker, the
// player's decoder and the length from the frame headers and the tags.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AudioEncoder;
class File;
class InputFile;
class PlaybackSource;

std::unique_ptr<AudioEncoder> MakeMp3Encoder(File& file, uint16_t channels, uint32_t rate);
std::optional<uint64_t> DecodeMp3(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenMp3Source(const std::wstring& path);
std::optional<int64_t> Mp3DurationMs(InputFile& in);

// The bytes of an ID3v2 tag at the file's start (MP3's tag, which other
// formats sometimes carry too), 0 when there is none.
uint64_t Id3v2TagBytes(InputFile& in);
