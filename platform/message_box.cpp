#include "platform/message_box.h"

#include <mutex>
#include <system_error>
#include <thread>

#include "platform/message_box_platform.h"

namespace {
std::mutex hookMutex;
std::function<void(const std::wstring&)> boxHook;
}  // namespace

void SetMessageBoxHook(std::function<void(const std::wstring&)> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  boxHook = std::move(hook);
}

void ShowMessageBox(std::wstring_view text) {
  std::wstring copy(text);
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = boxHook;
  }
  if (hook) {
    hook(copy);
    return;
  }
  message_box_platform::Show(copy);
}

void ShowMessageBoxDetached(std::wstring_view text) {
  std::wstring copy(text);
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = boxHook;
  }
  if (hook) {
    hook(copy);
    return;
  }
  try {
    std::thread([copy] { message_box_platform::Show(copy); }).detach();
  } catch (const std::system_error&) {
    message_box_platform::Show(copy);
  }
}
