// The platform half of the paths service (paths_win32.cpp, paths_posix.cpp),
// for what paths.cpp shares: the user's folders and the free space, which tests
// can override.
// The rest of paths.h is implemented by each platform file directly.
#pragma once

#include <string>

#include "platform/paths.h"

namespace paths_platform {
// The platform's own folder of that kind, without a trailing separator; empty
// when unknown.
std::wstring ShellFolder(UserFolder folder);
// The free bytes for the caller on the folder's volume.
bool FreeSpace(std::wstring_view folder, uint64_t& bytes);
}  // namespace paths_platform
