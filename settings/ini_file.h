// One INI file bound to its path: Config.ini or Language\Language.ini.
#pragma once

#include <string>
#include <string_view>

// A value read from an INI file is at most this long (a 256-character buffer
// given to the platform with a size of 255); longer values are cut.
constexpr size_t kIniValueMaxChars = 254;

class IniFile {
 public:
  explicit IniFile(std::wstring path) : path_(std::move(path)) {}

  // The value, or the empty text when the file, the section or the key is
  // missing. maxChars allows the few values documented as longer (WavePath).
  std::wstring ReadString(std::wstring_view section, std::wstring_view key,
                          size_t maxChars = kIniValueMaxChars);
  // Creates the file and the section when needed.
  bool WriteString(std::wstring_view section, std::wstring_view key, std::wstring_view text);
  // Writes the number as "%ld" formats it.
  bool WriteNumber(std::wstring_view section, std::wstring_view key, long number);

  const std::wstring& path() const { return path_; }
  // The platform's result of the last write (reads always succeed).
  bool lastResult() const { return lastResult_; }

 private:
  std::wstring path_;
  bool lastResult_ = true;
};
