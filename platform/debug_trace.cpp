#include "platform/debug_trace.h"

#include "platform/debug_trace_platform.h"

void DebugTrace(std::wstring_view format, std::initializer_list<FormatArg> args) {
  std::wstring line = FormatText(format, args);
  if (line.size() > kDebugTraceMaxChars) line.resize(kDebugTraceMaxChars);
  debug_trace_platform::Output(line);
}
