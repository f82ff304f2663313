#include "platform/debug_trace.h"

#include <mutex>

#include "platform/debug_trace_platform.h"

namespace {
std::mutex hookMutex;
std::function<void(const std::wstring&)> traceHook;
}  // namespace

void DebugTrace(std::wstring_view format, std::initializer_list<FormatArg> args) {
  std::wstring line = FormatText(format, args);
  if (line.size() > kDebugTraceMaxChars) line.resize(kDebugTraceMaxChars);
  debug_trace_platform::Output(line);
  std::lock_guard<std::mutex> lock(hookMutex);
  if (traceHook) traceHook(line);
}

void SetDebugTraceHook(std::function<void(const std::wstring&)> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  traceHook = std::move(hook);
}
