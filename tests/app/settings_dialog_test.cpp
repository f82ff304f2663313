// The settings dialog as the user meets it: a modeless window on the window
// thread beside a stand-in main window, with a recorder of a copy of the
// program; the test clicks, types and chooses with real input, and reads back
// Config.ini (where the program keeps it), the Run key, what the main window
// is told, the dialog's controls and its pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "app/resource.h"
#include "app/setting_dlg.h"
#include "app/user_messages.h"
#include "platform/autorun.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "tests/app/dialog_test_support.h"
#include "ui/control.h"

namespace {

class SettingsDialogTest : public ::testing::Test {
 protected:
  SettingsDialogTest() {
    // A pixel where the checked and the unchecked box differ.
    std::wstring image = GetModuleDirectory() + L"Image\\";
    for (int i = 2; i < 14 && boxPixel.x < 0; ++i) {
      COLORREF on = ImagePixel(image + L"CheckBox_on_normal.bmp", i, i);
      COLORREF off = ImagePixel(image + L"CheckBox_off_normal.bmp", i, i);
      if (on != off) {
        boxPixel = {i, i};
        onColor = on;
        offColor = off;
      }
    }
  }

  std::unique_ptr<OpenDialog> Open() {
    return OpenDialog::Open(windows, [this] {
      return std::make_unique<CSettingDlg>(windows.main(), *program.recorder, windows.work());
    });
  }
  std::wstring ConfigIniPath() const { return program.recorder->configPath(); }
  const SettingsStore& settings() const { return program.recorder->settings(); }

  // What a check box shows, read on the screen once the pointer is away.
  bool ShowsChecked(const OpenDialog& dialog, int id) {
    HWND box = dialog.item(id);
    COLORREF shown = CLR_INVALID;
    PumpUntil([&] {
      shown = Pixels::OfClient(box).at(boxPixel.x, boxPixel.y);
      return shown == onColor || shown == offColor;
    });
    EXPECT_TRUE(shown == onColor || shown == offColor) << "box " << id;
    return shown == onColor;
  }

  // Clicks a check box, and sees it show its new state once the pointer has
  // left it.
  void Toggle(const OpenDialog& dialog, int id) {
    HWND box = dialog.item(id);
    COLORREF before = Pixels::OfClient(box).at(boxPixel.x, boxPixel.y);
    Click(box);
    bool left = false;
    for (int attempt = 0; attempt < 15 && !left; ++attempt) {
      POINT away = Mouse::Away();
      Mouse::MoveToScreen({away.x - attempt % 2, away.y});
      left = PumpUntil([&] { return !MouseCaptureOf(box); }, std::chrono::seconds(2));
    }
    EXPECT_TRUE(left) << id;
    COLORREF expected = before == onColor ? offColor : onColor;
    EXPECT_TRUE(PumpUntil([&] { return Pixels::OfClient(box).at(boxPixel.x, boxPixel.y) == expected; })) << id;
  }

  int Selected(const OpenDialog& dialog, int list) {
    return static_cast<int>(SendMessageW(dialog.item(list), CB_GETCURSEL, 0, 0));
  }

  // Opens the list with a click and clicks its item.
  void ChooseByClicks(const OpenDialog& dialog, int list, int item) {
    HWND combo = dialog.item(list);
    Click(combo);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; }));
    RECT rect;
    ASSERT_NE(SendMessageW(info.hwndList, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&rect)), LB_ERR);
    ClickAt(info.hwndList, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    EXPECT_TRUE(PumpUntil([&] { return Selected(dialog, list) == item && !IsWindowVisible(info.hwndList); }));
  }

  // Clicks into the field and replaces its text by typing.
  void TypeFolder(const OpenDialog& dialog, const std::wstring& folder) {
    HWND field = dialog.item(IDC_SETTING_FOLDER);
    Click(field);
    ASSERT_TRUE(AwaitKeyboardIn(field));
    Keyboard::Press(VK_HOME);
    Keyboard::Press(VK_END, true);
    Keyboard::Type(folder);
    EXPECT_TRUE(PumpUntil([&] { return GetWindowTextString(field) == folder; }));
  }

  ProgramCopy program;
  WindowThread windows;
  POINT boxPixel = {-1, -1};
  COLORREF onColor = CLR_INVALID, offColor = CLR_INVALID;
};

