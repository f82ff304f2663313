// The language tables: every text the user sees is looked up by key in
// Language\Language.ini beside the program, in the section of the current
// language. Texts are not cached: each lookup reads the file afresh.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"

// Numbered lists ("Language_%d", "Combo_Record_Fuction_%d") hold at most this
// many entries.
constexpr int kLanguageListMax = 99;

std::wstring LanguageIniPath();

// The section of the current language: "Chs" when the process starts.
std::wstring CurrentLanguageSection();
// 0 selects "Chs", 1 "Cht"; any other value keeps the current section.
void SelectLanguageSection(uint8_t languageSelect);

// The text of a key in the current section; empty when the file, the section
// or the key is missing. The second form reads the given language file.
std::wstring LanguageText(std::wstring_view key);
std::wstring LanguageText(IniFile& languageFile, std::wstring_view key);

// The display names of the selectable languages, from section "LANGUAGE".
std::vector<std::wstring> LanguageList();
std::vector<std::wstring> LanguageList(IniFile& languageFile);

// The items of the record-way list, from the current section.
std::vector<std::wstring> RecordWayItems();
std::vector<std::wstring> RecordWayItems(IniFile& languageFile);

// Reads a numbered list: format with n = 1, 2, ... until the first missing or
// empty value, at most kLanguageListMax entries.
std::vector<std::wstring> ReadNumberedList(IniFile& file, std::wstring_view section,
                                           std::wstring_view keyFormat);
