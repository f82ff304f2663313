#include <gtest/gtest.h>

#include "app/status_text.h"
#include "app/user_messages.h"
#include "engine/call_recorder.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

namespace {

class StatusTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(path,
                               "[Chs]\r\nRecordPath_Status_1=missing %s\r\nRecordPath_Status_2=low %s %s\r\n"
                               "RecordPath_Status_3=ok %s\r\nFree_Disk_Size=free %s\r\nRecord_Status1=rec %s\r\n"
                               "Record_Status2=paused %s\r\nRecord_Status3=saved %s\r\nRecord_Status5=saving\r\n"
                               "Free_Disk_Size_Unknown=free unknown\r\n"));
  }
  TempDir dir;
  std::wstring path = dir.file(L"Language.ini");
  LanguageTable language{path};
};

}  // namespace

TEST(FreeSpaceText, UnitsChangeAtTheirBorders) {
  EXPECT_EQ(FreeSpaceText(1048576ull * 1024), L"1.00 GB");
  EXPECT_EQ(FreeSpaceText(1048575ull * 1024), L"1023 MB");
  EXPECT_EQ(FreeSpaceText(1023ull * 1024), L"1023.00 KB");
  EXPECT_EQ(FreeSpaceText(1024ull * 1024), L"1 MB");
  EXPECT_EQ(FreeSpaceText(1023), L"0.00 KB");
  EXPECT_EQ(FreeSpaceText(3ull * 1024 * 1024 * 1024 / 2), L"1.50 GB");
}

TEST_F(StatusTextTest, FolderLineChoosesItsTextByFreeSpace) {
  FolderLine low = BuildFolderLine(language, L"C:\\Rec", true, 104857599);
  EXPECT_EQ(low.state, 1);
  EXPECT_EQ(low.text, L"low C:\\Rec 99 MB");
  FolderLine enough = BuildFolderLine(language, L"C:\\Rec", true, 104857600);
  EXPECT_EQ(enough.state, 2);
  EXPECT_EQ(enough.text, L"ok C:\\Rec, free 100 MB");
  FolderLine missing = BuildFolderLine(language, L"C:\\Gone", false, 0);
  EXPECT_EQ(missing.state, 3);
  EXPECT_EQ(missing.text, L"missing C:\\Gone");
  // Free space that cannot be read: the folder is there, and the line says
  // the figure is not known rather than showing an empty one.
  FolderLine unknown = BuildFolderLine(language, L"C:\\Rec", true, -1);
  EXPECT_EQ(unknown.state, 2);
  EXPECT_EQ(unknown.text, L"ok C:\\Rec, free unknown");
}

TEST(ElapsedTime, FormatsHoursBeyondADayAndSurvivesTheTickWrap) {
  EXPECT_EQ(ElapsedTimeText(100 * 3600), L"100:00:00");
  EXPECT_EQ(ElapsedTimeText(3661), L"01:01:01");
  EXPECT_EQ(ElapsedSeconds(0xFFFFFC18u, 1000, 0), 2u);  // 1 s before and after the wrap
  EXPECT_EQ(ElapsedSeconds(5000, 9999, 7), 11u);
}

TEST_F(StatusTextTest, RecordLineFollowsTheRecordingState) {
  EXPECT_EQ(BuildRecordLine(language, false, false, L"alice ", 65), L"rec alice       00:01:05");
  EXPECT_EQ(BuildRecordLine(language, false, true, L"alice ", 65), L"paused alice       00:01:05");
  EXPECT_EQ(BuildRecordLine(language, true, true, L"alice ", 65), L"saving");
}

TEST_F(StatusTextTest, BalloonNamesTheStateWithoutTime) {
  EXPECT_EQ(BuildBalloonText(language, false, false, false, L"alice "), L"rec alice ");
  EXPECT_EQ(BuildBalloonText(language, false, false, true, L"alice "), L"paused alice ");
  EXPECT_EQ(BuildBalloonText(language, false, true, true, L"alice "), L"saved alice ") << "stopped wins over paused";
  EXPECT_EQ(BuildBalloonText(language, true, true, true, L"alice "), L"saving");
}

