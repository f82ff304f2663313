#include "settings/language.h"

#include <mutex>

#include "common/text_format.h"
#include "platform/paths.h"

namespace {
std::mutex sectionMutex;
std::wstring currentSection = L"Chs";
}  // namespace

std::wstring LanguageIniPath() { return GetModuleDirectory() + L"Language\\Language.ini"; }

std::wstring CurrentLanguageSection() {
  std::lock_guard<std::mutex> lock(sectionMutex);
  return currentSection;
}

void SelectLanguageSection(uint8_t languageSelect) {
  std::lock_guard<std::mutex> lock(sectionMutex);
  if (languageSelect == 0) currentSection = L"Chs";
  else if (languageSelect == 1) currentSection = L"Cht";
}

std::wstring LanguageText(std::wstring_view key) {
  IniFile file(LanguageIniPath());
  return LanguageText(file, key);
}

std::wstring LanguageText(IniFile& languageFile, std::wstring_view key) {
  return languageFile.ReadString(CurrentLanguageSection(), key);
}

std::vector<std::wstring> ReadNumberedList(IniFile& file, std::wstring_view section,
                                           std::wstring_view keyFormat) {
  std::vector<std::wstring> items;
  for (int n = 1; n <= kLanguageListMax; ++n) {
    std::wstring value = file.ReadString(section, FormatText(keyFormat, {n}));
    if (value.empty()) break;
    items.push_back(std::move(value));
  }
  return items;
}

std::vector<std::wstring> LanguageList() {
  IniFile file(LanguageIniPath());
  return LanguageList(file);
}

std::vector<std::wstring> LanguageList(IniFile& languageFile) {
  return ReadNumberedList(languageFile, L"LANGUAGE", L"Language_%d");
}

std::vector<std::wstring> RecordWayItems() {
  IniFile file(LanguageIniPath());
  return RecordWayItems(file);
}

std::vector<std::wstring> RecordWayItems(IniFile& languageFile) {
  return ReadNumberedList(languageFile, CurrentLanguageSection(), L"Combo_Record_Fuction_%d");
}
