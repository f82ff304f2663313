#include "formats/ogg.h"

#include <array>
#include <cstring>
#include <vector>

#include "formats/audio_length.h"
#include "formats/byte_order.h"
#include "formats/input_file.h"
#include "formats/opus.h"

namespace {

constexpr size_t kPageHeaderBytes = 27;
constexpr uint64_t kFirstTail = 64 * 1024;

uint32_t OggCrc(const uint8_t* data, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      t[i] = r;
    }
    return t;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    // The checksum field counts as zeros.
    const uint8_t byte = (i >= 22 && i < 26) ? 0 : data[i];
    crc = (crc << 8) ^ table[((crc >> 24) & 0xFF) ^ byte];
  }
  return crc;
}

uint32_t PageSerial(const uint8_t* page) { return Le32(page + 14); }
uint64_t PageGranule(const uint8_t* page) { return Le64(page + 6); }

}  // namespace

size_t OggPageLength(const uint8_t* p, size_t n) {
  if (n < kPageHeaderBytes || std::memcmp(p, "OggS", 4) != 0 || p[4] != 0) return 0;
  const size_t segments = p[26];
  if (n < kPageHeaderBytes + segments) return 0;
  size_t length = kPageHeaderBytes + segments;
  for (size_t i = 0; i < segments; ++i) length += p[kPageHeaderBytes + i];
  if (length > n || OggCrc(p, length) != Le32(p + 22)) return 0;
  return length;
}

std::optional<uint64_t> LastOggGranule(InputFile& in, uint32_t serial, uint64_t maxTail) {
  const uint64_t size = in.size();
  for (uint64_t tail = kFirstTail;; tail *= 4) {
    const uint64_t from = size > tail ? size - tail : 0;
    const std::vector<uint8_t> bytes = in.Bytes(from, static_cast<size_t>(size - from));
    for (size_t at = bytes.size() >= kPageHeaderBytes ? bytes.size() - kPageHeaderBytes + 1 : 0; at-- > 0;) {
      if (bytes[at] != 'O' || OggPageLength(&bytes[at], bytes.size() - at) == 0 || PageSerial(&bytes[at]) != serial)
        continue;
      // All ones: no packet ends on the page. A position past 2^63 is none
      // a stream reaches.
      const uint64_t granule = PageGranule(&bytes[at]);
      if (granule >> 63) continue;
      return granule;
    }
    if (from == 0 || tail >= maxTail) return std::nullopt;
  }
}

std::optional<int64_t> OggDurationMs(InputFile& in) {
  const std::vector<uint8_t> first = in.Bytes(0, 4096);
  const size_t firstLength = OggPageLength(first.data(), first.size());
  if (firstLength == 0) return std::nullopt;
  const uint8_t* packet = first.data() + kPageHeaderBytes + first[26];
  const size_t packetBytes = firstLength - kPageHeaderBytes - first[26];
  uint32_t rate = 0;
  uint64_t preSkip = 0;
  OpusHead head;
  if (packetBytes >= 16 && std::memcmp(packet, "\x01vorbis", 7) == 0) {
    rate = Le32(packet + 12);
  } else if (ReadOpusHead(packet, packetBytes, head)) {
    rate = kOpusRate;  // Opus positions always count at 48 kHz
    preSkip = head.preSkip;
  } else {
    return std::nullopt;
  }
  std::optional<uint64_t> granule = LastOggGranule(in, PageSerial(first.data()), kFirstTail);
  if (!granule) return std::nullopt;
  return DurationMs(*granule > preSkip ? *granule - preSkip : 0, rate);
}
