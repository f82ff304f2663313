#include <gtest/gtest.h>

#include <map>

#include "platform/ini.h"
#include "platform/paths.h"
#include "settings/language.h"
#include "tests/support/temp_dir.h"

namespace {

// Every key a language section must hold, with the number of "%s" that the
// program fills into it.
const std::map<std::wstring, int>& LanguageKeys() {
  static const std::map<std::wstring, int> keys = [] {
    std::map<std::wstring, int> k;
    for (const wchar_t* key :
         {L"Main_Caption", L"Win7_VirtualStore_Prompt", L"Button_Open_Skype", L"Button_Access_Skype_Network",
          L"Button_Open_Record_Folder", L"Button_Open_VirtualStore", L"Button_Record_Tip", L"Button_Pause_Tip",
          L"Button_Stop_Tip", L"Button_Option_Tip", L"Button_Minimize_Tip", L"Button_Close_Tip",
          L"Business_Info_1", L"Business_Info_2", L"Business_Info_3", L"Skype_Status_1", L"Skype_Status_2",
          L"Skype_Status_3", L"Skype_Status_5", L"Record_Status4", L"Record_Status5", L"Year", L"Month",
          L"Day", L"Hour", L"Minute", L"Second", L"Error_Message_1", L"Menu_Open", L"Menu_Setting",
          L"Menu_About", L"Menu_Exit", L"Menu_Top_Window", L"Menu_Cancel_Top_Window", L"About",
          L"About_Support", L"About_HomePage_Link_1", L"Button_OK", L"Button_Cancel", L"Button_Apply",
          L"Button_Browse", L"Button_AutoRun", L"Button_Auto_Record", L"Button_Auto_Open_Record_Folder",
          L"Button_Show_Status_On_Tray", L"Button_Save_LF", L"Button_Hide_Skype",
          L"Button_Close_Skype_Call_Quality", L"Static_Language", L"Static_Wave_Path", L"Static_Record_Way",
          L"Static_Record_Format", L"Group_Record_Setting", L"Group_Skype_Setting", L"Static_Browse_Folder",
          L"Combo_Record_Fuction_1", L"Combo_Record_Fuction_2", L"Combo_Record_Fuction_3"})
      k[key] = 0;
    for (const wchar_t* key : {L"Help_Info", L"Skype_Status_4", L"RecordPath_Status_1", L"RecordPath_Status_3",
                               L"Free_Disk_Size", L"Record_Status1", L"Record_Status2", L"Record_Status3",
                               L"About_Version"})
      k[key] = 1;
    k[L"RecordPath_Status_2"] = 2;
    k[L"About_Copyright"] = 2;
    return k;
  }();
  return keys;
}

int CountPercentConversions(const std::wstring& text, int& others) {
  int s = 0;
  others = 0;
  for (size_t i = 0; i + 1 <= text.size(); ++i) {
    if (text[i] != L'%') continue;
    if (i + 1 < text.size() && text[i + 1] == L's') ++s;
    else ++others;
    ++i;
  }
  return s;
}

class ShippedLanguageSections : public ::testing::TestWithParam<const wchar_t*> {};

}  // namespace

TEST(ShippedLanguageFile, IsBesideTheProgramAndUnicode) {
  std::wstring path = LanguageIniPath();
  EXPECT_EQ(path, GetModuleDirectory() + L"Language\\Language.ini");
  ASSERT_TRUE(PathExists(path));
  std::string bytes = ReadFileBytes(GetModuleDirectory() + L"Language/Language.ini");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
}

TEST(ShippedLanguageFile, ListsTwoLanguagesAndThreeRecordWays) {
  LanguageTable table(LanguageIniPath());
  std::vector<std::wstring> languages = table.Languages();
  ASSERT_EQ(languages.size(), 2u);
  EXPECT_EQ(languages[0], L"简体中文");
  EXPECT_EQ(languages[1], L"繁體中文");
  EXPECT_EQ(table.RecordWayItems().size(), 3u);
  table.Select(1);
  EXPECT_EQ(table.RecordWayItems().size(), 3u);
}

