#include <gtest/gtest.h>

#include <algorithm>

#include "platform/autorun.h"
#include "platform/paths.h"
#include "settings/ini_file.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OverrideDocumentsFolder(documents.path());
  }
  void TearDown() override { OverrideDocumentsFolder(L""); }

  void WriteConfig(const std::string& lines) { ASSERT_TRUE(WriteFileBytes(config, "[Setting]\r\n" + lines)); }

  TempDir dir;
  TempDir documents;
  std::wstring config = dir.file(L"Config.ini");
  SettingsStore store;
  LanguageTable language{LanguageIniPath()};
};

}  // namespace

TEST(SettingByteFromText, ConvertsAsTheFileMeansIt) {
  EXPECT_EQ(SettingByteFromText(L"-1"), 255);
  EXPECT_EQ(SettingByteFromText(L"256"), 0);
  EXPECT_EQ(SettingByteFromText(L" 1"), 1);
  EXPECT_EQ(SettingByteFromText(L"abc"), 0);
  EXPECT_EQ(SettingByteFromText(L"17 MP3 and WAV"), 17);
  EXPECT_EQ(SettingByteFromText(L""), 0);
  EXPECT_EQ(SettingByteFromText(L"511"), 255);
}

TEST_F(SettingsTest, MissingFileGivesDefaultsAndWritesTheRecordFolderBack) {
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->Language_Select, 0);
  EXPECT_EQ(store.Current()->AutoRun, 0);
  EXPECT_EQ(store.Current()->RecordWay, 0);
  EXPECT_EQ(store.Current()->AutoRecord, 0);
  EXPECT_EQ(store.Current()->SaveLF, 0);
  EXPECT_EQ(store.Current()->ShowStatusOnTray, 0);
  EXPECT_EQ(store.Current()->CloseSkypeMainWindowWhenTalking, 0);
  EXPECT_EQ(store.Current()->CloseSkypeCallQualityWindow, 0);
  EXPECT_EQ(store.Current()->OpenRecordFolderAfterRecording, 0);
  std::wstring expected = documents.path() + L"\\Calvoro Record";
  EXPECT_EQ(store.Current()->WavePath, expected);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"WavePath"), expected);
  EXPECT_TRUE(PathExists(expected));
  EXPECT_EQ(language.Section(), L"Chs");
}

