#include <windows.h>

#include "platform/debug_trace.h"

void PlatformDebugOutput(const std::wstring& line) { OutputDebugStringW(line.c_str()); }
