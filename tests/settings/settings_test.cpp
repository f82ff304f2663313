#include <gtest/gtest.h>

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
    SelectLanguageSection(0);
  }
  void TearDown() override { OverrideDocumentsFolder(L""); }

  void WriteConfig(const std::string& lines) { ASSERT_TRUE(WriteFileBytes(config, "[Setting]\r\n" + lines)); }

  TempDir dir;
  TempDir documents;
  std::wstring config = dir.file(L"Config.ini");
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
  LoadSettings(config);
  EXPECT_EQ(Settings.Language_Select, 0);
  EXPECT_EQ(Settings.AutoRun, 0);
  EXPECT_EQ(Settings.RecordWay, 0);
  EXPECT_EQ(Settings.AutoRecord, 0);
  EXPECT_EQ(Settings.SaveLF, 0);
  EXPECT_EQ(Settings.ShowStatusOnTray, 0);
  EXPECT_EQ(Settings.CloseSkypeMainWindowWhenTalking, 0);
  EXPECT_EQ(Settings.CloseSkypeCallQualityWindow, 0);
  EXPECT_EQ(Settings.OpenRecordFolderAfterRecording, 0);
  std::wstring expected = documents.path() + L"\\Calvoro Record";
  EXPECT_EQ(Settings.WavePath(), expected);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"WavePath"), expected);
  EXPECT_TRUE(PathExists(expected));
  EXPECT_EQ(CurrentLanguageSection(), L"Chs");
}

