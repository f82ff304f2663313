#include "platform/paths.h"

#include <map>
#include <mutex>

#include "platform/paths_platform.h"

namespace {
std::mutex overrideMutex;
std::map<UserFolder, std::wstring> overrides;
}  // namespace

void OverrideUserFolder(UserFolder folder, std::wstring_view path) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  if (path.empty())
    overrides.erase(folder);
  else
    overrides[folder] = std::wstring(path);
}

std::wstring GetUserFolder(UserFolder folder) {
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    auto it = overrides.find(folder);
    if (it != overrides.end()) return it->second;
  }
  return paths_platform::ShellFolder(folder);
}
