#include <windows.h>

#include "platform/message_box.h"
#include "platform/message_box_platform.h"

void message_box_platform::Show(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), kApplicationTitle, MB_OK);
}
