#include "platform/debug_trace.h"

#include <mutex>

namespace {
std::mutex hookMutex;
std::function<void(const std::wstring&)> traceHook;
}  // namespace

void DebugTrace(std::wstring_view format, std::initializer_list<FormatArg> args) {
  std::wstring line = FormatText(format, args);
  if (line.size() > kDebugTraceMaxChars) line.resize(kDebugTraceMaxChars);
  PlatformDebugOutput(line);
  std::lock_guard<std::mutex> lock(hookMutex);
  if (traceHook) traceHook(line);
}

void SetDebugTraceHook(std::function<void(const std::wstring&)> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  traceHook = std::move(hook);
}
