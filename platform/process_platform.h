// The platform half of the process seam (process_win32.cpp,
// process_posix.cpp). The shared half (process.cpp) adds the fault injection.
#pragma once

#include "platform/process.h"

namespace process_platform {
// Starts the command line and waits for it, as RunProcessAndWait describes.
ProcessRun Run(std::wstring_view commandLine, std::chrono::milliseconds limit);
}  // namespace process_platform
