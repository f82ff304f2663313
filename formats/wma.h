// WMA: only the length, from the ASF header; nothing here encodes or plays it
// (the external encoder makes it).
#pragma once

#include <cstdint>
#include <optional>

class InputFile;

std::optional<int64_t> WmaDurationMs(InputFile& in);
