// The user's autorun list: values under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run.
// Windows: autorun_win32.cpp; natively the tests link an in-memory stand-in
// (tests/support/autorun_standin.cpp).
#pragma once

#include <string>
#include <string_view>

// Sets a REG_SZ value. False when the key cannot be opened or the value set.
bool SetAutorunValue(std::wstring_view name, std::wstring_view data);

// Deletes a value; a value that does not exist counts as deleted. False when the
// key cannot be opened.
bool DeleteAutorunValue(std::wstring_view name);

// Reads a value back; false when it does not exist.
bool ReadAutorunValue(std::wstring_view name, std::wstring& data);