constexpr int kBoxes[] = {IDC_SETTING_AUTORUN,     IDC_SETTING_AUTO_RECORD,        IDC_SETTING_OPEN_FOLDER,
                          IDC_SETTING_TRAY_STATUS, IDC_SETTING_SAVED_NOTICE,       IDC_SETTING_STEREO,
                          IDC_SETTING_HIDE_SKYPE,  IDC_SETTING_CLOSE_CALL_QUALITY, IDC_SETTING_MP3,
                          IDC_SETTING_WMA,         IDC_SETTING_OGG,                IDC_SETTING_FLAC,
                          IDC_SETTING_WAV,         IDC_SETTING_OPUS};
// The format boxes from left to right, which is also their tab order.
constexpr int kFormatRow[] = {IDC_SETTING_MP3,  IDC_SETTING_OGG, IDC_SETTING_OPUS,
                              IDC_SETTING_FLAC, IDC_SETTING_WMA, IDC_SETTING_WAV};
// The boxes checked at a first start.
bool CheckedAtFirst(int id) { return id == IDC_SETTING_MP3 || id == IDC_SETTING_SAVED_NOTICE; }

}  // namespace

// Every setting goes through the dialog by the user's own ways in and comes
// back: into Config.ini and the Run key on OK, and into the dialog at the next
// opening. Cancel, the close button and Esc then change nothing, and neither
// does a folder browser that is cancelled.
TEST_F(SettingsDialogTest, EverySettingRoundTripsAndTheWaysOutWithoutApplyingChangeNothing) {
  ASSERT_GE(boxPixel.x, 0);
  std::wstring nested = program.documents.path() + L"\\Calls\\2026\\Work";
  {
    auto dialog = Open();
    // The settings of a first start: only MP3 and the saved recording's
    // notice, the first of each list, the default folder.
    for (int id : kBoxes) EXPECT_EQ(ShowsChecked(*dialog, id), CheckedAtFirst(id)) << id;
    EXPECT_EQ(Selected(*dialog, IDC_SETTING_LANGUAGE), 0);
    EXPECT_EQ(Selected(*dialog, IDC_SETTING_RECORD_WAY), 0);
    EXPECT_EQ(dialog->text(IDC_SETTING_FOLDER), program.documents.path() + L"\\Calvoro Record");
    // The lists in the file's order, the third language included.
    EXPECT_EQ(SendMessageW(dialog->item(IDC_SETTING_LANGUAGE), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(dialog->item(IDC_SETTING_RECORD_WAY), CB_GETCOUNT, 0, 0), 3);
    // Each check box keeps its template's width, so its caption shows whole;
    // the format boxes stand in one row between the folder field's left edge
    // and Browse's right edge, each ending before the next one begins, with
    // its caption's last stroke clear of its right edge.
    for (int id : kBoxes) {
      if (std::find(std::begin(kFormatRow), std::end(kFormatRow), id) != std::end(kFormatRow)) continue;
      RECT box;
      GetClientRect(dialog->item(id), &box);
      EXPECT_GT(box.right, 60) << id;
    }
    const HWND window = dialog->hwnd();
    auto rect = [&](int id) { return RectIn(window, dialog->item(id)); };
    EXPECT_GE(rect(kFormatRow[0]).left, rect(IDC_SETTING_FOLDER).left);
    EXPECT_LE(rect(kFormatRow[std::size(kFormatRow) - 1]).right, rect(IDC_SETTING_BROWSE).right);
    for (size_t n = 0; n < std::size(kFormatRow); ++n) {
      const int id = kFormatRow[n];
      RECT box = rect(id);
      EXPECT_EQ(box.top, rect(kFormatRow[0]).top) << id;
      if (n + 1 < std::size(kFormatRow)) {
        EXPECT_LT(box.right, rect(kFormatRow[n + 1]).left) << id;
        EXPECT_EQ(GetWindow(dialog->item(id), GW_HWNDNEXT), dialog->item(kFormatRow[n + 1])) << id;
      }
      const int width = box.right - box.left, height = box.bottom - box.top;
      int lastInk = -1;
      ASSERT_TRUE(PumpUntil([&] {
        Pixels shot = Pixels::OfClient(dialog->item(id));
        lastInk = -1;
        for (int x = width - 1; x >= 0 && lastInk < 0; --x)
          if (DarkPixels(shot, {x, 0, x + 1, height}) > 0) lastInk = x;
        return lastInk > width / 2;
      })) << "no caption drawn in " << id;
      EXPECT_LT(lastInk, width - 2) << "caption cut off at the right edge of " << id;
    }

    for (int id : kBoxes) Toggle(*dialog, id);
    ChooseByClicks(*dialog, IDC_SETTING_LANGUAGE, 1);
    // The record way by keyboard: open the list, two down, Enter.
    Click(dialog->item(IDC_SETTING_RECORD_WAY));
    ASSERT_TRUE(AwaitKeyboardIn(dialog->item(IDC_SETTING_RECORD_WAY)));
    Keyboard::Press(VK_DOWN);
    Keyboard::Press(VK_DOWN);
    Keyboard::Press(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return Selected(*dialog, IDC_SETTING_RECORD_WAY) == 2; }));
    TypeFolder(*dialog, nested);
    Click(dialog->item(IDOK));
    ASSERT_TRUE(dialog->WaitEnded());
    EXPECT_EQ(dialog->result(), IDOK);
  }
  for (const wchar_t* key : {L"AutoRun", L"AutoRecord", L"OpenRecordFolderAfterRecording", L"ShowStatusOnTray",
                             L"SaveLF", L"CloseSkypeMainWindowWhenTalking", L"CloseSkypeCallQualityWindow",
                             L"Language_Select"})
    EXPECT_EQ(program.Setting(key), L"1") << key;
  EXPECT_EQ(program.Setting(L"ShowSavedNotice"), L"0");
  EXPECT_EQ(program.Setting(L"RecordFormat"), L"62");  // MP3 off, the other five on
  EXPECT_EQ(program.Setting(L"RecordWay"), L"2");
  EXPECT_EQ(program.Setting(L"WavePath"), nested);
  EXPECT_TRUE(IsDirectory(nested));  // every missing level made
  EXPECT_TRUE(AutorunStartsThisProgram());
  // The main window was told, with the new language already in force.
  ASSERT_TRUE(PumpUntil([&] { return program.events.captionsWhenApplied().size() == 1; }));
  EXPECT_EQ(program.events.captionsWhenApplied()[0], program.Text(L"Cht", L"Main_Caption"));
  const std::string applied = ReadFileBytes(ConfigIniPath());

  {
    auto dialog = Open();
    for (int id : kBoxes) EXPECT_EQ(ShowsChecked(*dialog, id), !CheckedAtFirst(id)) << id;
    EXPECT_EQ(Selected(*dialog, IDC_SETTING_LANGUAGE), 1);
    EXPECT_EQ(Selected(*dialog, IDC_SETTING_RECORD_WAY), 2);
    EXPECT_EQ(dialog->text(IDC_SETTING_FOLDER), nested);
    // Opened in the new language.
    EXPECT_EQ(dialog->text(IDC_SETTING_LANGUAGE_LABEL), program.Text(L"Cht", L"Static_Language"));
    EXPECT_EQ(GetWindowTextString(dialog->hwnd()), program.Text(L"Cht", L"Menu_Setting"));

    // Edited, a folder browser opened and cancelled, then Cancel.
    for (int id : {IDC_SETTING_AUTORUN, IDC_SETTING_STEREO, IDC_SETTING_WAV}) Toggle(*dialog, id);
    TypeFolder(*dialog, program.documents.path() + L"\\Elsewhere");
    Click(dialog->item(IDC_SETTING_BROWSE));
    HWND browser = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (browser = dialog->FindWindowOfClass(L"#32770", dialog->hwnd())) != nullptr; }));
    EXPECT_FALSE(IsWindowEnabled(dialog->hwnd()));
    ASSERT_TRUE(AwaitKeyboardIn(browser));
    Keyboard::Press(VK_ESCAPE);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(browser); }));
    EXPECT_EQ(dialog->text(IDC_SETTING_FOLDER), program.documents.path() + L"\\Elsewhere");
    Click(dialog->item(IDCANCEL));
    ASSERT_TRUE(dialog->WaitEnded());
    EXPECT_EQ(dialog->result(), IDCANCEL);
  }
  // Closed without applying by the close button and by Esc, after edits.
  for (bool escape : {false, true}) {
    auto dialog = Open();
    Toggle(*dialog, IDC_SETTING_AUTO_RECORD);
    TypeFolder(*dialog, L"C:\\Nowhere");
    if (escape) {
      ASSERT_TRUE(AwaitKeyboardIn(dialog->hwnd()));
      Keyboard::Press(VK_ESCAPE);
    } else {
      Click(dialog->item(IDC_SETTING_CLOSE));
    }
    ASSERT_TRUE(dialog->WaitEnded()) << escape;
    EXPECT_EQ(dialog->result(), IDCANCEL);
  }
  EXPECT_EQ(ReadFileBytes(ConfigIniPath()), applied);
  EXPECT_EQ(settings().Current()->recordFolder, nested);
  EXPECT_TRUE(AutorunStartsThisProgram());
  EXPECT_FALSE(PathExists(program.documents.path() + L"\\Elsewhere"));
  PumpPending();
  EXPECT_EQ(program.events.captionsWhenApplied().size(), 1u);

  // Opus alone is kept alone; then no format ticked gives MP3, which the
  // next opening shows ticked.
  {
    auto dialog = Open();
    for (int id : {IDC_SETTING_WMA, IDC_SETTING_OGG, IDC_SETTING_FLAC, IDC_SETTING_WAV}) Toggle(*dialog, id);
    Click(dialog->item(IDOK));
    ASSERT_TRUE(dialog->WaitEnded());
  }
  EXPECT_EQ(program.Setting(L"RecordFormat"), L"32");
  {
    auto dialog = Open();
    for (int id : kFormatRow) EXPECT_EQ(ShowsChecked(*dialog, id), id == IDC_SETTING_OPUS) << id;
    Toggle(*dialog, IDC_SETTING_OPUS);
    Click(dialog->item(IDOK));
    ASSERT_TRUE(dialog->WaitEnded());
  }
  EXPECT_EQ(program.Setting(L"RecordFormat"), L"1");
  auto dialog = Open();
  for (int id : kFormatRow) EXPECT_EQ(ShowsChecked(*dialog, id), id == IDC_SETTING_MP3) << id;
}

