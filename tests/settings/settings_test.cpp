#include <gtest/gtest.h>

#include <algorithm>

#include "common/strings.h"
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
  EXPECT_EQ(store.Current()->languageIndex, 0);
  EXPECT_EQ(store.Current()->startWithWindows, 0);
  EXPECT_EQ(store.Current()->recordWay, RecordWay::Both);
  EXPECT_EQ(store.Current()->autoRecord, 0);
  EXPECT_EQ(store.Current()->stereo, 0);
  EXPECT_EQ(store.Current()->stateBalloons, 0);
  EXPECT_EQ(store.Current()->hideClientWindowInCall, 0);
  EXPECT_EQ(store.Current()->closeCallQualityWindow, 0);
  EXPECT_EQ(store.Current()->openFolderAfterRecording, 0);
  std::wstring expected = documents.path() + L"\\Calvoro Record";
  EXPECT_EQ(store.Current()->recordFolder, expected);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"WavePath"), expected);
  EXPECT_TRUE(PathExists(expected));
  EXPECT_EQ(language.Section(), L"Chs");
}

TEST_F(SettingsTest, NoChosenFormatFallsBackToMp3) {
  // With no format bit every recording would end without an output file.
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->formats, kFormatMp3);
  WriteConfig("RecordFormat=0\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->formats, kFormatMp3);
  WriteConfig("RecordFormat=64\r\n");  // a bit of no format
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->formats, kFormatMp3);
  WriteConfig("RecordFormat=32\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->formats, kFormatOpus);
  WriteConfig("RecordFormat=17\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->formats, 17);
  WriteConfig("RecordFormat=-1\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->formats, 255);
}

TEST_F(SettingsTest, ValuesAreReadAsBytes) {
  WriteConfig(
      "RecordWay=2\r\nSaveLF=1\r\nAutoRecord= 1\r\nAutoRun=abc\r\nShowStatusOnTray=-1\r\n"
      "CloseSkypeCallQualityWindow=256\r\nCloseSkypeMainWindowWhenTalking=7\r\n"
      "OpenRecordFolderAfterRecording=1\r\nWavePath=" +
      std::string("") + "\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->recordWay, RecordWay::OutOnly);
  EXPECT_EQ(store.Current()->stereo, 1);
  EXPECT_EQ(store.Current()->autoRecord, 1);
  EXPECT_EQ(store.Current()->startWithWindows, 0);
  EXPECT_EQ(store.Current()->stateBalloons, 255);
  EXPECT_EQ(store.Current()->closeCallQualityWindow, 0);
  EXPECT_EQ(store.Current()->hideClientWindowInCall, 7);
  EXPECT_EQ(store.Current()->openFolderAfterRecording, 1);
}

TEST_F(SettingsTest, LanguageSelectSetsTheSectionOrKeepsIt) {
  WriteConfig("Language_Select=5\r\n");
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->languageIndex, 5);
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
  EXPECT_EQ(store.Current()->recordFolder, folder);
  EXPECT_TRUE(PathExists(folder));
}

TEST_F(SettingsTest, LongRecordFolderSurvivesApplyAndReload) {
  // A folder beyond the 254 characters of an ordinary value must come back whole;
  // cut, the recordings would silently go to another folder.
  std::wstring folder = dir.path();
  while (folder.size() < 600) folder += L"\\a-rather-long-folder-name";
  SettingsDialogValues values;
  values.recordFolder = folder;
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  ASSERT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_TRUE(IsDirectory(folder));
  store.Change([](SettingsRecord& s) { s.recordFolder.clear(); });
  LoadSettings(store, language, config);
  EXPECT_EQ(store.Current()->recordFolder, folder);
}

// A folder that cannot be recorded into is refused before anything changes: the
// settings in force, Config.ini and the Run key stay as they were, whatever
// else the dialog held.
TEST_F(SettingsTest, AFolderThatCannotBeRecordedIntoChangesNothing) {
  SettingsDialogValues values;
  values.recordFolder = dir.file(L"Before");
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  ASSERT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  const SettingsRecord before = *store.Current();
  const std::string file = ReadFileBytes(config);
  ASSERT_TRUE(WriteFileBytes(dir.file(L"plain file"), "x"));

  SettingsDialogValues changed = values;
  changed.stereo = changed.autoRecord = changed.startWithWindows = true;
  changed.languageIndex = 1;
  struct Case {
    std::wstring folder;
    ApplyResult result;
  };
  const Case cases[] = {
      {L"C:\\" + std::wstring(kRecordFolderMaxChars - 2, L'x'), ApplyResult::FolderTooLong},  // one beyond the limit
      {dir.file(L"plain file") + L"\\Records", ApplyResult::FolderNotCreated},         // under a file
      {dir.file(L"plain file"), ApplyResult::FolderNotCreated},                         // a file itself
      {L"Records\\Calls", ApplyResult::FolderNotCreated},  // relative: wherever the current folder is
  };
  for (const Case& c : cases) {
    changed.recordFolder = c.folder;
    EXPECT_EQ(ApplySettings(store, language, changed, config), c.result);
    EXPECT_EQ(*store.Current(), before);
    EXPECT_EQ(ReadFileBytes(config), file);
    std::wstring data;
    EXPECT_FALSE(ReadAutorunValue(kAutorunValueName, data));
    EXPECT_EQ(language.Section(), L"Chs");
  }
  EXPECT_FALSE(PathExists(dir.path() + L"\\Records"));

  // At the limit itself the folder is taken.
  changed.recordFolder = dir.path();
  while (changed.recordFolder.size() + 1 < kRecordFolderMaxChars)
    changed.recordFolder += L"\\" + std::wstring(std::min<size_t>(100, kRecordFolderMaxChars - changed.recordFolder.size() - 1), L'y');
  ASSERT_EQ(changed.recordFolder.size(), kRecordFolderMaxChars);
  EXPECT_EQ(ApplySettings(store, language, changed, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->recordFolder, changed.recordFolder);
  DeleteAutorunValue(kAutorunValueName);
}

TEST_F(SettingsTest, ANewNestedFolderIsCreatedWithEveryLevelAndAnEmptyOneIsTheDefault) {
  SettingsDialogValues values;
  values.languageIndex = 0;
  values.recordWayIndex = 0;
  values.recordFolder = dir.path() + L"\\Calls\\2026\\Work\\";
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_TRUE(IsDirectory(dir.path() + L"\\Calls\\2026\\Work"));
  EXPECT_EQ(store.Current()->recordFolder, values.recordFolder);
  // The same nested folder written into Config.ini by hand is made at start.
  std::wstring handEdited = dir.path() + L"\\Hand\\Edited";
  ASSERT_TRUE(IniFile(config).WriteString(L"Setting", L"WavePath", handEdited));
  LoadSettings(store, language, config);
  EXPECT_TRUE(IsDirectory(handEdited));

  values.recordFolder.clear();
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->recordFolder, documents.path() + L"\\Calvoro Record");
  EXPECT_TRUE(IsDirectory(documents.path() + L"\\Calvoro Record"));
}

TEST_F(SettingsTest, AConfigIniThatCannotBeWrittenLeavesTheAppliedSetInForce) {
  SettingsDialogValues values;
  values.languageIndex = 1;
  values.recordWayIndex = 2;
  values.stereo = true;
  values.recordFolder = dir.file(L"R");
  std::wstring unwritable = dir.file(L"missing folder") + L"\\Config.ini";
  EXPECT_EQ(ApplySettings(store, language, values, unwritable), ApplyResult::Applied);
  EXPECT_FALSE(FileExists(unwritable));
  EXPECT_EQ(store.Current()->recordWay, RecordWay::OutOnly);
  EXPECT_EQ(store.Current()->stereo, 1);
  EXPECT_EQ(language.Section(), L"Cht");
}

// Every key is written in the file's order and format, and read back as it
// was written: a new Config.ini holds exactly these lines.
TEST_F(SettingsTest, SaveWritesEveryKeyInOrderAndLoadReadsItBack) {
  SettingsRecord all;
  all.languageIndex = 1;
  all.startWithWindows = 1;
  all.recordWay = RecordWay::OutOnly;
  all.autoRecord = 1;
  all.openFolderAfterRecording = 1;
  all.stereo = 1;
  all.formats = 63;
  all.stateBalloons = 1;
  all.savedNotice = 0;
  all.hideClientWindowInCall = 1;
  all.closeCallQualityWindow = 1;
  all.recordFolder = dir.file(L"Saved");
  all.captureSource = CaptureSource::Sound;
  all.farEndDevice = L"Monitor of Speakers";
  all.nearEndDevice = L"Headset";
  all.recordHotkey = L"None";
  all.autoRecordApps = L"Zoom.exe;Teams.exe";
  all.recordContacts = RecordContacts::AllButListed;
  all.contactList = L"bob carol.smith live:dave";
  all.keepDays = 400;
  ASSERT_TRUE(SaveSettings(all, config));
  const std::string expected =
      "[Setting]\r\nLanguage_Select=1\r\nAutoRun=1\r\nRecordWay=2\r\nAutoRecord=1\r\n"
      "OpenRecordFolderAfterRecording=1\r\nSaveLF=1\r\nRecordFormat=63\r\nShowStatusOnTray=1\r\n"
      "ShowSavedNotice=0\r\nCloseSkypeMainWindowWhenTalking=1\r\nCloseSkypeCallQualityWindow=1\r\n"
      "WavePath=" + Utf8FromWide(all.recordFolder) + "\r\nCaptureSource=1\r\nFarEndDevice=Monitor of Speakers\r\n"
      "NearEndDevice=Headset\r\nRecordHotkey=None\r\nAutoRecordApps=Zoom.exe;Teams.exe\r\nRecordContacts=2\r\n"
      "ContactList=bob carol.smith live:dave\r\nKeepDays=400\r\n";
  EXPECT_EQ(ReadFileBytes(config), expected);
  LoadSettings(store, language, config);
  EXPECT_EQ(*store.Current(), all);
  EXPECT_EQ(language.Section(), L"Cht");
  // Saved again, the same bytes: no field is lost on its way in.
  ASSERT_TRUE(SaveSettings(*store.Current(), dir.file(L"Again.ini")));
  EXPECT_EQ(ReadFileBytes(dir.file(L"Again.ini")), expected);

  // A record nobody changed holds the defaults.
  ASSERT_TRUE(SaveSettings(SettingsRecord(), dir.file(L"Defaults.ini")));
  EXPECT_EQ(ReadFileBytes(dir.file(L"Defaults.ini")),
            "[Setting]\r\nLanguage_Select=0\r\nAutoRun=0\r\nRecordWay=0\r\nAutoRecord=0\r\n"
            "OpenRecordFolderAfterRecording=0\r\nSaveLF=0\r\nRecordFormat=0\r\nShowStatusOnTray=0\r\n"
            "ShowSavedNotice=1\r\nCloseSkypeMainWindowWhenTalking=0\r\nCloseSkypeCallQualityWindow=0\r\n"
            "WavePath=\r\nCaptureSource=0\r\nFarEndDevice=\r\nNearEndDevice=\r\nRecordHotkey=Ctrl+Alt+R\r\n"
            "AutoRecordApps=" + Utf8FromWide(kDefaultAutoRecordApps) + "\r\nRecordContacts=0\r\nContactList=\r\n"
            "KeepDays=0\r\n");
}

TEST_F(SettingsTest, ApplyTakesTheDialogValues) {
  SettingsDialogValues values;
  values.autoRecord = true;
  values.stereo = true;
  values.formatOgg = true;
  values.formatOpus = true;
  values.formatWav = true;
  values.closeCallQualityWindow = true;
  values.languageIndex = 1;
  values.recordWayIndex = 1;
  values.recordFolder = dir.file(L"Applied");
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->autoRecord, 1);
  EXPECT_EQ(store.Current()->stereo, 1);
  EXPECT_EQ(store.Current()->stateBalloons, 0);
  EXPECT_EQ(store.Current()->formats, kFormatOgg | kFormatOpus | kFormatWav);
  EXPECT_EQ(store.Current()->closeCallQualityWindow, 1);
  EXPECT_EQ(store.Current()->hideClientWindowInCall, 0);
  EXPECT_EQ(store.Current()->languageIndex, 1);
  EXPECT_EQ(store.Current()->recordWay, RecordWay::InOnly);
  EXPECT_EQ(language.Section(), L"Cht");     // the apply selected it
  EXPECT_TRUE(IsDirectory(dir.file(L"Applied")));  // and created the folder
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"52");
  // The next start reads back what was applied.
  EXPECT_EQ(ReadSettings(config), *store.Current());
  // Opus alone stays alone.
  values = SettingsDialogValues();
  values.formatOpus = true;
  values.recordFolder = dir.file(L"Applied");
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"32");
  EXPECT_EQ(ReadSettings(config).formats, kFormatOpus);
}