TEST_P(ShippedLanguageSections, HoldsEveryKeyWithThePlaceholdersThePartsFill) {
  for (const auto& [key, expected] : LanguageKeys()) {
    std::wstring text = IniReadString(LanguageIniPath(), GetParam(), key, 254);
    EXPECT_FALSE(text.empty()) << key;
    int others = 0;
    EXPECT_EQ(CountPercentConversions(text, others), expected) << key;
    EXPECT_EQ(others, 0) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, ShippedLanguageSections, ::testing::Values(L"Chs", L"Cht"));

TEST(LanguageTable, FollowsTheSelectedSection) {
  LanguageTable table(LanguageIniPath());
  EXPECT_EQ(table.Section(), L"Chs");
  EXPECT_EQ(table.Text(L"Hour"), L"时");
  table.Select(1);
  EXPECT_EQ(table.Text(L"Hour"), L"時");
  table.Select(7);
  EXPECT_EQ(table.Section(), L"Cht");
  table.Select(0);
  EXPECT_EQ(table.Text(L"No_Such_Key"), L"");
  EXPECT_EQ(table.TextOr(L"No_Such_Key", L"Listen failed!"), L"Listen failed!");
  EXPECT_EQ(table.TextOr(L"Hour", L"h"), L"时");
}

TEST(LanguageTable, MissingSectionOrFileGivesEmptyTexts) {
  TempDir dir;
  std::wstring path = dir.file(L"Language.ini");
  {
    LanguageTable missing(path);
    EXPECT_EQ(missing.Text(L"Year"), L"");
    EXPECT_TRUE(missing.Languages().empty());
  }
  ASSERT_TRUE(WriteFileBytes(path, "[LANGUAGE]\r\nLanguage_1=English\r\n[Chs]\r\nYear=-\r\n"));
  LanguageTable table(path);
  table.Select(1);  // no Cht section in this file
  EXPECT_EQ(table.Text(L"Year"), L"");
  EXPECT_TRUE(table.RecordWayItems().empty());
  table.Select(0);
  EXPECT_EQ(table.Text(L"Year"), L"-");
}

// The window asks for its texts on every refresh: a key is read from the disk
// once per choice of language, and a new choice (an apply of the settings
// dialog) reads the file as it is then.
TEST(LanguageTable, ReadsEachKeyOncePerChoiceOfLanguage) {
  TempDir dir;
  std::wstring path = dir.file(L"Language.ini");
  ASSERT_TRUE(WriteFileBytes(path, "[Chs]\r\nYear=-\r\n[Cht]\r\nYear=+\r\n"));
  LanguageTable table(path);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(table.Text(L"Year"), L"-");
    EXPECT_EQ(table.Text(L"Missing"), L"");
  }
  EXPECT_EQ(table.reads(), 2);
  ASSERT_TRUE(WriteFileBytes(path, "[Chs]\r\nYear=y\r\n[Cht]\r\nYear=+\r\n"));
  EXPECT_EQ(table.Text(L"Year"), L"-");
  table.Select(1);
  EXPECT_EQ(table.Text(L"Year"), L"+");
  table.Select(0);
  EXPECT_EQ(table.Text(L"Year"), L"y");
  EXPECT_EQ(table.reads(), 4);
}

TEST(NumberedLists, EndAtTheFirstGapAndHoldAtMost99) {
  TempDir dir;
  std::wstring path = dir.file(L"Language.ini");
  ASSERT_TRUE(WriteFileBytes(path,
                             "[LANGUAGE]\r\nLanguage_1=One\r\nLanguage_3=Three\r\n[Chs]\r\n"
                             "Combo_Record_Fuction_1=a\r\nCombo_Record_Fuction_2=\r\nCombo_Record_Fuction_3=c\r\n"));
  {
    LanguageTable table(path);
    EXPECT_EQ(table.Languages(), std::vector<std::wstring>{L"One"});
    EXPECT_EQ(table.RecordWayItems(), std::vector<std::wstring>{L"a"});
  }
  std::string many = "[LANGUAGE]\r\n";
  for (int n = 1; n <= 120; ++n) many += "Language_" + std::to_string(n) + "=L" + std::to_string(n) + "\r\n";
  ASSERT_TRUE(WriteFileBytes(path, many));
  LanguageTable table(path);
  std::vector<std::wstring> list = table.Languages();
  ASSERT_EQ(list.size(), 99u);
  EXPECT_EQ(list.back(), L"L99");
}

TEST(LanguageTable, LongTextsAreCutTo254) {
  TempDir dir;
  std::wstring path = dir.file(L"Language.ini");
  ASSERT_TRUE(WriteFileBytes(path, "[Chs]\r\nHelp_Info=" + std::string(300, 'h') + "\r\n"));
  LanguageTable table(path);
  EXPECT_EQ(table.Text(L"Help_Info"), std::wstring(254, L'h'));
}
