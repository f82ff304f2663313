// The texts of the audio servers' failures: Windows Sockets error codes made
// readable, and the form in which a failure is shown to the user.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/text_format.h"

// The Winsock name of a code ("WSAECONNRESET"), or "Code %u" for a code that has
// none.
std::wstring WsaErrorName(uint32_t code);

// "<name>: <the system's message for the code>", or "<name>: Windows has no
// explanation for this error" when the system has none; no trailing white space.
std::wstring WsaErrorText(uint32_t code);

// The longest text an error box shows before it cuts.
constexpr size_t kErrorBoxMaxChars = 50000;

// The text of an error box: formats the text (FormatText), cuts it to 50,000
// characters with "...<cut>" appended when it fills them all, removes every
// CR, turns every LF into CR LF and appends CR LF.
std::wstring ErrorBoxText(std::wstring_view format, std::initializer_list<FormatArg> args = {});