TEST_F(SettingsTest, ApplyWithNoFormatStoresMp3AndUnselectedListsStore255) {
  SettingsDialogValues values;
  values.recordFolder = dir.file(L"R");
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->formats, kFormatMp3);
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"RecordFormat"), L"1");
  EXPECT_EQ(store.Current()->recordWay, static_cast<RecordWay>(255));
  EXPECT_EQ(store.Current()->languageIndex, 255);
  EXPECT_EQ(language.Section(), L"Chs");  // 255 keeps the section
  values.languageIndex = 2;                     // a third language in the list
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->languageIndex, 2);
  EXPECT_EQ(language.Section(), L"Chs");
}

// The box writes this program's entry and removes it again; an entry that
// starts another copy of the program (an installed one beside a portable one)
// is that copy's own and stays when the box is left unchecked.
TEST_F(SettingsTest, ApplyWritesAndRemovesOnlyThisProgramsAutorunEntry) {
  SettingsDialogValues values;
  values.recordFolder = dir.file(L"R");
  values.startWithWindows = true;
  ASSERT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  std::wstring data;
  ASSERT_TRUE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_EQ(data, L"\"" + GetModuleFilePath() + L"\" hide");
  EXPECT_TRUE(AutorunStartsThisProgram());
  EXPECT_EQ(store.Current()->startWithWindows, 1);
  values.startWithWindows = false;
  ApplySettings(store, language, values, config);
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
  EXPECT_FALSE(AutorunStartsThisProgram());
  EXPECT_EQ(store.Current()->startWithWindows, 0);
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
  EXPECT_EQ(store.Current()->startWithWindows, 1);
  std::wstring data;
  EXPECT_FALSE(ReadAutorunValue(L"CalvoroRecord", data));
}

