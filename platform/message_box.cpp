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

namespace {
// A test's hook takes the box at once; true when there was one.
bool TakenByHook(const std::wstring& text) {
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = boxHook;
  }
  if (hook) hook(text);
  return static_cast<bool>(hook);
}
}  // namespace

void ShowMessageBox(std::wstring_view text) {
  std::wstring copy(text);
  if (!TakenByHook(copy)) message_box_platform::Show(copy);
}

void ShowMessageBoxDetached(std::wstring_view text) {
  std::wstring copy(text);
  if (TakenByHook(copy)) return;
  try {
    std::thread([copy] { message_box_platform::Show(copy); }).detach();
  } catch (const std::system_error&) {
    message_box_platform::Show(copy);
  }
}