TEST_F(SettingsTest, NoChosenFormatFallsBackToMp3) {
  // With no format bit every recording would end without an output file.
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordFormat, kFormatMp3);
  WriteConfig("RecordFormat=0\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordFormat, kFormatMp3);
  WriteConfig("RecordFormat=64\r\n");  // a bit of no format
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordFormat, kFormatMp3);
  WriteConfig("RecordFormat=32\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordFormat, kFormatOpus);
  WriteConfig("RecordFormat=17\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordFormat, 17);
  WriteConfig("RecordFormat=-1\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordFormat, 255);
}

TEST_F(SettingsTest, ValuesAreReadAsBytes) {
  WriteConfig(
      "RecordWay=2\r\nSaveLF=1\r\nAutoRecord= 1\r\nAutoRun=abc\r\nShowStatusOnTray=-1\r\n"
      "CloseSkypeCallQualityWindow=256\r\nCloseSkypeMainWindowWhenTalking=7\r\n"
      "OpenRecordFolderAfterRecording=1\r\nWavePath=" +
      std::string("") + "\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->RecordWay, 2);
  EXPECT_EQ(store.Current()->SaveLF, 1);
  EXPECT_EQ(store.Current()->AutoRecord, 1);
  EXPECT_EQ(store.Current()->AutoRun, 0);
  EXPECT_EQ(store.Current()->ShowStatusOnTray, 255);
  EXPECT_EQ(store.Current()->CloseSkypeCallQualityWindow, 0);
  EXPECT_EQ(store.Current()->CloseSkypeMainWindowWhenTalking, 7);
  EXPECT_EQ(store.Current()->OpenRecordFolderAfterRecording, 1);
}

TEST_F(SettingsTest, LanguageSelectSetsTheSectionOrKeepsIt) {
  WriteConfig("Language_Select=5\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->Language_Select, 5);
  EXPECT_EQ(language.Section(), L"Chs");
  WriteConfig("Language_Select=1\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(language.Section(), L"Cht");
  WriteConfig("Language_Select=2\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(language.Section(), L"Cht");
  WriteConfig("Language_Select=0\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(language.Section(), L"Chs");
}

TEST_F(SettingsTest, AGivenRecordFolderIsKeptAndCreated) {
  std::wstring folder = dir.file(L"My Recordings");
  ASSERT_TRUE(IniFile(config).WriteString(L"Setting", L"WavePath", folder));
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->WavePath, folder);
  EXPECT_TRUE(PathExists(folder));
}

TEST_F(SettingsTest, LongRecordFolderSurvivesApplyAndReload) {
  // A folder beyond the 254 characters of an ordinary value must come back whole;
  // cut, the recordings would silently go to another folder.
  std::wstring folder = dir.path();
  while (folder.size() < 600) folder += L"\\a-rather-long-folder-name";
  SettingsDialogValues values;
  values.wavePath = folder;
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  ASSERT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_TRUE(IsDirectory(folder));
  store.Change([](SettingsRecord& s) { s.WavePath.clear(); });
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->WavePath, folder);
}

// A folder that cannot be recorded into is refused before anything changes: the
// settings in force, Config.ini and the Run key stay as they were, whatever
// else the dialog held.
TEST_F(SettingsTest, AFolderThatCannotBeRecordedIntoChangesNothing) {
  SettingsDialogValues values;
  values.wavePath = dir.file(L"Before");
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  ASSERT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  const SettingsRecord before = *store.Current();
  const std::string file = ReadFileBytes(config);
  ASSERT_TRUE(WriteFileBytes(dir.file(L"plain file"), "x"));

  SettingsDialogValues changed = values;
  changed.saveLF = changed.autoRecord = changed.autoRun = true;
  changed.languageIndex = 1;
  struct Case {
    std::wstring folder;
    ApplyResult result;
  };
  const Case cases[] = {
      {L"C:\\" + std::wstring(kWavePathMaxChars - 2, L'x'), ApplyResult::FolderTooLong},  // one beyond the limit
      {dir.file(L"plain file") + L"\\Records", ApplyResult::FolderNotCreated},         // under a file
      {dir.file(L"plain file"), ApplyResult::FolderNotCreated},                         // a file itself
      {L"Records\\Calls", ApplyResult::FolderNotCreated},  // relative: wherever the current folder is
  };
  for (const Case& c : cases) {
    changed.wavePath = c.folder;
    EXPECT_EQ(ApplySettings(store, language, changed, config), c.result);
    EXPECT_EQ(*store.Current(), before);
    EXPECT_EQ(ReadFileBytes(config), file);
    std::wstring data;
    EXPECT_FALSE(ReadAutorunValue(kAutorunValueName, data));
    EXPECT_EQ(language.Section(), L"Chs");
  }
  EXPECT_FALSE(PathExists(dir.path() + L"\\Records"));

  // At the limit itself the folder is taken.
  changed.wavePath = dir.path();
  while (changed.wavePath.size() + 1 < kWavePathMaxChars)
    changed.wavePath += L"\\" + std::wstring(std::min<size_t>(100, kWavePathMaxChars - changed.wavePath.size() - 1), L'y');
  ASSERT_EQ(changed.wavePath.size(), kWavePathMaxChars);
  EXPECT_EQ(ApplySettings(store, language, changed, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->WavePath, changed.wavePath);
  DeleteAutorunValue(kAutorunValueName);
}

TEST_F(SettingsTest, ANewNestedFolderIsCreatedWithEveryLevelAndAnEmptyOneIsTheDefault) {
  SettingsDialogValues values;
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  values.wavePath = dir.path() + L"\\Calls\\2026\\Work\\";
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_TRUE(IsDirectory(dir.path() + L"\\Calls\\2026\\Work"));
  EXPECT_EQ(store.Current()->WavePath, values.wavePath);
  // The same nested folder written into Config.ini by hand is made at start.
  std::wstring handEdited = dir.path() + L"\\Hand\\Edited";
  ASSERT_TRUE(IniFile(config).WriteString(L"Setting", L"WavePath", handEdited));
  LoadSettings(store, language, config);
  EXPECT_TRUE(IsDirectory(handEdited));

  values.wavePath.clear();
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->WavePath, documents.path() + L"\\Calvoro Record");
  EXPECT_TRUE(IsDirectory(documents.path() + L"\\Calvoro Record"));
}

TEST_F(SettingsTest, AConfigIniThatCannotBeWrittenLeavesTheAppliedSetInForce) {
  SettingsDialogValues values;
  values.languageIndex = 1;
  values.recordWayIndex = 2;
  values.saveLF = true;
  values.wavePath = dir.file(L"R");
  std::wstring unwritable = dir.file(L"missing folder") + L"\\Config.ini";
  EXPECT_EQ(ApplySettings(store, language, values, unwritable), ApplyResult::Applied);
  EXPECT_FALSE(FileExists(unwritable));
  EXPECT_EQ(store.Current()->RecordWay, 2);
  EXPECT_EQ(store.Current()->SaveLF, 1);
  EXPECT_EQ(language.Section(), L"Cht");
}

TEST_F(SettingsTest, SaveWritesEveryFieldAndLoadReadsItBack) {
  LoadSettings(store, language, config);
  SettingsRecord all;
  all.Language_Select = 1;
  all.AutoRun = 1;
  all.RecordWay = 2;
  all.AutoRecord = 1;
  all.CloseSkypeMainWindowWhenTalking = 1;
  all.CloseSkypeCallQualityWindow = 1;
  all.OpenRecordFolderAfterRecording = 1;
  all.ShowStatusOnTray = 1;
  all.SaveLF = 1;
  all.RecordFormat = 63;
  all.WavePath = dir.file(L"Saved");
  all.RecordContacts = kRecordAllButListed;
  all.ContactList = L"bob carol.smith live:dave";
  all.KeepDays = 400;
  store.Publish(all);
  EXPECT_TRUE(SaveSettings(*store.Current(), config));
  IniFile ini(config);
  for (const wchar_t* key : {L"Language_Select", L"AutoRun", L"AutoRecord", L"CloseSkypeMainWindowWhenTalking",
                             L"CloseSkypeCallQualityWindow", L"OpenRecordFolderAfterRecording",
                             L"ShowStatusOnTray", L"SaveLF"})
    EXPECT_EQ(ini.ReadString(L"Setting", key), L"1") << key;
  EXPECT_EQ(ini.ReadString(L"Setting", L"RecordWay"), L"2");
  EXPECT_EQ(ini.ReadString(L"Setting", L"RecordFormat"), L"63");
  store.Publish(SettingsRecord());
  LoadSettings(store, language, config);
  EXPECT_EQ(*store.Current(), all);
  EXPECT_EQ(language.Section(), L"Cht");
}

TEST_F(SettingsTest, ApplyTakesTheDialogValues) {
  SettingsDialogValues values;
  values.autoRecord = true;
  values.saveLF = true;
  values.formatOgg = true;
  values.formatOpus = true;
  values.formatWav = true;
  values.closeSkypeCallQualityWindow = true;
  values.languageIndex = 1;
  values.recordWayIndex = 1;
  values.wavePath = dir.file(L"Applied");
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->AutoRecord, 1);
  EXPECT_EQ(store.Current()->SaveLF, 1);
  EXPECT_EQ(store.Current()->ShowStatusOnTray, 0);
  EXPECT_EQ(store.Current()->RecordFormat, kFormatOgg | kFormatOpus | kFormatWav);
  EXPECT_EQ(store.Current()->CloseSkypeCallQualityWindow, 1);
  EXPECT_EQ(store.Current()->CloseSkypeMainWindowWhenTalking, 0);
  EXPECT_EQ(store.Current()->Language_Select, 1);
  EXPECT_EQ(store.Current()->RecordWay, 1);
  EXPECT_EQ(language.Section(), L"Cht");     // the apply selected it
  EXPECT_TRUE(IsDirectory(dir.file(L"Applied")));  // and created the folder
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"52");
  // The next start reads back what was applied.
  EXPECT_EQ(ReadSettings(config), *store.Current());
  // Opus alone stays alone.
  values = SettingsDialogValues();
  values.formatOpus = true;
  values.wavePath = dir.file(L"Applied");
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"32");
  EXPECT_EQ(ReadSettings(config).RecordFormat, kFormatOpus);
}

TEST_F(SettingsTest, ApplyWithNoFormatStoresMp3AndUnselectedListsStore255) {
  SettingsDialogValues values;
  values.wavePath = dir.file(L"R");
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->RecordFormat, kFormatMp3);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"1");
  EXPECT_EQ(store.Current()->RecordWay, 255);
  EXPECT_EQ(store.Current()->Language_Select, 255);
  EXPECT_EQ(language.Section(), L"Chs");  // 255 keeps the section
  values.languageIndex = 2;                     // a third language in the list
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->Language_Select, 2);
  EXPECT_EQ(language.Section(), L"Chs");
}

