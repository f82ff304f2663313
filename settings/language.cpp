#include "settings/language.h"

#include "common/contracts.h"
#include "common/text_format.h"
#include "platform/paths.h"
#include "settings/ini_file.h"

std::wstring LanguageIniPath() { return GetModuleDirectory() + kLanguageFileName; }

LanguageTable::LanguageTable(std::wstring path) : path_(std::move(path)) {}

void LanguageTable::Select(uint8_t languageSelect) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (languageSelect == 0)
    section_ = kSimplifiedChineseSection;
  else if (languageSelect == 1)
    section_ = kTraditionalChineseSection;
  read_.clear();
}

std::wstring LanguageTable::Section() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return section_;
}

std::wstring LanguageTable::Read(std::wstring_view section, std::wstring_view key) const {
  std::pair<std::wstring, std::wstring> name{std::wstring(section), std::wstring(key)};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = read_.find(name);
    if (found != read_.end()) return found->second;
  }
  // The file is read without the lock: two threads that miss the same key at
  // once both read it, and both find the same text.
  std::wstring text = IniFile(path_).ReadString(section, key);
  std::lock_guard<std::mutex> lock(mutex_);
  ++reads_;
  read_.emplace(std::move(name), text);
  return text;
}

std::wstring LanguageTable::Text(std::wstring_view key) const { return Read(Section(), key); }

std::wstring LanguageTable::TextOr(std::wstring_view key, std::wstring_view fallback) const {
  std::wstring text = Text(key);
  return text.empty() ? std::wstring(fallback) : text;
}

std::vector<std::wstring> LanguageTable::NumberedList(std::wstring_view section, std::wstring_view keyFormat) const {
  std::vector<std::wstring> items;
  for (int n = 1; n <= kLanguageListMax; ++n) {
    std::wstring value = Read(section, FormatText(keyFormat, {n}));
    if (value.empty()) break;
    items.push_back(std::move(value));
  }
  return items;
}

std::vector<std::wstring> LanguageTable::Languages() const {
  return NumberedList(kLanguageListSection, L"Language_%d");
}

std::vector<std::wstring> LanguageTable::RecordWayItems() const {
  return NumberedList(Section(), L"Combo_Record_Fuction_%d");
}

int LanguageTable::reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}