TEST(VirtualStore, TheCopyLiesUnderTheLocalFolderOnTheSameDriveOnly) {
  const std::wstring local = L"C:\\Users\\ann\\AppData\\Local";
  EXPECT_EQ(VirtualStoreFolder(local, L"C:\\Program Files\\Rec"),
            L"C:\\Users\\ann\\AppData\\Local\\VirtualStore\\Program Files\\Rec");
  EXPECT_EQ(VirtualStoreFolder(local, L"C:\\"), local + L"\\VirtualStore") << "a drive root adds nothing";
  EXPECT_EQ(VirtualStoreFolder(local, L"c:\\Rec"), local + L"\\VirtualStore\\Rec") << "drive letters in any case";
  EXPECT_EQ(VirtualStoreFolder(local, L"D:\\Rec"), L"");
  EXPECT_EQ(VirtualStoreFolder(local, L"\\\\server\\share"), L"");
  EXPECT_EQ(VirtualStoreFolder(L"", L"C:\\Rec"), L"");
}

// Every failure the user is told of has its text in both languages of the
// shipped file, each with the placeholders the program fills; a file without
// the key still says it in English.
TEST(UserMessages, EveryFailureSpeaksBothLanguagesAndFallsBackToEnglish) {
  for (const wchar_t* section : {L"Chs", L"Cht"}) {
    for (const UserText& text : AllUserMessages()) {
      std::wstring shipped = IniReadString(LanguageIniPath(), section, text.key, 254);
      EXPECT_FALSE(shipped.empty()) << text.key;
      EXPECT_EQ(shipped.find(L"%s") != std::wstring::npos, std::wstring(text.fallback).find(L"%s") != std::wstring::npos)
          << text.key;
    }
  }
  LanguageTable shipped(LanguageIniPath());
  TempDir dir;
  LanguageTable empty(dir.file(L"none.ini"));
  const RecordingFailure told[] = {RecordingFailure::HandoffMemory,      RecordingFailure::WriterThread,
                                   RecordingFailure::BasePathTooLong,    RecordingFailure::StreamWriteFailed,
                                   RecordingFailure::StreamNotCompleted, RecordingFailure::MixOutputNotCreated,
                                   RecordingFailure::MixWriteFailed,     RecordingFailure::MixMemory};
  for (RecordingFailure failure : told) {
    EXPECT_FALSE(FailureMessage(shipped, failure).empty());
    EXPECT_NE(FailureMessage(shipped, failure), FailureMessage(empty, failure)) << "the shipped file translates it";
  }
  EXPECT_EQ(FailureMessage(empty, RecordingFailure::MixOutputNotCreated), L"err 2");
  EXPECT_EQ(FailureMessage(empty, RecordingFailure::StreamWriteFailed), L"write file fail!");
  EXPECT_EQ(FailureMessage(nullptr, RecordingFailure::MixMemory), L"allocate memory failed!") << "before a language";
  EXPECT_EQ(FailureMessage(shipped, RecordingFailure::StreamFileNotCreated), L"") << "told by the error line";
  EXPECT_EQ(ApplyFailureMessage(empty, ApplyResult::FolderNotCreated), L"Record folder cannot be created!");
  EXPECT_EQ(ApplyFailureMessage(empty, ApplyResult::Applied), L"");

  // The servers' boxes: one per failure, in the order the start met them, in
  // the form they always had. A server without any port has no box: the
  // recording line says that calls cannot be recorded, and why.
  AudioServersStart start;
  start.localAddressError = 11001;
  start.out.failure = ServerStart::kListenFailed;
  start.out.code = 10048;
  start.in.failure = ServerStart::kSocketInUse;
  std::vector<std::wstring> boxes = ServerStartMessages(empty, start);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].rfind(L"Error retrieving Local IP: WSAHOST_NOT_FOUND", 0), 0u);
  EXPECT_EQ(boxes[1], L"Socket already in use!\r\n");
  EXPECT_TRUE(ServerStartMessages(shipped, AudioServersStart()).empty());
  EXPECT_EQ(NoAudioMessage(empty, start),
            L"Calls cannot be recorded: no port for the audio can be opened (WSAEADDRINUSE).");
  EXPECT_EQ(NoAudioMessage(shipped, start), L"无法录音：无法打开接收音频的端口（WSAEADDRINUSE）。");
  EXPECT_EQ(NoAudioMessage(shipped, AudioServersStart()), L"");
}

