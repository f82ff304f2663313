// The audio source dialog as the user meets it: opened from the settings
// dialog's button, modal on it on the window thread (the stand-in main
// window stays usable), with capture devices that are listed only when the
// test lets them.
#include <gtest/gtest.h>
#include <windows.h>

#include <condition_variable>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <mutex>

#include "app/resource.h"
#include "app/setting_dlg.h"
#include "capture/capture_device.h"
#include "platform/message_box.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "tests/app/dialog_test_support.h"
#include "ui/control.h"

namespace {

// Capture devices whose names come only when the test lets them: the audio
// source dialog must be usable while the system is still being asked. One
// for the whole run, as a job that asks may outlive its dialog.
class HeldDeviceNames : public CaptureDevices {
 public:
  static constexpr const wchar_t* kNames[] = {L"Monitor of Speakers", L"Headset Microphone"};

  std::unique_ptr<CaptureDevice> Open(const CaptureEndpoint&, std::wstring& error) override {
    error = L"no device here";
    return nullptr;
  }
  std::vector<std::wstring> CaptureDeviceNames() override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return released_; });
    return {std::begin(kNames), std::end(kNames)};
  }
  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = false;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool released_ = false;
};

HeldDeviceNames& TheHeldDevices() {
  static HeldDeviceNames* devices = new HeldDeviceNames;
  return *devices;
}

// What only this computer's sound uses: greyed while the client is chosen.
constexpr int kSoundOnly[] = {IDC_SOUND_FAR_LABEL,    IDC_SOUND_FAR,    IDC_SOUND_NEAR_LABEL,
                              IDC_SOUND_NEAR,         IDC_SOUND_HOTKEY, IDC_SOUND_HOTKEY_LABEL,
                              IDC_SOUND_APPS_LABEL,   IDC_SOUND_APPS,   IDC_SOUND_HINT};

class SoundSourceDialogTest : public ::testing::Test {
 protected:
  SoundSourceDialogTest() { TheHeldDevices().Hold(); }
  ~SoundSourceDialogTest() override { TheHeldDevices().Release(); }

  std::unique_ptr<OpenDialog> Open() {
    return OpenDialog::Open(windows, [this] {
      return std::make_unique<CSettingDlg>(windows.main(), *program.recorder, windows.work());
    });
  }
  // Clicks the settings dialog's button; the audio source dialog it opens.
  HWND OpenSoundDialog(const OpenDialog& settings) {
    Click(settings.item(IDC_SETTING_SOUND_MORE));
    HWND sound = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (sound = settings.FindWindowOfClass(L"#32770", settings.hwnd())) != nullptr; }));
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == sound; }));
    return sound;
  }
  std::wstring Chs(const wchar_t* key) const { return program.Text(L"Chs", key); }
  static std::wstring TextOf(HWND dialog, int id) { return GetWindowTextString(GetDlgItem(dialog, id)); }
  static bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
  static int Items(HWND dialog, int list) {
    return static_cast<int>(SendDlgItemMessageW(dialog, list, CB_GETCOUNT, 0, 0));
  }
  static std::wstring Item(HWND dialog, int list, int n) {
    wchar_t item[256] = L"";
    SendDlgItemMessageW(dialog, list, CB_GETLBTEXT, n, reinterpret_cast<LPARAM>(item));
    return item;
  }
  // Clicks into a field (a list's own field, for an editable list), selects
  // what it holds and types over it.
  static void TypeOver(HWND dialog, int id, const std::wstring& text) {
    HWND control = GetDlgItem(dialog, id), field = control;
    COMBOBOXINFO list = {};
    list.cbSize = sizeof list;
    if (GetComboBoxInfo(control, &list)) field = list.hwndItem;
    Click(field);
    ASSERT_TRUE(AwaitKeyboardIn(field));
    Keyboard::Press(VK_HOME);
    Keyboard::Press(VK_END, true);
    Keyboard::Type(text);
    EXPECT_TRUE(PumpUntil([&] { return GetWindowTextString(control) == text; })) << id;
  }
  // Opens a list by its button and clicks its item.
  static void ChooseByClicks(HWND dialog, int id, int item) {
    HWND list = GetDlgItem(dialog, id);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(list, &info));
    ClickAt(list, {(info.rcButton.left + info.rcButton.right) / 2, (info.rcButton.top + info.rcButton.bottom) / 2});
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; }));
    RECT rect;
    ASSERT_NE(SendMessageW(info.hwndList, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&rect)), LB_ERR);
    ClickAt(info.hwndList, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    EXPECT_TRUE(PumpUntil([&] {
      return SendMessageW(list, CB_GETCURSEL, 0, 0) == item && !IsWindowVisible(info.hwndList);
    }));
  }
  // The hotkey field as it shows on the screen: black text on white while
  // it can be edited, grey on grey while it is greyed.
  static bool HotkeyFieldLooksEnabled(HWND dialog, bool enabled) {
    HWND field = GetDlgItem(dialog, IDC_SOUND_HOTKEY);
    return PumpUntil([&] {
      Pixels shot = Pixels::OfClient(field);
      RECT inside = {3, 3, shot.width() - 3, shot.height() - 3};
      int black = shot.count(inside, RGB(0, 0, 0)), white = shot.count(inside, RGB(255, 255, 255));
      return enabled ? black > 10 && white > 100 : black == 0 && white == 0;
    });
  }
  static void ClickAndAwaitEnd(HWND dialog, int id) {
    Click(GetDlgItem(dialog, id));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); })) << id;
  }

  ProgramCopy program{&TheHeldDevices()};
  WindowThread windows;
};

}  // namespace

