// The one diagnostic output of the recorder. On Windows the text goes to the
// debugger (OutputDebugStringW, no line end added); the user never sees it.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "common/text_format.h"

// At most this many characters of one trace line are kept.
constexpr size_t kDebugTraceMaxChars = 15999;

void DebugTrace(std::wstring_view format, std::initializer_list<FormatArg> args = {});