TEST(Hotkey, ParsesModifiersLettersDigitsAndFunctionKeysAndRefusesTheRest) {
  unsigned modifiers = 0, key = 0;
  ASSERT_TRUE(ParseHotkey(L"Ctrl+Alt+R", modifiers, key));
  EXPECT_EQ(modifiers, 3u);
  EXPECT_EQ(key, static_cast<unsigned>('R'));
  ASSERT_TRUE(ParseHotkey(L" shift + win + f12 ", modifiers, key));
  EXPECT_EQ(modifiers, 12u);
  EXPECT_EQ(key, 0x7Bu);
  ASSERT_TRUE(ParseHotkey(L"F9", modifiers, key));  // a function key may stand alone
  EXPECT_EQ(modifiers, 0u);
  ASSERT_TRUE(ParseHotkey(L"Control+r", modifiers, key));
  EXPECT_EQ(key, static_cast<unsigned>('R'));
  ASSERT_TRUE(ParseHotkey(L"Ctrl+7", modifiers, key));
  EXPECT_EQ(key, static_cast<unsigned>('7'));
  for (const wchar_t* refused : {L"", L"None", L"R", L"Shift+R", L"Ctrl+Alt", L"Ctrl++R", L"Ctrl+R+T", L"Ctrl+F25",
                                 L"Ctrl+F0", L"Ctrl+Fx", L"Hyper+R", L"Ctrl+Esc"})
    EXPECT_FALSE(ParseHotkey(refused, modifiers, key)) << refused;
}

TEST(SoundSource, NamesTheAppOrTheComputersSoundAndTellsAFailedDevice) {
  TempDir dir;
  LanguageTable english(dir.file(L"none.ini"));
  EXPECT_EQ(SoundCallName(english, L"Teams.exe"), L"Teams");
  EXPECT_EQ(SoundCallName(english, L"zoom.EXE"), L"zoom");
  EXPECT_EQ(SoundCallName(english, L""), L"This computer's sound");
  EXPECT_EQ(SoundSourceLine(english, L"Ctrl+Alt+R", L""), L"Recording this computer's sound (any call app), hotkey Ctrl+Alt+R");
  EXPECT_EQ(SoundSourceLine(english, L"None", L""), L"Recording this computer's sound (any call app)");
  EXPECT_EQ(SoundSourceLine(english, L"Ctrl+Alt+R", L"Headset"), L"Sound device unavailable: Headset (silence recorded)");
  EXPECT_EQ(SoundSourceLine(english, L"Ctrl+Alt+R", L"", true),
            L"Recording this computer's sound (any call app), hotkey Ctrl+Alt+R taken by another program");
  // The shipped file says it in Chinese, with the hotkey in its place.
  LanguageTable shipped(LanguageIniPath());
  const std::wstring line = SoundSourceLine(shipped, L"Ctrl+Alt+R", L"");
  EXPECT_NE(line.find(L"Ctrl+Alt+R"), std::wstring::npos);
  EXPECT_NE(line, SoundSourceLine(english, L"Ctrl+Alt+R", L""));
}
