#include <windows.h>

#include "platform/main_window.h"
#include "platform/message_box.h"

void ShowMessageBox(std::wstring_view text) {
  std::wstring copy(text);
  if (CallMessageBoxHook(copy)) return;
  MessageBoxW(nullptr, copy.c_str(), kApplicationTitle, MB_OK);
}
