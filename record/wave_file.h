// The WAV files of the recording pipeline, the stream files and the mixed file:
// the canonical 44-byte PCM header (formats/wave.h) over 16-bit samples at
// 16000 per second, one or two channels, little-endian. The header is written
// in three pieces: the 12-byte RIFF header, the 24-byte format chunk and the
// 8-byte data chunk header.
#pragma once

#include <array>
#include <cstdint>

#include "formats/wave.h"
#include "platform/file.h"

constexpr uint32_t kSampleRate = 16000;
constexpr uint64_t kWaveHeaderBytes = kCanonicalWaveHeaderBytes;
constexpr uint32_t kMonoBytesPerSecond = 32000;

std::array<uint8_t, kWaveHeaderBytes> BuildWaveHeader(uint16_t channels, uint32_t riffSize, uint32_t dataSize);

// Writes the header at the current position, both sizes 0.
bool WriteEmptyWaveHeader(File& file, uint16_t channels);

// Reads the header at the file's start and returns its channel count (1 or
// 2); 0 when the file is shorter than a header or the header is not one of
// these. The file is left just after the header.
uint16_t ReadWaveHeaderChannels(File& file);

// Takes the file's size S and writes the header again at offset 0 with the
// RIFF size S - 8 and the data size S - 44 (capped at 4 GiB - 1). Whether the
// file is then flushed to the disk is the caller's choice.
bool FinishWaveHeader(File& file, uint16_t channels);