// The button beside the record way opens the audio source dialog in the
// user's language, usable before the devices are known. What it takes
// waits for the settings dialog's Apply, which writes it to Config.ini;
// reopened, it shows what was applied, and what is changed in it and then
// cancelled (the client chosen again, which greys the device lists, the
// hotkey and the apps) changes nothing.
TEST_F(SoundSourceDialogTest, ChoicesWaitForTheSettingsApplyAndCancelChangesNothing) {
  auto dialog = Open();
  const HWND window = dialog->hwnd();
  HWND more = dialog->item(IDC_SETTING_SOUND_MORE);
  EXPECT_EQ(GetWindowTextString(more), Chs(L"Setting_Sound_More"));
  // Right of the record way list, on its row, ending before Browse does.
  RECT way = RectIn(window, dialog->item(IDC_SETTING_RECORD_WAY)), button = RectIn(window, more);
  EXPECT_GT(button.left, way.right);
  EXPECT_LE(button.right, RectIn(window, dialog->item(IDC_SETTING_BROWSE)).right);
  EXPECT_LE(std::abs((button.top + button.bottom) - (way.top + way.bottom)), 6);
  // Its caption whole: ink inside, clear of both edges.
  const int width = button.right - button.left, height = button.bottom - button.top;
  int firstInk = -1, lastInk = -1;
  ASSERT_TRUE(PumpUntil([&] {
    Pixels shot = Pixels::OfClient(more);
    firstInk = lastInk = -1;
    for (int x = 0; x < width; ++x)
      if (DarkPixels(shot, {x, 4, x + 1, height - 4}) > 0) {
        if (firstInk < 0) firstInk = x;
        lastInk = x;
      }
    return firstInk >= 0 && lastInk - firstInk > width / 3;
  }));
  EXPECT_GT(firstInk, 3);
  EXPECT_LT(lastInk, width - 4);

  const std::string before = ReadFileBytes(program.recorder->configPath());
  const std::wstring typed = L"Line In (USB Audio)";
  {
    HWND sound = OpenSoundDialog(*dialog);
    ASSERT_TRUE(sound);
    EXPECT_EQ(GetWindowTextString(sound), Chs(L"Sound_Dialog_Title"));
    const std::pair<int, const wchar_t*> texts[] = {
        {IDC_SOUND_TITLE, L"Sound_Dialog_Title"},    {IDC_SOUND_SOURCE_CLIENT, L"Sound_Source_Client"},
        {IDC_SOUND_SOURCE_SOUND, L"Sound_Source_Sound"}, {IDC_SOUND_FAR_LABEL, L"Sound_Far_End"},
        {IDC_SOUND_NEAR_LABEL, L"Sound_Near_End"},   {IDC_SOUND_HOTKEY_LABEL, L"Sound_Hotkey"},
        {IDC_SOUND_APPS_LABEL, L"Sound_Auto_Apps"},  {IDC_SOUND_HINT, L"Sound_Auto_Hint"},
        {IDC_SOUND_FAR, L"Sound_Default_Far"},       {IDC_SOUND_NEAR, L"Sound_Default_Near"},
        {IDOK, L"Button_OK"},                        {IDCANCEL, L"Button_Cancel"}};
    for (const auto& [id, key] : texts) {
      EXPECT_FALSE(Chs(key).empty()) << key;
      EXPECT_EQ(TextOf(sound, id), Chs(key)) << key;
    }
    EXPECT_EQ(TextOf(sound, IDC_SOUND_HOTKEY), kDefaultRecordHotkey);
    EXPECT_EQ(TextOf(sound, IDC_SOUND_APPS), kDefaultAutoRecordApps);
    // The settings of a first start: the client, everything of the
    // computer's sound greyed; the devices not listed yet.
    EXPECT_TRUE(Checked(sound, IDC_SOUND_SOURCE_CLIENT));
    EXPECT_FALSE(Checked(sound, IDC_SOUND_SOURCE_SOUND));
    for (int id : kSoundOnly) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sound, id))) << id;
    EXPECT_TRUE(HotkeyFieldLooksEnabled(sound, false));
    EXPECT_EQ(Items(sound, IDC_SOUND_FAR), 1);

    Click(GetDlgItem(sound, IDC_SOUND_SOURCE_SOUND));
    ASSERT_TRUE(PumpUntil([&] { return Checked(sound, IDC_SOUND_SOURCE_SOUND); }));
    EXPECT_FALSE(Checked(sound, IDC_SOUND_SOURCE_CLIENT));
    for (int id : kSoundOnly) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sound, id))) << id;
    EXPECT_TRUE(HotkeyFieldLooksEnabled(sound, true));
    TypeOver(sound, IDC_SOUND_FAR, typed);
    // The devices arrive behind the default item; the typed name stays.
    TheHeldDevices().Release();
    ASSERT_TRUE(PumpUntil([&] { return Items(sound, IDC_SOUND_FAR) == 3 && Items(sound, IDC_SOUND_NEAR) == 3; }));
    EXPECT_EQ(Item(sound, IDC_SOUND_NEAR, 0), Chs(L"Sound_Default_Near"));
    EXPECT_EQ(Item(sound, IDC_SOUND_NEAR, 1), HeldDeviceNames::kNames[0]);
    EXPECT_EQ(Item(sound, IDC_SOUND_NEAR, 2), HeldDeviceNames::kNames[1]);
    EXPECT_EQ(TextOf(sound, IDC_SOUND_FAR), typed);
    EXPECT_EQ(TextOf(sound, IDC_SOUND_NEAR), Chs(L"Sound_Default_Near"));
    TypeOver(sound, IDC_SOUND_HOTKEY, L"Ctrl+Shift+F9");
    // The apps, all of them replaced; stored without the blanks and the
    // empty entry.
    HWND apps = GetDlgItem(sound, IDC_SOUND_APPS);
    Click(apps);
    ASSERT_TRUE(AwaitKeyboardIn(apps));
    Keyboard::Press(VK_HOME, false, true);
    Keyboard::Press(VK_END, true, true);
    Keyboard::Type(L" Teams.exe; ;Zoom.exe ");
    EXPECT_TRUE(PumpUntil([&] { return GetWindowTextString(apps) == L" Teams.exe; ;Zoom.exe "; }));
    ClickAndAwaitEnd(sound, IDOK);
  }
  // Taken by the settings dialog, not applied.
  EXPECT_FALSE(dialog->ended());
  EXPECT_EQ(ReadFileBytes(program.recorder->configPath()), before);
  EXPECT_EQ(program.recorder->settings().Current()->captureSource, CaptureSource::Client);
  EXPECT_FALSE(program.recorder->RecordsSound());

  Click(dialog->item(IDC_SETTING_APPLY));
  ASSERT_TRUE(PumpUntil([&] { return program.events.captionsWhenApplied().size() == 1; }));
  EXPECT_EQ(program.Setting(L"CaptureSource"), L"1");
  EXPECT_EQ(program.Setting(L"FarEndDevice"), typed);
  EXPECT_EQ(program.Setting(L"NearEndDevice"), L"");
  EXPECT_EQ(program.Setting(L"RecordHotkey"), L"Ctrl+Shift+F9");
  EXPECT_EQ(IniFile(program.recorder->configPath()).ReadString(L"Setting", L"AutoRecordApps", 4096),
            L"Teams.exe;Zoom.exe");
  EXPECT_TRUE(program.recorder->RecordsSound());
  const std::string applied = ReadFileBytes(program.recorder->configPath());

  {
    HWND sound = OpenSoundDialog(*dialog);
    ASSERT_TRUE(sound);
    EXPECT_TRUE(Checked(sound, IDC_SOUND_SOURCE_SOUND));
    EXPECT_EQ(TextOf(sound, IDC_SOUND_FAR), typed);
    EXPECT_EQ(TextOf(sound, IDC_SOUND_NEAR), Chs(L"Sound_Default_Near"));
    EXPECT_EQ(TextOf(sound, IDC_SOUND_HOTKEY), L"Ctrl+Shift+F9");
    ASSERT_TRUE(PumpUntil([&] { return Items(sound, IDC_SOUND_NEAR) == 3; }));
    ChooseByClicks(sound, IDC_SOUND_NEAR, 2);
    EXPECT_EQ(TextOf(sound, IDC_SOUND_NEAR), HeldDeviceNames::kNames[1]);
    TypeOver(sound, IDC_SOUND_HOTKEY, L"Alt+F2");
    Click(GetDlgItem(sound, IDC_SOUND_SOURCE_CLIENT));
    ASSERT_TRUE(PumpUntil([&] { return Checked(sound, IDC_SOUND_SOURCE_CLIENT); }));
    for (int id : kSoundOnly) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sound, id))) << id;
    EXPECT_TRUE(HotkeyFieldLooksEnabled(sound, false));
    ClickAndAwaitEnd(sound, IDCANCEL);
  }
  Click(dialog->item(IDOK));
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(dialog->result(), IDOK);
  EXPECT_EQ(ReadFileBytes(program.recorder->configPath()), applied);
  EXPECT_TRUE(program.recorder->RecordsSound());
}

