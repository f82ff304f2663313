// Opus in an Ogg file (.opus): the encoder (libopusenc, tuned for speech: 32
// kbit/s for one channel, 48 kbit/s for two), its checker, the player's
// decoder, and the header they and the length reader share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AudioEncoder;
class File;
class PlaybackSource;

// The rate every Opus stream decodes to and counts its positions in.
constexpr uint32_t kOpusRate = 48000;

// The identification header, the stream's first packet.
struct OpusHead {
  uint8_t channels = 0;
  uint16_t preSkip = 0;  // frames at 48 kHz the decoder's output starts with, not the source's
  int16_t gain = 0;      // in 1/256 dB
  uint8_t mappingFamily = 0;
};
// False when the packet is no Opus header.
bool ReadOpusHead(const uint8_t* packet, size_t bytes, OpusHead& head);

std::unique_ptr<AudioEncoder> MakeOpusEncoder(File& file, uint16_t channels, uint32_t rate);
// The frames at `rate`, the rate the file was encoded from.
std::optional<uint64_t> DecodeOpus(const std::wstring& path, uint32_t rate);
std::unique_ptr<PlaybackSource> OpenOpusSource(const std::wstring& path);