// Apply keeps the dialog open, relabels it and the main window in the new
// language at once, and leaves both lists as they were filled. A third
// language stores 2 and keeps the texts of the language in force.
TEST_F(SettingsDialogTest, ApplyRelabelsAtOnceKeepsTheListsAndAThirdLanguageKeepsTheTexts) {
  auto dialog = Open();
  // The title lies on the picture in silver, the labels in black.
  RECT title;
  GetWindowRect(dialog->item(IDC_SETTING_TITLE), &title);
  MapWindowPoints(nullptr, dialog->hwnd(), reinterpret_cast<POINT*>(&title), 2);
  EXPECT_TRUE(PumpUntil([&] { return Pixels::OfClient(dialog->hwnd()).count(title, RGB(192, 192, 192)) > 10; }));
  std::vector<std::wstring> ways;
  for (int i = 0; i < 3; ++i) {
    wchar_t item[256] = L"";
    SendMessageW(dialog->item(IDC_SETTING_RECORD_WAY), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    ways.push_back(item);
  }
  EXPECT_EQ(ways[0], program.Text(L"Chs", L"Combo_Record_Fuction_1"));

  ChooseByClicks(*dialog, IDC_SETTING_LANGUAGE, 1);
  Click(dialog->item(IDC_SETTING_APPLY));
  ASSERT_TRUE(PumpUntil([&] { return program.events.captionsWhenApplied().size() == 1; }));
  EXPECT_EQ(program.events.captionsWhenApplied()[0], program.Text(L"Cht", L"Main_Caption"));
  EXPECT_TRUE(PumpUntil([&] { return dialog->text(IDC_SETTING_FOLDER_LABEL) == program.Text(L"Cht", L"Static_Wave_Path"); }));
  EXPECT_EQ(dialog->text(IDOK), program.Text(L"Cht", L"Button_OK"));
  EXPECT_EQ(dialog->text(IDC_SETTING_AUTO_RECORD), program.Text(L"Cht", L"Button_Auto_Record"));
  EXPECT_EQ(dialog->text(IDC_SETTING_SKYPE_GROUP), program.Text(L"Cht", L"Group_Skype_Setting"));
  EXPECT_EQ(GetWindowTextString(dialog->hwnd()), program.Text(L"Cht", L"Menu_Setting"));
  EXPECT_EQ(dialog->text(IDC_SETTING_MP3), L"MP3");
  EXPECT_FALSE(dialog->ended());
  EXPECT_EQ(program.Setting(L"Language_Select"), L"1");
  for (int i = 0; i < 3; ++i) {
    wchar_t item[256] = L"";
    SendMessageW(dialog->item(IDC_SETTING_RECORD_WAY), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(item, ways[i]);
  }
  EXPECT_EQ(SendMessageW(dialog->item(IDC_SETTING_LANGUAGE), CB_GETCOUNT, 0, 0), 3);

  // The third language has no section of its own: 2 is stored, and the texts
  // stay those of the language in force.
  ChooseByClicks(*dialog, IDC_SETTING_LANGUAGE, 2);
  Click(dialog->item(IDC_SETTING_APPLY));
  ASSERT_TRUE(PumpUntil([&] { return program.events.captionsWhenApplied().size() == 2; }));
  EXPECT_EQ(program.Setting(L"Language_Select"), L"2");
  EXPECT_EQ(program.recorder->language().Section(), L"Cht");
  EXPECT_EQ(program.events.captionsWhenApplied()[1], program.Text(L"Cht", L"Main_Caption"));
  EXPECT_EQ(dialog->text(IDC_SETTING_FOLDER_LABEL), program.Text(L"Cht", L"Static_Wave_Path"));
  Click(dialog->item(IDOK));
  ASSERT_TRUE(dialog->WaitEnded());
  auto again = Open();
  EXPECT_EQ(Selected(*again, IDC_SETTING_LANGUAGE), 2);
}

// The second page: its button shows it in place of the first; the rule, the
// contact list and the days are chosen by clicks and typing, and OK stores
// them (the list as one line of handles). A number of days out of range is
// refused with a box, and the page stays for the user to correct it.
TEST_F(SettingsDialogTest, TheRulesPageStoresWhoseCallsAndTheDaysAndRefusesDaysOutOfRange) {
  {
    auto dialog = Open();
    EXPECT_TRUE(IsWindowVisible(dialog->item(IDC_SETTING_FOLDER)));
    EXPECT_FALSE(IsWindowVisible(dialog->item(IDC_SETTING_CONTACT_LIST)));
    Click(dialog->item(IDC_SETTING_PAGE_RULES));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(dialog->item(IDC_SETTING_CONTACT_LIST)) != FALSE; }));
    EXPECT_FALSE(IsWindowVisible(dialog->item(IDC_SETTING_FOLDER)));
    EXPECT_FALSE(IsWindowVisible(dialog->item(IDC_SETTING_MP3)));
    EXPECT_EQ(dialog->text(IDC_SETTING_CONTACTS_GROUP), program.Text(L"Chs", L"Rules_Contact_List"));
    EXPECT_EQ(Selected(*dialog, IDC_SETTING_CONTACT_RULE), static_cast<int>(RecordContacts::EveryCall));
    EXPECT_EQ(dialog->text(IDC_SETTING_KEEP_DAYS), L"0");

    ChooseByClicks(*dialog, IDC_SETTING_CONTACT_RULE, static_cast<int>(RecordContacts::AllButListed));
    Click(dialog->item(IDC_SETTING_CONTACT_LIST));
    ASSERT_TRUE(AwaitKeyboardIn(dialog->item(IDC_SETTING_CONTACT_LIST)));
    Keyboard::Type(L"bob,  Carol");
    Keyboard::Press(VK_RETURN);
    Keyboard::Type(L"live:dave");
    HWND days = dialog->item(IDC_SETTING_KEEP_DAYS);
    Click(days);
    ASSERT_TRUE(AwaitKeyboardIn(days));
    Keyboard::Press(VK_HOME);
    Keyboard::Press(VK_END, true);
    Keyboard::Type(L"99999");
    Click(dialog->item(IDOK));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = dialog->FindWindowOfClass(L"#32770", dialog->hwnd())) != nullptr; }));
    EXPECT_TRUE(ShowsText(box, program.Text(L"Chs", L"Rules_Keep_Days_Invalid")));
    ASSERT_TRUE(AwaitKeyboardIn(box));
    Keyboard::Press(VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box); }));
    EXPECT_FALSE(dialog->ended());
    EXPECT_EQ(program.Setting(L"KeepDays"), L"");
    EXPECT_TRUE(IsWindowVisible(days));
    // The field is selected for the correction.
    ASSERT_TRUE(AwaitKeyboardIn(days));
    Keyboard::Type(L"90");
    Click(dialog->item(IDOK));
    ASSERT_TRUE(dialog->WaitEnded());
  }
  EXPECT_EQ(program.Setting(L"RecordContacts"), L"2");
  EXPECT_EQ(program.Setting(L"ContactList"), L"bob Carol live:dave");
  EXPECT_EQ(program.Setting(L"KeepDays"), L"90");
  EXPECT_EQ(settings().Current()->keepDays, 90);
  // The next opening shows them, and the general page first.
  auto again = Open();
  EXPECT_TRUE(IsWindowVisible(again->item(IDC_SETTING_FOLDER)));
  EXPECT_EQ(Selected(*again, IDC_SETTING_CONTACT_RULE), static_cast<int>(RecordContacts::AllButListed));
  EXPECT_EQ(again->text(IDC_SETTING_CONTACT_LIST), L"bob Carol live:dave");
  EXPECT_EQ(again->text(IDC_SETTING_KEEP_DAYS), L"90");
}

