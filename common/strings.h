// Small text helpers shared by every subsystem.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// UTF-8 <-> wide text. Invalid input never fails: bad UTF-8 bytes become U+FFFD,
// unpaired surrogates are encoded as U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view bytes);

// ASCII-only case folding, as the client API's keywords are compared.
wchar_t AsciiLower(wchar_t c);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// The C library's atoi on a wide text: leading white space, an optional sign,
// decimal digits; anything else ends the number and no digits give 0. Values
// beyond the 32-bit range saturate.
int32_t ParseDecimalInt(std::wstring_view text);

// Copies text into a fixed-size slot of `units` wide characters (the last one
// always the terminating zero), so at most units - 1 characters are kept.
std::wstring CutToSlot(std::wstring_view text, size_t units);

// A text as it may stand in a file name: each character that Windows does not
// allow in a name (\ / : * ? " < > | and the control characters) becomes '_'.
// Handles such as "live:alice" would otherwise name an alternate data stream,
// and one holding a backslash would leave the record folder.
std::wstring FileNameSafeText(std::wstring_view text);
