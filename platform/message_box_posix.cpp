#include "platform/debug_trace.h"
#include "platform/message_box.h"

void ShowMessageBox(std::wstring_view text) {
  std::wstring copy(text);
  if (CallMessageBoxHook(copy)) return;
  DebugTrace(L"Message box: %s", {copy});
}
