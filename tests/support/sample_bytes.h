// 16-bit samples as the little-endian bytes a WAV file or a port carries them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string SampleBytes(const std::vector<int16_t>& samples) {
  std::string bytes;
  bytes.reserve(samples.size() * 2);
  for (int16_t s : samples) {
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(s) & 0xFF));
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(s) >> 8));
  }
  return bytes;
}
