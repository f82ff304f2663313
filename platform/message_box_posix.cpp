#include "platform/debug_trace.h"
#include "platform/message_box_platform.h"

// The native build shows no boxes: the text goes to the trace.
void message_box_platform::Show(const std::wstring& text) { DebugTrace(L"Message box: %s", {text}); }