// The box writes this program's entry and removes it again; an entry that
// starts another copy of the program (an installed one beside a portable one)
// is that copy's own and stays when the box is left unchecked.
TEST_F(SettingsTest, ApplyWritesAndRemovesOnlyThisProgramsAutorunEntry) {
  SettingsDialogValues values;
  values.wavePath = dir.file(L"R");
  values.autoRun = true;
  ASSERT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  std::wstring data;
  ASSERT_TRUE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_EQ(data, L"\"" + GetModuleFilePath() + L"\" hide");
  EXPECT_TRUE(AutorunStartsThisProgram());
  EXPECT_EQ(store.Current()->AutoRun, 1);
  values.autoRun = false;
  ApplySettings(store, language, values, config);
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_FALSE(AutorunStartsThisProgram());
  EXPECT_EQ(store.Current()->AutoRun, 0);
  // Removing a value that is not there is no failure.
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);

  // The installer's entry for this program, written in another letter case.
  std::wstring upper;
  for (wchar_t c : GetModuleFilePath()) upper += static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - 32 : c);
  ASSERT_TRUE(SetAutorunValue(L"CalvoroRecord", L"\"" + upper + L"\" hide"));
  EXPECT_TRUE(AutorunStartsThisProgram());
  ASSERT_TRUE(SetAutorunValue(L"CalvoroRecord", GetModuleFilePath()));  // unquoted, no argument
  EXPECT_TRUE(AutorunStartsThisProgram());

  std::wstring other = L"\"" + dir.file(L"Other Copy") + L"\\CalvoroRecord.exe\" hide";
  ASSERT_TRUE(SetAutorunValue(L"CalvoroRecord", other));
  EXPECT_FALSE(AutorunStartsThisProgram());
  ApplySettings(store, language, values, config);
  ASSERT_TRUE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_EQ(data, other);
  ASSERT_TRUE(SetAutorunValue(L"CalvoroRecord", L"\"" + GetModuleFilePath() + L"-old\" hide"));
  EXPECT_FALSE(AutorunStartsThisProgram());
  DeleteAutorunValue(L"CalvoroRecord");
}

