#include <windows.h>

#include "platform/debug_trace_platform.h"

void debug_trace_platform::Output(const std::wstring& line) { OutputDebugStringW(line.c_str()); }
