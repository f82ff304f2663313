#include "platform/paths.h"

#include <mutex>

namespace {
std::mutex overrideMutex;
std::wstring documentsOverride;
}  // namespace

void OverrideDocumentsFolder(std::wstring_view path) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  documentsOverride.assign(path);
}

bool DocumentsFolderOverride(std::wstring& path) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  if (documentsOverride.empty()) return false;
  path = documentsOverride;
  return true;
}
