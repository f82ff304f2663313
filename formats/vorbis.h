// Ogg Vorbis (.ogg): the encoder (quality 10, the top of the scale, as
// oggenc -q 10 makes it), its checker and the player's decoder, both through
// libvorbisfile.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AudioEncoder;
class File;
class PlaybackSource;

std::unique_ptr<AudioEncoder> MakeVorbisEncoder(File& file, uint16_t channels, uint32_t rate);
std::optional<uint64_t> DecodeVorbis(const std::wstring& path);
std::unique_ptr<PlaybackSource> OpenVorbisSource(const std::wstring& path);
