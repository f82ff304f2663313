// The platform half of the paths service (paths_win32.cpp, paths_posix.cpp),
// for what paths.cpp shares: the documents folder, which tests can override.
// The rest of paths.h is implemented by each platform file directly.
#pragma once

#include <string>

namespace paths_platform {
// The platform's own documents folder, without a trailing separator; empty
// when unknown.
std::wstring DocumentsFolder();
}  // namespace paths_platform
