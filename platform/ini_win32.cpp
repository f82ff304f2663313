#include <windows.h>

#include <vector>

#include "platform/ini.h"

std::wstring IniReadString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                           size_t maxChars) {
  // nSize counts the terminating zero, so maxChars + 1 gives at most maxChars.
  std::vector<wchar_t> buffer(maxChars + 2, L'\0');
  DWORD n = GetPrivateProfileStringW(std::wstring(section).c_str(), std::wstring(key).c_str(), L"",
                                     buffer.data(), static_cast<DWORD>(maxChars + 1),
                                     std::wstring(path).c_str());
  if (n > maxChars) n = static_cast<DWORD>(maxChars);
  return std::wstring(buffer.data(), n);
}

bool IniWriteString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value) {
  return WritePrivateProfileStringW(std::wstring(section).c_str(), std::wstring(key).c_str(),
                                    std::wstring(value).c_str(), std::wstring(path).c_str()) != 0;
}