// A record folder that cannot be recorded into is refused in the dialog: a
// message box owned by it, the dialog stays open, and the settings in force
// and Config.ini stay as they were until the folder is corrected.
TEST_F(SettingsDialogTest, AFolderThatCannotBeMadeIsRefusedAndTheDialogStaysOpen) {
  const std::string before = ReadFileBytes(ConfigIniPath());
  const SettingsRecord inForce = *settings().Current();
  ASSERT_TRUE(WriteFileBytes(program.folder.file(L"a file"), "x"));
  auto dialog = Open();
  Toggle(*dialog, IDC_SETTING_STEREO);
  for (const std::wstring& folder : {program.folder.file(L"a file") + L"\\Records",
                                     L"C:\\" + std::wstring(kRecordFolderMaxChars, L'x')}) {
    TypeFolder(*dialog, folder);
    Click(dialog->item(IDOK));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = dialog->FindWindowOfClass(L"#32770", dialog->hwnd())) != nullptr; }));
    std::wstring expected = ApplyFailureMessage(program.recorder->language(), folder.size() > kRecordFolderMaxChars
                                                                                  ? ApplyResult::FolderTooLong
                                                                                  : ApplyResult::FolderNotCreated);
    EXPECT_TRUE(ShowsText(box, expected));
    EXPECT_EQ(GetWindowTextString(box), kApplicationTitle);
    ASSERT_TRUE(AwaitKeyboardIn(box));
    Keyboard::Press(VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box); }));
    EXPECT_FALSE(dialog->ended());
    EXPECT_EQ(*settings().Current(), inForce);
    EXPECT_EQ(ReadFileBytes(ConfigIniPath()), before);
  }
  // Corrected, the same OK applies.
  std::wstring good = program.documents.path() + L"\\Good";
  TypeFolder(*dialog, good);
  Click(dialog->item(IDOK));
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(program.Setting(L"WavePath"), good);
  EXPECT_EQ(program.Setting(L"SaveLF"), L"1");
}