TEST_F(SettingsTest, NoChosenFormatFallsBackToMp3) {
  // With no format bit every recording would end without an output file.
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordFormat, kFormatMp3);
  WriteConfig("RecordFormat=0\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordFormat, kFormatMp3);
  WriteConfig("RecordFormat=32\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordFormat, kFormatMp3);
  WriteConfig("RecordFormat=17\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordFormat, 17);
  WriteConfig("RecordFormat=-1\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordFormat, 255);
}

TEST_F(SettingsTest, ValuesAreReadAsBytes) {
  WriteConfig(
      "RecordWay=2\r\nSaveLF=1\r\nAutoRecord= 1\r\nAutoRun=abc\r\nShowStatusOnTray=-1\r\n"
      "CloseSkypeCallQualityWindow=256\r\nCloseSkypeMainWindowWhenTalking=7\r\n"
      "OpenRecordFolderAfterRecording=1\r\nWavePath=" +
      std::string("") + "\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordWay, 2);
  EXPECT_EQ(Settings.SaveLF, 1);
  EXPECT_EQ(Settings.AutoRecord, 1);
  EXPECT_EQ(Settings.AutoRun, 0);
  EXPECT_EQ(Settings.ShowStatusOnTray, 255);
  EXPECT_EQ(Settings.CloseSkypeCallQualityWindow, 0);
  EXPECT_EQ(Settings.CloseSkypeMainWindowWhenTalking, 7);
  EXPECT_EQ(Settings.OpenRecordFolderAfterRecording, 1);
}

TEST_F(SettingsTest, LanguageSelectSetsTheSectionOrKeepsIt) {
  WriteConfig("Language_Select=5\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.Language_Select, 5);
  EXPECT_EQ(CurrentLanguageSection(), L"Chs");
  WriteConfig("Language_Select=1\r\n");
  LoadSettings(config);
  EXPECT_EQ(CurrentLanguageSection(), L"Cht");
  WriteConfig("Language_Select=2\r\n");
  LoadSettings(config);
  EXPECT_EQ(CurrentLanguageSection(), L"Cht");
  WriteConfig("Language_Select=0\r\n");
  LoadSettings(config);
  EXPECT_EQ(CurrentLanguageSection(), L"Chs");
}

TEST_F(SettingsTest, AGivenRecordFolderIsKeptAndCreated) {
  std::wstring folder = dir.file(L"My Recordings");
  ASSERT_TRUE(IniFile(config).WriteString(L"Setting", L"WavePath", folder));
  LoadSettings(config);
  EXPECT_EQ(Settings.WavePath(), folder);
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
  EXPECT_TRUE(ApplySettings(values, config));
  LoadSettings(config);
  EXPECT_EQ(Settings.WavePath(), folder);
}

TEST_F(SettingsTest, ARecordFolderBeyondTheLimitIsRefused) {
  std::wstring before = dir.file(L"Before");
  SettingsDialogValues values;
  values.wavePath = before;
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  ASSERT_TRUE(ApplySettings(values, config));
  values.wavePath = L"C:\\" + std::wstring(kWavePathMaxChars, L'x');
  values.saveLF = true;
  EXPECT_FALSE(ApplySettings(values, config));
  EXPECT_EQ(Settings.WavePath(), before);
  EXPECT_EQ(Settings.SaveLF, 1);  // the other values are still taken
  LoadSettings(config);
  EXPECT_EQ(Settings.WavePath(), before);
  values.wavePath = dir.path() + L"\\" + std::wstring(kWavePathMaxChars - dir.path().size() - 1, L'y');
  EXPECT_TRUE(ApplySettings(values, config));
  EXPECT_EQ(Settings.WavePath().size(), kWavePathMaxChars);
}

TEST_F(SettingsTest, SaveWritesEveryFieldAndLoadReadsItBack) {
  LoadSettings(config);
  Settings.Language_Select = 1;
  Settings.AutoRun = 1;
  Settings.RecordWay = 2;
  Settings.AutoRecord = 1;
  Settings.CloseSkypeMainWindowWhenTalking = 1;
  Settings.CloseSkypeCallQualityWindow = 1;
  Settings.OpenRecordFolderAfterRecording = 1;
  Settings.ShowStatusOnTray = 1;
  Settings.SaveLF = 1;
  Settings.RecordFormat = 31;
  Settings.SetWavePath(dir.file(L"Saved"));
  SaveSettings(config);
  IniFile ini(config);
  for (const wchar_t* key : {L"Language_Select", L"AutoRun", L"AutoRecord", L"CloseSkypeMainWindowWhenTalking",
                             L"CloseSkypeCallQualityWindow", L"OpenRecordFolderAfterRecording",
                             L"ShowStatusOnTray", L"SaveLF"})
    EXPECT_EQ(ini.ReadString(L"Setting", key), L"1") << key;
  EXPECT_EQ(ini.ReadString(L"Setting", L"RecordWay"), L"2");
  EXPECT_EQ(ini.ReadString(L"Setting", L"RecordFormat"), L"31");
  Settings.RecordWay = 0;
  Settings.SetWavePath(L"");
  LoadSettings(config);
  EXPECT_EQ(Settings.RecordWay, 2);
  EXPECT_EQ(Settings.RecordFormat, 31);
  EXPECT_EQ(Settings.WavePath(), dir.file(L"Saved"));
  EXPECT_EQ(CurrentLanguageSection(), L"Cht");
}

TEST_F(SettingsTest, ApplyTakesTheDialogValues) {
  SettingsDialogValues values;
  values.autoRecord = true;
  values.saveLF = true;
  values.formatOgg = true;
  values.formatWav = true;
  values.closeSkypeCallQualityWindow = true;
  values.languageIndex = 1;
  values.recordWayIndex = 1;
  values.wavePath = dir.file(L"Applied");
  EXPECT_TRUE(ApplySettings(values, config));
  EXPECT_EQ(Settings.AutoRecord, 1);
  EXPECT_EQ(Settings.SaveLF, 1);
  EXPECT_EQ(Settings.ShowStatusOnTray, 0);
  EXPECT_EQ(Settings.RecordFormat, kFormatOgg | kFormatWav);
  EXPECT_EQ(Settings.CloseSkypeCallQualityWindow, 1);
  EXPECT_EQ(Settings.CloseSkypeMainWindowWhenTalking, 0);
  EXPECT_EQ(Settings.Language_Select, 1);
  EXPECT_EQ(Settings.RecordWay, 1);
  EXPECT_EQ(CurrentLanguageSection(), L"Cht");  // the reload selected it
  EXPECT_TRUE(PathExists(dir.file(L"Applied")));  // and created the folder
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"20");
}

TEST_F(SettingsTest, ApplyWithNoFormatStoresMp3AndUnselectedListsStore255) {
  SettingsDialogValues values;
  values.wavePath = dir.file(L"R");
  EXPECT_TRUE(ApplySettings(values, config));
  EXPECT_EQ(Settings.RecordFormat, kFormatMp3);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"1");
  EXPECT_EQ(Settings.RecordWay, 255);
  EXPECT_EQ(Settings.Language_Select, 255);
  EXPECT_EQ(CurrentLanguageSection(), L"Chs");  // 255 keeps the section
  values.languageIndex = 2;                     // a third language in the list
  ApplySettings(values, config);
  EXPECT_EQ(Settings.Language_Select, 2);
  EXPECT_EQ(CurrentLanguageSection(), L"Chs");
}

TEST_F(SettingsTest, ApplyWritesAndRemovesTheAutorunEntry) {
  SettingsDialogValues values;
  values.wavePath = dir.file(L"R");
  values.autoRun = true;
  ApplySettings(values, config);
  std::wstring data;
  ASSERT_TRUE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_EQ(data, L"\"" + GetModuleFilePath() + L"\" hide");
  EXPECT_EQ(Settings.AutoRun, 1);
  values.autoRun = false;
  ApplySettings(values, config);
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_EQ(Settings.AutoRun, 0);
  // Removing a value that is not there is no failure.
  ApplySettings(values, config);
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
}

TEST_F(SettingsTest, LoadingNeverTouchesTheAutorunEntry) {
  DeleteAutorunValue(L"CalvoroRecord");
  WriteConfig("AutoRun=1\r\n");
  LoadSettings(config);
  EXPECT_EQ(Settings.AutoRun, 1);
  std::wstring data;
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
}

TEST_F(SettingsTest, LongOrdinaryValuesAreCut) {
  WriteConfig("RecordWay=" + std::string(300, '1') + "\r\n");
  LoadSettings(config);
  // 254 ones read as a saturated number, whose low byte is 255.
  EXPECT_EQ(Settings.RecordWay, 255);
}
