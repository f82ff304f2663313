#include "settings/ini_file.h"

#include "common/text_format.h"
#include "platform/ini.h"

std::wstring IniFile::ReadString(std::wstring_view section, std::wstring_view key, size_t maxChars) {
  lastResult_ = true;
  return IniReadString(path_, section, key, maxChars);
}

bool IniFile::WriteString(std::wstring_view section, std::wstring_view key, std::wstring_view text) {
  lastResult_ = IniWriteString(path_, section, key, text);
  return lastResult_;
}

bool IniFile::WriteNumber(std::wstring_view section, std::wstring_view key, long number) {
  return WriteString(section, key, FormatText(L"%ld", {number}));
}