TEST_F(SettingsTest, LoadingNeverTouchesTheAutorunEntry) {
  DeleteAutorunValue(L"CalvoroRecord");
  WriteConfig("AutoRun=1\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->AutoRun, 1);
  std::wstring data;
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
}

TEST_F(SettingsTest, LongOrdinaryValuesAreCut) {
  WriteConfig("RecordWay=" + std::string(300, '1') + "\r\n");
  LoadSettings(store, language, config);
  // 254 ones read as a saturated number, whose low byte is 255.
  EXPECT_EQ(store.Current()->RecordWay, 255);
}

TEST_F(SettingsTest, ContactRulesAndKeepDaysAreReadWithinTheirRanges) {
  // What a hand-edited file may hold: an unknown rule records every call, a
  // negative number of days keeps everything, a huge one is a century.
  struct Case {
    const char* lines;
    uint8_t rule;
    int days;
  };
  for (const Case& c : {Case{"RecordContacts=1\r\nKeepDays=30\r\n", kRecordListedOnly, 30},
                        Case{"RecordContacts=2\r\nKeepDays=0\r\n", kRecordAllButListed, 0},
                        Case{"RecordContacts=3\r\nKeepDays=-5\r\n", kRecordEveryCall, 0},
                        Case{"RecordContacts=255\r\nKeepDays=999999\r\n", kRecordEveryCall, kKeepDaysMax},
                        Case{"KeepDays=abc\r\n", kRecordEveryCall, 0}}) {
    WriteConfig(std::string(c.lines) + "ContactList=Bob, alice\r\n");
    SettingsRecord read = ReadSettings(config);
    EXPECT_EQ(read.RecordContacts, c.rule) << c.lines;
    EXPECT_EQ(read.KeepDays, c.days) << c.lines;
    EXPECT_EQ(read.ContactList, L"Bob, alice");
  }
  // Applied from the dialog's second page, written and read back alike.
  SettingsDialogValues values;
  values.wavePath = dir.file(L"Rules");
  values.rules.recordContacts = 7;
  values.rules.keepDays = -1;
  values.rules.contactList = L"bob";
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->RecordContacts, kRecordEveryCall);
  EXPECT_EQ(store.Current()->KeepDays, 0);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"KeepDays"), L"0");
  EXPECT_EQ(ReadSettings(config), *store.Current());
}
