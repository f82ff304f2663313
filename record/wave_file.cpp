#include "record/wave_file.h"

#include <algorithm>

#include "formats/wave.h"

namespace {
bool WriteHeaderPieces(File& file, const std::array<uint8_t, kWaveHeaderBytes>& header) {
  return file.Write(header.data(), 12) && file.Write(header.data() + 12, 24) && file.Write(header.data() + 36, 8);
}
}  // namespace

std::array<uint8_t, kWaveHeaderBytes> BuildWaveHeader(uint16_t channels, uint32_t riffSize, uint32_t dataSize) {
  return CanonicalWaveHeader(channels, kSampleRate, riffSize, dataSize);
}

uint16_t ReadWaveHeaderChannels(File& file) {
  std::array<uint8_t, kWaveHeaderBytes> header;
  size_t got = 0;
  if (!file.Seek(0) || !file.Read(header.data(), header.size(), got) || got != header.size()) return 0;
  return CanonicalWaveChannels(header);
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
