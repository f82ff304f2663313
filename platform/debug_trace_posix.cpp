#include <cstdio>
#include <cstdlib>

#include "common/strings.h"
#include "platform/debug_trace_platform.h"

// The native build has no debugger channel; lines go to standard error when
// CALVORO_TRACE is set, so that a failing test can be read with its trace.
void debug_trace_platform::Output(const std::wstring& line) {
  static const bool enabled = std::getenv("CALVORO_TRACE") != nullptr;
  if (!enabled) return;
  std::string bytes = Utf8FromWide(line);
  std::fprintf(stderr, "%s%s", bytes.c_str(), (!bytes.empty() && bytes.back() == '\n') ? "" : "\n");
}
