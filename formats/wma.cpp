#include "formats/wma.h"

#include <algorithm>
#include <cstring>

#include "formats/byte_order.h"
#include "formats/input_file.h"

std::optional<int64_t> WmaDurationMs(InputFile& in) {
  // The ASF header object, then the objects it holds; the File Properties
  // object tells the play duration (100 ns) and the preroll (ms).
  static const uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static const uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  uint8_t head[30];
  if (!in.ReadAt(0, head, 30) || std::memcmp(head, kHeader, 16) != 0) return std::nullopt;
  const uint64_t headerEnd = std::min<uint64_t>(Le64(head + 16), in.size());
  const uint32_t objects = Le32(head + 24);
  uint64_t at = 30;
  for (uint32_t i = 0; i < objects && at + 24 <= headerEnd; ++i) {
    uint8_t object[24];
    if (!in.ReadAt(at, object, 24)) break;
    // An object's size from the file: one that runs past the header (or
    // would wrap the position round) ends the walk.
    const uint64_t size = Le64(object + 16);
    if (size < 24 || size > headerEnd - at) break;
    if (std::memcmp(object, kFileProperties, 16) == 0) {
      uint8_t props[104];
      if (size < 104 || !in.ReadAt(at, props, 104)) return std::nullopt;
      const uint64_t play = Le64(props + 64), preroll = Le64(props + 80);
      const uint32_t flags = Le32(props + 88);
      if (flags & 1) return std::nullopt;  // a broadcast: no duration
      const uint64_t playMs = play / 10000;
      return static_cast<int64_t>(playMs > preroll ? playMs - preroll : 0);
    }
    at += size;
  }
  return std::nullopt;
}
