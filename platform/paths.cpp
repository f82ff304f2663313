#include "platform/paths.h"

#include <mutex>

#include "platform/paths_platform.h"

namespace {
std::mutex overrideMutex;
std::wstring documentsOverride;
}  // namespace

void OverrideDocumentsFolder(std::wstring_view path) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  documentsOverride.assign(path);
}

std::wstring GetDocumentsFolder() {
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    if (!documentsOverride.empty()) return documentsOverride;
  }
  return paths_platform::DocumentsFolder();
}
