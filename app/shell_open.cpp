#include "app/shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include <mutex>

namespace {
std::mutex hookMutex;
ShellOpenHook hook;
}  // namespace

void SetShellOpenHook(ShellOpenHook newHook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  hook = std::move(newHook);
}

void ShellOpen(const std::wstring& target, int showCommand) {
  ShellOpenHook current;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    current = hook;
  }
  if (current)
    current(target, showCommand);
  else
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, showCommand);
}
