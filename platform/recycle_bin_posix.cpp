// POSIX has no Recycle Bin of the shell's kind: without a test's hook every
// file stays where it is and the answer is false.
#include "platform/recycle_bin.h"

#include <mutex>
#include <utility>

namespace {
std::mutex hookMutex;
RecycleHook hookInUse;
}  // namespace

void OverrideRecycleBin(RecycleHook hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  hookInUse = std::move(hook);
}

bool MoveToRecycleBin(const std::vector<std::wstring>& paths, void*) {
  RecycleHook hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = hookInUse;
  }
  if (hook) return hook(paths);
  return paths.empty();
}
