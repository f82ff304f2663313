// The one diagnostic output of the recorder. On Windows the text goes to the
// debugger (OutputDebugStringW, no line end added); the user never sees it.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/text_format.h"

// At most this many characters of one trace line are kept.
constexpr size_t kDebugTraceMaxChars = 15999;

void DebugTrace(std::wstring_view format, std::initializer_list<FormatArg> args = {});

// Tests observe the trace through a hook; while one is set, lines go to it as
// well as to the platform's output. Passing an empty function removes it.
void SetDebugTraceHook(std::function<void(const std::wstring&)> hook);
