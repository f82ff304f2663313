// The platform half of the message boxes (message_box_win32.cpp,
// message_box_posix.cpp). The shared half (message_box.cpp) hands the text to
// the test hook instead when one is set.
#pragma once

#include <string>

namespace message_box_platform {
// Shows the box and returns when the user has closed it.
void Show(const std::wstring& text);
}  // namespace message_box_platform
