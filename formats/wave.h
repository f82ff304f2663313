// RIFF WAV: the canonical 44-byte header the recorder writes (16-bit PCM,
// the 12-byte RIFF header, a 24-byte format chunk and the data chunk's
// 8-byte header), the chunks of any writer's file, its decoder and its length.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class InputFile;
class PlaybackSource;

constexpr uint64_t kCanonicalWaveHeaderBytes = 44;

std::array<uint8_t, kCanonicalWaveHeaderBytes> CanonicalWaveHeader(uint16_t channels, uint32_t rate,
                                                                   uint32_t riffSize, uint32_t dataSize);
// The channel count (1 or 2) of a canonical 16-bit PCM header; 0 for
// anything else (another layout, more channels).
uint16_t CanonicalWaveChannels(const std::array<uint8_t, kCanonicalWaveHeaderBytes>& header);

// What the format chunk of a WAV file says and where its samples are.
struct WaveLayout {
  uint16_t formatTag = 0;     // as the chunk says: 1 PCM, 3 float, 0xFFFE extensible...
  uint16_t sampleFormat = 0;  // the tag, or the extensible format's own (the first two bytes of its GUID)
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bits = 0;
  uint64_t dataAt = 0;
  // The data chunk's size; what the file holds from dataAt on when that size
  // is 0 or beyond the end of the file (a writer that never finished its
  // header leaves it so).
  uint64_t dataBytes = 0;
};
// Walks the chunks to the data chunk, which must follow the format chunk.
bool ReadWaveLayout(InputFile& in, WaveLayout& layout);

std::optional<int64_t> WaveDurationMs(InputFile& in);
// 16-bit PCM only, in any layout of chunks.
std::unique_ptr<PlaybackSource> OpenWaveSource(const std::wstring& path);
