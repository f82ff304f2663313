#include "platform/paths.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/paths_platform.h"

namespace {
std::mutex overrideMutex;
std::map<UserFolder, std::wstring> overrides;
std::wstring programFolderOverride;
FreeSpaceAnswer freeSpaceOverride;
}  // namespace

std::wstring GetModuleDirectory() {
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    if (!programFolderOverride.empty()) return programFolderOverride;
  }
  std::wstring path = GetModuleFilePath();
  size_t slash = path.find_last_of(L"/\\");
  if (slash == std::wstring::npos) return std::wstring();
  return path.substr(0, slash + 1);
}

void OverrideProgramFolder(std::wstring_view folderWithSeparator) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  programFolderOverride.assign(folderWithSeparator);
}

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

namespace {
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
}  // namespace

size_t PathRootLength(std::wstring_view path) {
  if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) return 3;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\: both names must be there.
    size_t server = path.find_first_of(L"\\/", 2);
    if (server == std::wstring_view::npos || server == 2) return 0;
    size_t share = path.find_first_of(L"\\/", server + 1);
    if (share == server + 1) return 0;
    return share == std::wstring_view::npos ? path.size() : share + 1;
  }
  if (!path.empty() && IsSeparator(path[0])) return 1;
  return 0;
}

bool CreateDirectoryTree(std::wstring_view path) {
  size_t root = PathRootLength(path);
  if (root == 0) return false;
  while (path.size() > root && IsSeparator(path.back())) path.remove_suffix(1);
  // The levels that are missing, the deepest first.
  std::vector<std::wstring_view> missing;
  for (std::wstring_view level = path; level.size() > root && !IsDirectory(level);) {
    missing.push_back(level);
    size_t cut = level.find_last_of(L"\\/");
    if (cut == std::wstring_view::npos || cut < root) break;
    level = level.substr(0, cut);
    while (level.size() > root && IsSeparator(level.back())) level.remove_suffix(1);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) CreateDirectoryOneLevel(*it);
  return IsDirectory(path);
}

void OverrideFreeSpace(FreeSpaceAnswer answer) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  freeSpaceOverride = std::move(answer);
}

bool FreeSpaceOfFolder(std::wstring_view folder, uint64_t& bytes) {
  FreeSpaceAnswer answer;
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    answer = freeSpaceOverride;
  }
  return answer ? answer(folder, bytes) : paths_platform::FreeSpace(folder, bytes);
}
