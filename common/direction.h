// The two audio directions of a call.
//  Out: the far end's voice, port 6285, "%s_Out.sky", left channel in stereo.
//  In:  the local microphone, port 7285, "%s_In.sky", right channel in stereo.
#pragma once

#include <cstdint>

#include "common/contracts.h"

enum class Direction : uint8_t { Out = 0, In = 1 };

constexpr uint16_t PortOf(Direction d) { return d == Direction::Out ? kOutPort : kInPort; }
constexpr const wchar_t* StreamFileFormat(Direction d) {
  return d == Direction::Out ? kOutStreamFileFormat : kInStreamFileFormat;
}
constexpr int DirectionIndex(Direction d) { return static_cast<int>(d); }