TEST_F(SettingsTest, LongOrdinaryValuesAreCut) {
  WriteConfig("RecordWay=" + std::string(300, '1') + "\r\n");
  LoadSettings(store, language, config);
  // 254 ones read as a saturated number, whose low byte is 255.
  EXPECT_EQ(store.Current()->recordWay, static_cast<RecordWay>(255));
}

TEST_F(SettingsTest, RangedKeysAreReadAndAppliedWithinTheirRanges) {
  // What a hand-edited file may hold: an unknown rule records every call, a
  // negative number of days keeps everything, a huge one is a century, an
  // unknown source is the client's (a byte: 257 is 1), a missing or empty
  // saved notice is on, an empty hotkey or app list the default.
  struct Case {
    const char* lines;
    RecordContacts rule;
    int days;
    CaptureSource source;
    uint8_t savedNotice;
  };
  for (const Case& c : {
           Case{"RecordContacts=1\r\nKeepDays=30\r\nCaptureSource=1\r\n", RecordContacts::ListedOnly, 30,
                CaptureSource::Sound, 1},
           Case{"RecordContacts=2\r\nKeepDays=0\r\nCaptureSource=2\r\nShowSavedNotice=abc\r\n",
                RecordContacts::AllButListed, 0, CaptureSource::Client, 0},
           Case{"RecordContacts=3\r\nKeepDays=-5\r\nCaptureSource=-1\r\nShowSavedNotice=\r\n",
                RecordContacts::EveryCall, 0, CaptureSource::Client, 1},
           Case{"RecordContacts=255\r\nKeepDays=999999\r\nCaptureSource=257\r\nShowSavedNotice=2\r\n",
                RecordContacts::EveryCall, kKeepDaysMax, CaptureSource::Sound, 2},
           Case{"KeepDays=abc\r\nRecordHotkey=\r\nAutoRecordApps=\r\n", RecordContacts::EveryCall, 0,
                CaptureSource::Client, 1}}) {
    WriteConfig(std::string(c.lines) + "ContactList=Bob, alice\r\n");
    SettingsRecord read = ReadSettings(config);
    EXPECT_EQ(read.recordContacts, c.rule) << c.lines;
    EXPECT_EQ(read.keepDays, c.days) << c.lines;
    EXPECT_EQ(read.captureSource, c.source) << c.lines;
    EXPECT_EQ(read.savedNotice, c.savedNotice) << c.lines;
    EXPECT_EQ(read.recordHotkey, kDefaultRecordHotkey) << c.lines;
    EXPECT_EQ(read.autoRecordApps, kDefaultAutoRecordApps) << c.lines;
    EXPECT_EQ(read.contactList, L"Bob, alice");
  }
  // Applied from the dialog, the same rules; written and read back alike.
  SettingsDialogValues values;
  values.recordFolder = dir.file(L"Rules");
  values.rules.recordContacts = static_cast<RecordContacts>(7);
  values.rules.keepDays = -1;
  values.rules.contactList = std::wstring(kContactListMaxChars + 10, L'b');
  values.sound.captureSource = static_cast<CaptureSource>(5);
  values.sound.farEndDevice = std::wstring(kIniValueMaxChars + 20, L'd');
  values.sound.recordHotkey.clear();
  values.sound.autoRecordApps.clear();
  EXPECT_EQ(ApplySettings(store, language, values, config), ApplyResult::Applied);
  EXPECT_EQ(store.Current()->recordContacts, RecordContacts::EveryCall);
  EXPECT_EQ(store.Current()->keepDays, 0);
  EXPECT_EQ(store.Current()->captureSource, CaptureSource::Client);
  EXPECT_EQ(store.Current()->recordHotkey, kDefaultRecordHotkey);
  EXPECT_EQ(store.Current()->autoRecordApps, kDefaultAutoRecordApps);
  EXPECT_EQ(store.Current()->contactList, std::wstring(kContactListMaxChars, L'b'));
  // Every text is cut as reading cuts it: what is in force now is what the
  // next start reads.
  EXPECT_EQ(store.Current()->farEndDevice, std::wstring(kIniValueMaxChars, L'd'));
  EXPECT_EQ(IniFile(config).ReadString(L"Setting", L"KeepDays"), L"0");
  EXPECT_EQ(ReadSettings(config), *store.Current());
}
