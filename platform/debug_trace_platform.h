// The platform half of the diagnostic output (debug_trace_win32.cpp,
// debug_trace_posix.cpp). The shared half (debug_trace.cpp) formats the line
// and cuts it.
#pragma once

#include <string>

namespace debug_trace_platform {
// The platform's own output of one finished line.
void Output(const std::wstring& line);
}  // namespace debug_trace_platform
