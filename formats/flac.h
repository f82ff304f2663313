// FLAC: the encoder (level 8, as flac -8), its checker, the player's decoder
// and the length from the stream information.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AudioEncoder;
class File;
class InputFile;
class PlaybackSource;

std::unique_ptr<AudioEncoder> MakeFlacEncoder(File& file, uint16_t channels, uint32_t rate);
std::optional<uint64_t> DecodeFlac(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenFlacSource(const std::wstring& path);
std::optional<int64_t> FlacDurationMs(InputFile& in);
