// The language tables: every text the user sees is looked up by key in
// Language\Language.ini beside the program, in the section of the current
// language ("Chs" or "Cht").
//
// A LanguageTable reads each key once per choice of language and keeps it:
// the window's thread asks for texts on every refresh of a status line, and a
// lookup must not go to the disk each time. Choosing a language (at start-up,
// and on every apply of the settings dialog) forgets what was read, so the
// next lookups read the file again. Any thread may look up texts.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/contracts.h"

// Numbered lists ("Language_%d", "Combo_Record_Fuction_%d") hold at most this
// many entries.
constexpr int kLanguageListMax = 99;

// Language\Language.ini beside the running program.
std::wstring LanguageIniPath();

class LanguageTable {
 public:
  // The table of the language file at `path`, in section "Chs" until Select
  // says otherwise.
  explicit LanguageTable(std::wstring path);
  LanguageTable(const LanguageTable&) = delete;
  LanguageTable& operator=(const LanguageTable&) = delete;

  const std::wstring& path() const { return path_; }

  // 0 selects "Chs", 1 "Cht"; any other value keeps the current section.
  // Either way the texts are read afresh from now on.
  void Select(uint8_t languageSelect);
  std::wstring Section() const;

  // The text of a key in the current section; empty when the file, the
  // section or the key is missing. Texts are cut to 254 characters.
  std::wstring Text(std::wstring_view key) const;
  // The text, or `fallback` when the file has none for the key: the texts
  // that were English before the language file had keys for them.
  std::wstring TextOr(std::wstring_view key, std::wstring_view fallback) const;

  // The display names of the selectable languages, from section "LANGUAGE".
  std::vector<std::wstring> Languages() const;
  // The items of the record-way list, from the current section.
  std::vector<std::wstring> RecordWayItems() const;
  // Reads a numbered list: format with n = 1, 2, ... until the first missing
  // or empty value, at most kLanguageListMax entries.
  std::vector<std::wstring> NumberedList(std::wstring_view section, std::wstring_view keyFormat) const;

  // How many times the file was read since the table was made (for tests).
  int reads() const;

 private:
  std::wstring Read(std::wstring_view section, std::wstring_view key) const;

  const std::wstring path_;
  mutable std::mutex mutex_;
  std::wstring section_ = kSimplifiedChineseSection;
  // Every value read since the last Select, found or not, by section and key.
  mutable std::map<std::pair<std::wstring, std::wstring>, std::wstring> read_;
  mutable int reads_ = 0;
};
