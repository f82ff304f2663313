// The platform's INI service, with the behaviour of GetPrivateProfileStringW and
// WritePrivateProfileStringW:
//  - section and key names are compared without regard to case;
//  - blanks around the key and the value are dropped, and a value enclosed in a
//    pair of matching quotes loses them;
//  - a missing file, section or key reads as the empty text;
//  - a file that starts with the UTF-16LE byte order mark is read as Unicode;
//  - writing creates the file and the section when needed and keeps the file's
//    encoding (a new file is written as 8-bit text).
#pragma once

#include <string>
#include <string_view>

// Reads at most maxChars characters of the value; longer values are cut.
std::wstring IniReadString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                           size_t maxChars);

bool IniWriteString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value);
