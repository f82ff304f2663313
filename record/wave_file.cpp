#include "record/wave_file.h"

#include <algorithm>
#include <cstring>

namespace {
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool WriteHeaderPieces(File& file, const std::array<uint8_t, kWaveHeaderBytes>& header) {
  return file.Write(header.data(), 12) && file.Write(header.data() + 12, 24) && file.Write(header.data() + 36, 8);
}
}  // namespace

std::array<uint8_t, kWaveHeaderBytes> BuildWaveHeader(uint16_t channels, uint32_t riffSize, uint32_t dataSize) {
  std::array<uint8_t, kWaveHeaderBytes> h{};
  uint16_t blockAlign = static_cast<uint16_t>(channels * (kBitsPerSample / 8));
  std::memcpy(&h[0], "RIFF", 4);
  Put32(&h[4], riffSize);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  Put32(&h[16], 16);
  Put16(&h[20], 1);
  Put16(&h[22], channels);
  Put32(&h[24], kSampleRate);
  Put32(&h[28], kSampleRate * blockAlign);
  Put16(&h[32], blockAlign);
  Put16(&h[34], kBitsPerSample);
  std::memcpy(&h[36], "data", 4);
  Put32(&h[40], dataSize);
  return h;
}

uint16_t ReadWaveHeaderChannels(File& file) {
  uint8_t h[kWaveHeaderBytes];
  size_t got = 0;
  if (!file.Seek(0) || !file.Read(h, sizeof h, got) || got != sizeof h || std::memcmp(h, "RIFF", 4) != 0 ||
      std::memcmp(h + 8, "WAVEfmt ", 8) != 0 || std::memcmp(h + 36, "data", 4) != 0)
    return 0;
  const uint16_t channels = static_cast<uint16_t>(h[22] | (h[23] << 8));
  return channels == 1 || channels == 2 ? channels : 0;
}

bool WriteEmptyWaveHeader(File& file, uint16_t channels) {
  return WriteHeaderPieces(file, BuildWaveHeader(channels, 0, 0));
}

bool FinishWaveHeader(File& file, uint16_t channels) {
  uint64_t size = 0;
  if (!file.Size(size) || size < kWaveHeaderBytes) return false;
  auto cap = [](uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
  return file.Seek(0) && WriteHeaderPieces(file, BuildWaveHeader(channels, cap(size - 8), cap(size - kWaveHeaderBytes)));
}