// The Run value the installer wrote for this program shows as a checked box
// even when Config.ini says AutoRun=0, so that OK keeps it.
TEST_F(SettingsDialogTest, TheInstallersRunValueShowsCheckedAndSurvivesOk) {
  ASSERT_EQ(program.Setting(L"AutoRun"), L"");
  ASSERT_TRUE(SetAutorunValue(kAutorunValueName, L"\"" + GetModuleFilePath() + L"\" hide"));
  auto dialog = Open();
  EXPECT_TRUE(ShowsChecked(*dialog, IDC_SETTING_AUTORUN));
  Click(dialog->item(IDOK));
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_TRUE(AutorunStartsThisProgram());
  EXPECT_EQ(program.Setting(L"AutoRun"), L"1");
}

// What the dialog shows when it opens: each group of settings has one outline,
// the background's panel, with the group's caption as a bold heading inside
// it (no group box frame beside the panel's edge); Browse keeps clear of that
// edge; and the language list shows its text unhighlighted, the keyboard
// starting on OK, so that Enter applies.
TEST_F(SettingsDialogTest, OpensWithOneOutlinePerGroupRoomAroundBrowseAndNoHighlightedList) {
  auto dialog = Open();
  HWND window = dialog->hwnd();
  HWND combo = dialog->item(IDC_SETTING_LANGUAGE);
  RECT all;
  GetClientRect(combo, &all);
  // The text's part of the list, left of its drop-down button.
  RECT text = all;
  text.right -= GetSystemMetrics(SM_CXVSCROLL) + 2;
  const int headings[] = {IDC_SETTING_RECORD_GROUP, IDC_SETTING_SKYPE_GROUP};
  // Read once the list and both headings show their texts.
  Pixels shot = Pixels::OfClient(window);
  ASSERT_TRUE(PumpUntil([&] {
    shot = Pixels::OfClient(window);
    for (int id : headings)
      if (DarkPixels(shot, RectIn(window, dialog->item(id))) <= 20) return false;
    return DarkPixels(Pixels::OfClient(combo), text) > 20;
  }));

  // Leftwards from every control of the groups, the panel's colour ends once,
  // at the panel's edge.
  for (int id : {IDC_SETTING_FOLDER_LABEL, IDC_SETTING_RECORD_WAY_LABEL, IDC_SETTING_FORMAT_LABEL,
                 IDC_SETTING_STEREO, IDC_SETTING_AUTO_RECORD, IDC_SETTING_OPEN_FOLDER, IDC_SETTING_TRAY_STATUS,
                 IDC_SETTING_SAVED_NOTICE, IDC_SETTING_HIDE_SKYPE, IDC_SETTING_CLOSE_CALL_QUALITY}) {
    RECT r = RectIn(window, dialog->item(id));
    POINT start = {r.left - 2, (r.top + r.bottom) / 2};
    EXPECT_GE(RunOfColour(shot, start, -1, 0), 6) << id;
    EXPECT_FALSE(ColourComesBack(shot, start, -1, 0)) << "a second outline left of " << id;
  }
  // The headings: bold, black, with room between the panel's top edge and
  // their text, and nothing but the panel above them.
  for (int id : headings) {
    HWND heading = dialog->item(id);
    RECT r = RectIn(window, heading);
    EXPECT_LT(r.bottom - r.top, 30) << "a heading, not a frame around the group: " << id;
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(heading, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfWeight, FW_BOLD) << id;
    EXPECT_GT(shot.count(r, RGB(0, 0, 0)), 10) << id;
    POINT start = {r.left - 2, r.top};
    COLORREF panel = shot.at(start.x, start.y);
    int aboveText = RunOfColour(shot, start, 0, -1) + FirstInkRow(shot, r, panel) - r.top;
    EXPECT_GE(aboveText, 7) << id;
    EXPECT_FALSE(ColourComesBack(shot, start, 0, -1)) << "a second outline above " << id;
  }
  // The language row stands clear of the title band above it, and the
  // buttons of the window's bottom edge.
  RECT language = RectIn(window, combo);
  POINT aboveLanguage = {language.left + 4, language.top - 2};
  EXPECT_GE(RunOfColour(shot, aboveLanguage, 0, -1), 8) << "body between the title band and the language";
  for (int id : {IDOK, IDCANCEL, IDC_SETTING_APPLY}) {
    RECT button = RectIn(window, dialog->item(id));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_GE(client.bottom - button.bottom, 12) << id;
    EXPECT_GE(RunOfColour(shot, {(button.left + button.right) / 2, button.bottom + 1}, 0, 1), 8) << id;
  }
  // Right of Browse: clear panel up to its one edge.
  RECT browse = RectIn(window, dialog->item(IDC_SETTING_BROWSE));
  POINT right = {browse.right, (browse.top + browse.bottom) / 2};
  EXPECT_GE(RunOfColour(shot, right, 1, 0), 8);
  EXPECT_FALSE(ColourComesBack(shot, right, 1, 0));

  // The list's text without the selection's colour.
  Pixels list = Pixels::OfClient(combo);
  EXPECT_EQ(list.count(all, GetSysColor(COLOR_HIGHLIGHT)), 0);
  GUITHREADINFO keys = {};
  keys.cbSize = sizeof keys;
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &keys));
  EXPECT_EQ(keys.hwndFocus, dialog->item(IDOK));
  Toggle(*dialog, IDC_SETTING_STEREO);
  ASSERT_TRUE(AwaitKeyboardIn(window));
  Keyboard::Press(VK_RETURN);
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(dialog->result(), IDOK);
  EXPECT_EQ(program.Setting(L"SaveLF"), L"1");
}

