#include "platform/message_box.h"

#include <mutex>

namespace {
std::mutex hookMutex;
std::function<void(const std::wstring&)> boxHook;
}  // namespace

void SetMessageBoxHook(std::function<void(const std::wstring&)> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  boxHook = std::move(hook);
}

bool CallMessageBoxHook(const std::wstring& text) {
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = boxHook;
  }
  if (!hook) return false;
  hook(text);
  return true;
}