// OK with a hotkey that cannot be one keeps the dialog open, with a box that
// says so and the field selected for a new try; "none" in any case turns the
// hotkey off. Closing the settings dialog from outside while the audio
// source dialog is open ends both, and nothing is applied.
TEST_F(SoundSourceDialogTest, AHotkeyThatCannotBeOneKeepsTheDialogOpen) {
  TheHeldDevices().Release();
  const std::string before = ReadFileBytes(program.recorder->configPath());
  auto dialog = Open();
  HWND sound = OpenSoundDialog(*dialog);
  ASSERT_TRUE(sound);
  Click(GetDlgItem(sound, IDC_SOUND_SOURCE_SOUND));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(GetDlgItem(sound, IDC_SOUND_HOTKEY)) != FALSE; }));
  HWND field = GetDlgItem(sound, IDC_SOUND_HOTKEY);
  const std::wstring refusal = Chs(L"Sound_Hotkey_Invalid");
  EXPECT_FALSE(refusal.empty());
  for (const wchar_t* wrong : {L"Shift+R", L"Ctrl+Alt+R+T"}) {
    TypeOver(sound, IDC_SOUND_HOTKEY, wrong);
    Click(GetDlgItem(sound, IDOK));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = dialog->FindWindowOfClass(L"#32770", sound)) != nullptr; })) << wrong;
    EXPECT_TRUE(ShowsText(box, refusal)) << wrong;
    EXPECT_EQ(GetWindowTextString(box), kApplicationTitle);
    ASSERT_TRUE(AwaitKeyboardIn(box));
    Keyboard::Press(VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box); }));
    EXPECT_TRUE(IsWindowVisible(sound)) << wrong;
    // The field has the keyboard, its text selected whole.
    EXPECT_TRUE(AwaitKeyboardIn(field)) << wrong;
    DWORD start = 0, end = 0;
    EXPECT_TRUE(PumpUntil([&] {
      SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
      return start == 0 && end == std::wcslen(wrong);
    })) << wrong << " " << start << "-" << end;
  }
  TypeOver(sound, IDC_SOUND_HOTKEY, L"none");
  ClickAndAwaitEnd(sound, IDOK);
  EXPECT_FALSE(dialog->ended());

  // The exit closes the settings dialog (the dialog host destroys it) while
  // the audio source dialog is open again: both go.
  sound = OpenSoundDialog(*dialog);
  ASSERT_TRUE(sound);
  windows.Run([&] { DestroyWindow(dialog->hwnd()); });
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_FALSE(IsWindow(sound));
  EXPECT_EQ(ReadFileBytes(program.recorder->configPath()), before);
  EXPECT_EQ(program.recorder->settings().Current()->recordHotkey, kDefaultRecordHotkey);

  // Opened again, the same choices and OK: "None" stored as such.
  dialog = Open();
  sound = OpenSoundDialog(*dialog);
  ASSERT_TRUE(sound);
  EXPECT_EQ(TextOf(sound, IDC_SOUND_HOTKEY), kDefaultRecordHotkey);
  Click(GetDlgItem(sound, IDC_SOUND_SOURCE_SOUND));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(GetDlgItem(sound, IDC_SOUND_HOTKEY)) != FALSE; }));
  TypeOver(sound, IDC_SOUND_HOTKEY, L"none");
  ClickAndAwaitEnd(sound, IDOK);
  Click(dialog->item(IDOK));
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(program.Setting(L"RecordHotkey"), L"None");
  EXPECT_EQ(program.Setting(L"CaptureSource"), L"1");
  EXPECT_EQ(program.Setting(L"FarEndDevice"), L"");
}

