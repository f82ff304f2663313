// The platform half that window_control.cpp uses (window_control_win32.cpp;
// natively the tests' stand-in). The rest of window_control.h is implemented
// by the platform file directly.
#pragma once

#include <string>

namespace window_control_platform {
void ShellOpen(const std::wstring& target);  // ShellExecuteW "open", SW_SHOW
}  // namespace window_control_platform
