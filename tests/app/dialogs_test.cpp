// The settings dialog (with the audio source dialog it opens) and the about
// box as the user meets them: each runs on a thread of its own as the main
// window runs it, owned by a stand-in main window, with a recorder of a copy
// of the program; the test clicks, types and chooses with real input, and
// reads back Config.ini (where the program keeps it), the Run key, what the
// main window is told, the dialog's controls and its pixels.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

#include "app/about_dlg.h"
#include "app/recordings_dlg.h"
#include "app/resource.h"
#include "app/setting_dlg.h"
#include "capture/capture_device.h"
#include "app/user_messages.h"
#include "common/text_format.h"
#include "platform/autorun.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/recycle_bin.h"
#include "record/recording_library.h"
#include "record/wave_file.h"
#include "settings/ini_file.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/playback/fake_sound_out.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"
#include "ui/control.h"

namespace {

constexpr wchar_t kThirdLanguage[] = L"Third language";

// The main window as the dialogs see it: it owns them, and notes the caption
// it would show when it is told of an apply.
class MainWindowStandIn : public BenchDialog {
 public:
  explicit MainWindowStandIn(const LanguageTable& language) : BenchDialog(120, 40), language_(language) {}
  void Applied() {
    std::lock_guard<std::mutex> lock(mutex_);
    captions_.push_back(language_.Text(L"Main_Caption"));
  }
  std::vector<std::wstring> captionsWhenApplied() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captions_;
  }

 private:
  const LanguageTable& language_;
  mutable std::mutex mutex_;
  std::vector<std::wstring> captions_;
};

// A copy of the program as a user has it: its own folder with Language\ and
// Image\, where Config.ini is kept, and a documents folder of its own. The
// language file lists a third language that has no section. `devices`, when
// given, are the capture devices the recorder sees.
class ProgramCopy {
 public:
  explicit ProgramCopy(CaptureDevices* devices = nullptr) {
    std::wstring real = GetModuleDirectory();
    CreateDirectoryTree(folder.file(L"Language"));
    CreateDirectoryTree(folder.file(L"Image"));
    EXPECT_TRUE(CopyFileW((real + L"Language\\Language.ini").c_str(), LanguageFile().c_str(), FALSE));
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((real + L"Image\\*.bmp").c_str(), &found);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    do {
      CopyFileW((real + L"Image\\" + found.cFileName).c_str(), (folder.file(L"Image\\") + found.cFileName).c_str(),
                FALSE);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    IniFile language(LanguageFile());
    EXPECT_TRUE(language.WriteString(L"LANGUAGE", L"Language_3", kThirdLanguage));
    // A title in Latin letters, whose pixels a prefix without Chinese fonts draws too.
    EXPECT_TRUE(language.WriteString(L"Chs", L"Menu_Setting", L"Settings \u8bbe\u7f6e"));
    OverrideProgramFolder(folder.path() + L"\\");
    OverrideDocumentsFolder(documents.path());
    DeleteAutorunValue(kAutorunValueName);
    recorder = std::make_unique<CallRecorder>(events, RecorderPlaces{PrepareConfigIniPath(), LanguageIniPath()},
                                              RecorderDevices{devices, nullptr});
    recorder->LoadSettings();
  }
  ~ProgramCopy() {
    recorder.reset();
    DeleteAutorunValue(kAutorunValueName);
    OverrideProgramFolder(L"");
    OverrideDocumentsFolder(L"");
  }
  std::wstring LanguageFile() const { return folder.file(L"Language\\Language.ini"); }
  std::wstring Setting(const wchar_t* key) const { return IniFile(recorder->configPath()).ReadString(L"Setting", key); }
  std::wstring Text(const wchar_t* section, const wchar_t* key) const {
    return IniFile(LanguageFile()).ReadString(section, key);
  }

  TempDir folder;
  TempDir documents;
  IgnoredEvents events;
  std::unique_ptr<CallRecorder> recorder;
};

// A dialog shown modally on a thread of its own, as RunSettingsDialog shows the
// settings dialog.
class DialogThread {
 public:
  // `run` makes the dialog, owned by `owner`, and runs it.
  static std::unique_ptr<DialogThread> Open(HWND owner, std::function<INT_PTR(HWND owner)> run) {
    auto opened = std::make_unique<DialogThread>();
    DialogThread* self = opened.get();
    self->thread_ = std::thread([self, owner, run] {
      self->threadId_ = GetCurrentThreadId();
      self->result_ = run(owner);
      self->ended_ = true;
    });
    EXPECT_TRUE(PumpUntil([self] { return self->FindWindowOfClass(L"#32770", nullptr) != nullptr; }));
    self->hwnd_ = self->FindWindowOfClass(L"#32770", nullptr);
    // The user looks at it, the pointer away from every control.
    SetForegroundWindow(self->hwnd_);
    Mouse::MoveToScreen(Mouse::Away());
    EXPECT_TRUE(PumpUntil([self] { return GetForegroundWindow() == self->hwnd_; }));
    return opened;
  }
  ~DialogThread() {
    if (!ended_ && hwnd_) PostMessageW(hwnd_, WM_COMMAND, IDCANCEL, 0);
    PumpUntil([this] { return ended_.load(); });
    if (thread_.joinable()) thread_.join();
  }

  HWND hwnd() const { return hwnd_; }
  HWND item(int id) const { return GetDlgItem(hwnd_, id); }
  std::wstring text(int id) const { return GetWindowTextString(item(id)); }
  // The dialog has ended, and how.
  bool WaitEnded() {
    return PumpUntil([this] { return ended_.load(); });
  }
  INT_PTR result() const { return result_; }
  bool ended() const { return ended_; }
  // A visible top-level window of the dialog's thread (the dialog itself, or
  // one it owns when `owner` is given).
  HWND FindWindowOfClass(const wchar_t* windowClass, HWND owner) const {
    struct Search {
      const wchar_t* windowClass;
      HWND owner;
      HWND found;
    } search = {windowClass, owner, nullptr};
    // (A thread id of 0 would stand for this thread.)
    if (threadId_.load() == 0) return nullptr;
    EnumThreadWindows(
        threadId_.load(),
        [](HWND window, LPARAM data) {
          auto* s = reinterpret_cast<Search*>(data);
          wchar_t name[64] = L"";
          GetClassNameW(window, name, 64);
          if (!IsWindowVisible(window) || std::wstring(name) != s->windowClass) return TRUE;
          if (s->owner && GetWindow(window, GW_OWNER) != s->owner) return TRUE;
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

 private:
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> ended_{false};
  std::atomic<INT_PTR> result_{0};
  HWND hwnd_ = nullptr;
};

POINT Middle(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  return {client.right / 2, client.bottom / 2};
}

HWND CaptureOf(HWND window) { return MouseCaptureOf(window); }
void ClickAt(HWND window, POINT point) { Mouse::ClickAsUser(window, point); }
void Click(HWND window) { ClickAt(window, Middle(window)); }

// Until the keys the user presses go to this window or one inside it, as the
// user sees the caret or the selection there before typing.
bool AwaitKeyboardIn(HWND window) {
  return PumpUntil([window] {
    GUITHREADINFO foreground = {};
    foreground.cbSize = sizeof foreground;
    return GetGUIThreadInfo(0, &foreground) &&
           (foreground.hwndFocus == window || IsChild(window, foreground.hwndFocus));
  });
}

// One of the window's children shows this text (a message box's text line).
bool ShowsText(HWND window, const std::wstring& text) {
  struct Search {
    const std::wstring& text;
    bool found;
  } search = {text, false};
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) {
        auto* s = reinterpret_cast<Search*>(data);
        s->found = GetWindowTextString(child) == s->text;
        return s->found ? FALSE : TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A pixel of a skin image file.
COLORREF ImagePixel(const std::wstring& path, int x, int y) {
  GdiBitmap bitmap(static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  MemoryDC dc(nullptr);
  SelectionScope keep(dc.get(), bitmap.get());
  return GetPixel(dc.get(), x, y);
}

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

  std::unique_ptr<DialogThread> Open() {
    return DialogThread::Open(main.hwnd(), [this](HWND owner) {
      CSettingDlg dialog(owner, *program.recorder, [this] { main.Applied(); });
      return dialog.DoModal();
    });
  }
  std::wstring ConfigIniPath() const { return program.recorder->configPath(); }
  const SettingsStore& settings() const { return program.recorder->settings(); }

  // What a check box shows, read on the screen once the pointer is away.
  bool ShowsChecked(const DialogThread& dialog, int id) {
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
  void Toggle(const DialogThread& dialog, int id) {
    HWND box = dialog.item(id);
    COLORREF before = Pixels::OfClient(box).at(boxPixel.x, boxPixel.y);
    Click(box);
    bool left = false;
    for (int attempt = 0; attempt < 15 && !left; ++attempt) {
      POINT away = Mouse::Away();
      Mouse::MoveToScreen({away.x - attempt % 2, away.y});
      left = PumpUntil([&] { return !CaptureOf(box); }, std::chrono::seconds(2));
    }
    EXPECT_TRUE(left) << id;
    COLORREF expected = before == onColor ? offColor : onColor;
    EXPECT_TRUE(PumpUntil([&] { return Pixels::OfClient(box).at(boxPixel.x, boxPixel.y) == expected; })) << id;
  }

  int Selected(const DialogThread& dialog, int list) {
    return static_cast<int>(SendMessageW(dialog.item(list), CB_GETCURSEL, 0, 0));
  }

  // Opens the list with a click and clicks its item.
  void ChooseByClicks(const DialogThread& dialog, int list, int item) {
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
  void TypeFolder(const DialogThread& dialog, const std::wstring& folder) {
    HWND field = dialog.item(IDC_SETTING_FOLDER);
    Click(field);
    ASSERT_TRUE(AwaitKeyboardIn(field));
    Keyboard::Press(VK_HOME);
    Keyboard::Press(VK_END, true);
    Keyboard::Type(folder);
    EXPECT_TRUE(PumpUntil([&] { return GetWindowTextString(field) == folder; }));
  }

  ProgramCopy program;
  MainWindowStandIn main{program.recorder->language()};
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

// Layout as the user sees it, read on the dialog's pixels. The background
// picture draws a light panel behind each group of controls; its edge is a
// darker line with the window's body beyond it.

// A control's rectangle in its dialog's client coordinates.
RECT RectIn(HWND dialog, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool SameColour(COLORREF a, COLORREF b) {
  return a != CLR_INVALID && b != CLR_INVALID && std::abs(GetRValue(a) - GetRValue(b)) <= 3 &&
         std::abs(GetGValue(a) - GetGValue(b)) <= 3 && std::abs(GetBValue(a) - GetBValue(b)) <= 3;
}

// Walks from `from` in steps of (dx, dy) across the colour found there: how
// many pixels have it before the first that does not (the panel's edge, or a
// line drawn on the panel).
int RunOfColour(const Pixels& shot, POINT from, int dx, int dy) {
  COLORREF colour = shot.at(from.x, from.y);
  int n = 0;
  while (SameColour(shot.at(from.x + n * dx, from.y + n * dy), colour)) ++n;
  return n;
}

// Whether the colour found at `from` shows again within a few pixels, going
// on in steps of (dx, dy), after its first run ended: a second outline drawn
// inside the panel ends the run, and the panel's colour follows right after
// it. (Beyond the panel's own edge comes the window's body; the next panel is
// farther away.)
bool ColourComesBack(const Pixels& shot, POINT from, int dx, int dy) {
  COLORREF colour = shot.at(from.x, from.y);
  int end = RunOfColour(shot, from, dx, dy);
  for (int n = end; n < end + 5; ++n)
    if (SameColour(shot.at(from.x + n * dx, from.y + n * dy), colour)) return true;
  return false;
}

// The first row of the area that holds a pixel of text on the background
// colour `paper`.
int FirstInkRow(const Pixels& shot, const RECT& area, COLORREF paper) {
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      COLORREF c = shot.at(x, y);
      if (std::abs(GetRValue(c) - GetRValue(paper)) + std::abs(GetGValue(c) - GetGValue(paper)) +
              std::abs(GetBValue(c) - GetBValue(paper)) > 150)
        return y;
    }
  return area.bottom;
}

// Pixels of the area darker than mid grey: text ink (the thin strokes of
// Chinese characters are smoothed into greys).
int DarkPixels(const Pixels& shot, const RECT& area) {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      COLORREF c = shot.at(x, y);
      n += c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 384;
    }
  return n;
}

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
  ASSERT_TRUE(PumpUntil([&] { return main.captionsWhenApplied().size() == 1; }));
  EXPECT_EQ(main.captionsWhenApplied()[0], program.Text(L"Cht", L"Main_Caption"));
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
  EXPECT_EQ(settings().Current()->WavePath, nested);
  EXPECT_TRUE(AutorunStartsThisProgram());
  EXPECT_FALSE(PathExists(program.documents.path() + L"\\Elsewhere"));
  PumpPending();
  EXPECT_EQ(main.captionsWhenApplied().size(), 1u);

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
  ASSERT_TRUE(PumpUntil([&] { return main.captionsWhenApplied().size() == 1; }));
  EXPECT_EQ(main.captionsWhenApplied()[0], program.Text(L"Cht", L"Main_Caption"));
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
  ASSERT_TRUE(PumpUntil([&] { return main.captionsWhenApplied().size() == 2; }));
  EXPECT_EQ(program.Setting(L"Language_Select"), L"2");
  EXPECT_EQ(program.recorder->language().Section(), L"Cht");
  EXPECT_EQ(main.captionsWhenApplied()[1], program.Text(L"Cht", L"Main_Caption"));
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
    EXPECT_EQ(Selected(*dialog, IDC_SETTING_CONTACT_RULE), kRecordEveryCall);
    EXPECT_EQ(dialog->text(IDC_SETTING_KEEP_DAYS), L"0");

    ChooseByClicks(*dialog, IDC_SETTING_CONTACT_RULE, kRecordAllButListed);
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
  EXPECT_EQ(settings().Current()->KeepDays, 90);
  // The next opening shows them, and the general page first.
  auto again = Open();
  EXPECT_TRUE(IsWindowVisible(again->item(IDC_SETTING_FOLDER)));
  EXPECT_EQ(Selected(*again, IDC_SETTING_CONTACT_RULE), kRecordAllButListed);
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
                                     L"C:\\" + std::wstring(kWavePathMaxChars, L'x')}) {
    TypeFolder(*dialog, folder);
    Click(dialog->item(IDOK));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = dialog->FindWindowOfClass(L"#32770", dialog->hwnd())) != nullptr; }));
    std::wstring expected = ApplyFailureMessage(program.recorder->language(), folder.size() > kWavePathMaxChars
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

  std::unique_ptr<DialogThread> Open() {
    return DialogThread::Open(main.hwnd(), [this](HWND owner) {
      CSettingDlg dialog(owner, *program.recorder, [this] { main.Applied(); });
      return dialog.DoModal();
    });
  }
  // Clicks the settings dialog's button; the audio source dialog it opens.
  HWND OpenSoundDialog(const DialogThread& settings) {
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
  MainWindowStandIn main{program.recorder->language()};
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
  EXPECT_EQ(program.recorder->settings().Current()->CaptureSource, kSourceClient);
  EXPECT_FALSE(program.recorder->RecordsSound());

  Click(dialog->item(IDC_SETTING_APPLY));
  ASSERT_TRUE(PumpUntil([&] { return main.captionsWhenApplied().size() == 1; }));
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

  // The main window closes the settings dialog (its Exit) while the audio
  // source dialog is open again.
  sound = OpenSoundDialog(*dialog);
  ASSERT_TRUE(sound);
  PostMessageW(dialog->hwnd(), WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(dialog->result(), IDCANCEL);
  EXPECT_FALSE(IsWindow(sound));
  EXPECT_EQ(ReadFileBytes(program.recorder->configPath()), before);
  EXPECT_EQ(program.recorder->settings().Current()->RecordHotkey, kDefaultRecordHotkey);

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

class AboutDialogTest : public ::testing::Test {
 protected:
  std::unique_ptr<DialogThread> Open() {
    return DialogThread::Open(main.hwnd(), [this](HWND owner) {
      CAboutDlg dialog(owner, program.recorder->language());
      return dialog.DoModal();
    });
  }
  ProgramCopy program;
  MainWindowStandIn main{program.recorder->language()};
};

// The about box shows the running file's version and the language's texts in
// their colours, gives the contact line the focus on a click, is dragged by
// any point, and closes with OK, the close button and Esc.
TEST_F(AboutDialogTest, ShowsTheRunningFilesVersionAndClosesEveryWay) {
  auto dialog = Open();
  EXPECT_EQ(dialog->text(IDC_ABOUT_VERSION), FormatText(program.Text(L"Chs", L"About_Version"), {CALVORO_VERSION}));
  EXPECT_EQ(GetWindowTextString(dialog->hwnd()), program.Text(L"Chs", L"About"));
  EXPECT_EQ(dialog->text(IDOK), program.Text(L"Chs", L"Button_OK"));
  EXPECT_FALSE(IsWindowVisible(dialog->item(IDC_ABOUT_LINK)));
  Pixels shot = Pixels::OfClient(dialog->hwnd());
  auto colored = [&](int id, COLORREF color) {
    RECT r;
    GetWindowRect(dialog->item(id), &r);
    MapWindowPoints(nullptr, dialog->hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return shot.count(r, color);
  };
  EXPECT_GT(colored(IDC_ABOUT_TITLE, RGB(192, 192, 192)), 10);
  EXPECT_GT(colored(IDC_ABOUT_VERSION, RGB(0, 0, 0)), 10);
  EXPECT_GT(colored(IDC_ABOUT_COPYRIGHT, RGB(0, 0, 0)), 10);
  EXPECT_GT(colored(IDC_ABOUT_CONTACT_1, RGB(128, 0, 128)), 10);
  EXPECT_GT(colored(IDC_ABOUT_CONTACT_3, RGB(128, 0, 128)), 10);
  // The heading in bold green.
  EXPECT_GT(colored(IDC_ABOUT_SUPPORT, RGB(0, 128, 0)), 10);
  LOGFONTW heading = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog->item(IDC_ABOUT_SUPPORT), WM_GETFONT, 0, 0)), sizeof heading,
             &heading);
  EXPECT_EQ(heading.lfWeight, FW_BOLD);
  // The version line lies on the background's panel with room below its top
  // edge, near what the lines keep from its left edge, not on the edge itself.
  RECT version;
  GetWindowRect(dialog->item(IDC_ABOUT_VERSION), &version);
  MapWindowPoints(nullptr, dialog->hwnd(), reinterpret_cast<POINT*>(&version), 2);
  POINT beside = {version.left - 4, version.top};
  COLORREF panel = shot.at(beside.x, beside.y);
  int aboveLine = RunOfColour(shot, beside, 0, -1);
  int aboveText = aboveLine + FirstInkRow(shot, version, panel) - version.top;
  int leftOfText = RunOfColour(shot, beside, -1, 0) + 4;
  EXPECT_GE(aboveLine, 4);
  EXPECT_GE(aboveText, leftOfText - 4) << "left of the text: " << leftOfText;
  EXPECT_FALSE(ColourComesBack(shot, beside, 0, -1));
  EXPECT_FALSE(ColourComesBack(shot, beside, -1, 0));

  Click(dialog->item(IDC_ABOUT_CONTACT_1));
  GUITHREADINFO focus = {};
  focus.cbSize = sizeof focus;
  EXPECT_TRUE(PumpUntil([&] {
    return GetGUIThreadInfo(GetWindowThreadProcessId(dialog->hwnd(), nullptr), &focus) &&
           focus.hwndFocus == dialog->item(IDC_ABOUT_CONTACT_1);
  }));
  EXPECT_FALSE(dialog->ended());

  // Dragged by a point of its surface.
  RECT before, after;
  GetWindowRect(dialog->hwnd(), &before);
  Mouse::MoveTo(dialog->hwnd(), {200, 10});
  Mouse::Press();
  // The system's moving loop has taken over before the hand moves on.
  EXPECT_TRUE(PumpUntil([&] {
    GUITHREADINFO moving = {};
    moving.cbSize = sizeof moving;
    return GetGUIThreadInfo(GetWindowThreadProcessId(dialog->hwnd(), nullptr), &moving) &&
           (moving.flags & GUI_INMOVESIZE) != 0;
  }));
  Mouse::MoveTo(dialog->hwnd(), {240, 40});
  Mouse::Release();
  EXPECT_TRUE(PumpUntil([&] {
    GetWindowRect(dialog->hwnd(), &after);
    return after.left == before.left + 40 && after.top == before.top + 30;
  })) << after.left - before.left << "," << after.top - before.top;

  Click(dialog->item(IDOK));
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(dialog->result(), IDOK);
  dialog = Open();
  Click(dialog->item(IDC_ABOUT_CLOSE));
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(dialog->result(), IDCANCEL);
  dialog = Open();
  ASSERT_TRUE(AwaitKeyboardIn(dialog->hwnd()));
  Keyboard::Press(VK_ESCAPE);
  ASSERT_TRUE(dialog->WaitEnded());
  EXPECT_EQ(dialog->result(), IDCANCEL);
}

// --- The recordings window ------------------------------------------------------

namespace {

// A 16 kHz mono recording of `seconds`: sample n is n, as a 16-bit number.
std::string RecordingWave(double seconds) {
  const uint32_t samples = static_cast<uint32_t>(seconds * 16000);
  const auto header = BuildWaveHeader(1, 36 + samples * 2, samples * 2);
  std::string wav(header.begin(), header.end());
  for (uint32_t n = 0; n < samples; ++n) {
    wav.push_back(static_cast<char>(n & 0xFF));
    wav.push_back(static_cast<char>((n >> 8) & 0xFF));
  }
  return wav;
}

class RecordingsWindowTest : public ::testing::Test {
 protected:
  RecordingsWindowTest() {
    records = program.recorder->settings().Current()->WavePath;
    // The Recycle Bin, as the shell would take the files: they leave the folder.
    OverrideRecycleBin([this](const std::vector<std::wstring>& paths) {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const std::wstring& path : paths) {
        recycled_.push_back(path.substr(path.find_last_of(L'\\') + 1));
        MoveFileW(path.c_str(), bin.file(recycled_.back()).c_str());
      }
      return true;
    });
  }
  ~RecordingsWindowTest() override { OverrideRecycleBin({}); }

  std::unique_ptr<DialogThread> Open() {
    return DialogThread::Open(nullptr, [this](HWND) {
      CRecordingsDlg dialog(nullptr, *program.recorder);
      dialog.makeSoundOut = [this] { return std::make_unique<FakeSoundOut>(sound); };
      return dialog.DoModal();
    });
  }
  void Put(const std::wstring& name, const std::string& bytes) { ASSERT_TRUE(WriteFileBytes(records + L"\\" + name, bytes)); }

  // The rows as the list shows them, each its column texts.
  static std::vector<std::vector<std::wstring>> Rows(const DialogThread& dialog) {
    HWND list = dialog.item(IDC_RECORDINGS_LIST);
    std::vector<std::vector<std::wstring>> rows(static_cast<size_t>(ListView_GetItemCount(list)));
    for (size_t row = 0; row < rows.size(); ++row)
      for (int column = 0; column < 5; ++column) {
        wchar_t text[512] = L"";
        ListView_GetItemText(list, static_cast<int>(row), column, text, 512);
        rows[row].push_back(text);
      }
    return rows;
  }
  // The column of every row, once every duration is known.
  static std::vector<std::wstring> Column(const DialogThread& dialog, int column) {
    std::vector<std::wstring> texts;
    for (const auto& row : Rows(dialog)) texts.push_back(row[static_cast<size_t>(column)]);
    return texts;
  }
  static bool Listed(const DialogThread& dialog, size_t n) {
    auto rows = Rows(dialog);
    return rows.size() == n && std::none_of(rows.begin(), rows.end(), [](const auto& r) { return r[2] == L"…"; });
  }
  void ClickRow(const DialogThread& dialog, int row) {
    HWND list = dialog.item(IDC_RECORDINGS_LIST);
    RECT r = {};
    ASSERT_TRUE(ListView_GetItemRect(list, row, &r, LVIR_LABEL));
    ClickAt(list, {r.left + 10, (r.top + r.bottom) / 2});
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetNextItem(list, -1, LVNI_SELECTED) == row; }));
  }
  // The sort arrow a column's heading shows: HDF_SORTUP, HDF_SORTDOWN or 0.
  static int SortArrow(const DialogThread& dialog, int column) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    Header_GetItem(ListView_GetHeader(dialog.item(IDC_RECORDINGS_LIST)), column, &item);
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
  }
  // A click on a column's heading; a second click on the same heading lands
  // a little aside, as two clicks on one spot make a double click.
  void ClickHeader(const DialogThread& dialog, int column) {
    HWND header = ListView_GetHeader(dialog.item(IDC_RECORDINGS_LIST));
    RECT r = {};
    ASSERT_TRUE(Header_GetItemRect(header, column, &r));
    // Near its edges a press takes the divider (it resizes the column).
    const int offset = (headerClicks_++ % 2) * 12;
    ClickAt(header, {(r.left + r.right) / 2 - 6 + offset, (r.top + r.bottom) / 2});
  }
  std::vector<std::wstring> recycled() {
    std::lock_guard<std::mutex> lock(mutex_);
    return recycled_;
  }

  ProgramCopy program;
  TempDir bin;
  std::wstring records;
  // The sound output playback goes to: it hears what the test lets it.
  std::shared_ptr<FakeOutState> sound = std::make_shared<FakeOutState>();

 private:
  std::mutex mutex_;
  std::vector<std::wstring> recycled_;
  int headerClicks_ = 0;
};

}  // namespace

// The list shows the recordings of the folder with the durations their files
// hold, newest first; a click on a column's heading sorts by it, typing in the
// search box keeps the partners that match, and the list follows the folder
// by itself: a recording that appears is added, one deleted in Explorer goes.
TEST_F(RecordingsWindowTest, ListsSortsFiltersAndFollowsTheFolder) {
  Put(L"2026年03月04日 10时20分30秒(alice).wav", RecordingWave(5));
  Put(L"2026年03月05日 11时00分00秒(bob carol).wav", RecordingWave(65.5));
  Put(L"2026年03月05日 11时00分00秒(bob carol).mp3", std::string(9000, '\0'));
  Put(L"2026年03月01日 08时00分00秒(Alicia).wav", RecordingWave(2));
  Put(L"notes.txt", "not a recording");
  auto dialog = Open();
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 3); }));
  EXPECT_EQ(Rows(*dialog)[0], (std::vector<std::wstring>{L"2026-03-05 11:00:00", L"bob carol", L"1:05", L"WAV MP3",
                                                           FormatSize(RecordingWave(65.5).size() + 9000)}));
  EXPECT_EQ(Column(*dialog, 1), (std::vector<std::wstring>{L"bob carol", L"alice", L"Alicia"}));
  EXPECT_EQ(Column(*dialog, 2), (std::vector<std::wstring>{L"1:05", L"0:05", L"0:02"}));
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_COUNT), FormatText(program.Text(L"Chs", L"Recordings_Count"), {L"3"}));

  ClickHeader(*dialog, 2);  // the longest first
  ASSERT_TRUE(PumpUntil([&] { return SortArrow(*dialog, 2) == HDF_SORTDOWN; }));
  EXPECT_EQ(SortArrow(*dialog, 0), 0);
  ASSERT_TRUE(PumpUntil([&] { return Column(*dialog, 2) == std::vector<std::wstring>{L"1:05", L"0:05", L"0:02"}; }));
  ClickHeader(*dialog, 2);  // and the other way round
  ASSERT_TRUE(PumpUntil([&] { return Column(*dialog, 2) == std::vector<std::wstring>{L"0:02", L"0:05", L"1:05"}; }));
  EXPECT_EQ(SortArrow(*dialog, 2), HDF_SORTUP);
  ClickHeader(*dialog, 1);  // partners, A to Z
  ASSERT_TRUE(PumpUntil([&] {
    auto partners = Column(*dialog, 1);
    return partners.size() == 3 && partners[2] == L"bob carol";
  }));

  HWND search = dialog->item(IDC_RECORDINGS_SEARCH);
  Click(search);
  ASSERT_TRUE(AwaitKeyboardIn(search));
  Keyboard::Type(L"ALI");
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 2; }));
  for (const auto& row : Rows(*dialog)) EXPECT_NE(row[1].find(L"li"), std::wstring::npos) << row[1];
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_COUNT), FormatText(program.Text(L"Chs", L"Recordings_Count"), {L"2"}));
  Keyboard::Press(VK_HOME);
  Keyboard::Press(VK_END, true);
  Keyboard::Press(VK_DELETE);
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 3; }));

  // A recording finished meanwhile, and one deleted outside the program.
  Put(L"2026年03月06日 12时00分00秒(dave).wav", RecordingWave(3));
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 4); }));
  EXPECT_TRUE(DeleteFileW((records + L"\\2026年03月04日 10时20分30秒(alice).wav").c_str()));
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 3); }));
  auto partners = Column(*dialog, 1);
  EXPECT_EQ(std::count(partners.begin(), partners.end(), L"alice"), 0);
  EXPECT_EQ(std::count(partners.begin(), partners.end(), L"dave"), 1);
}

// Delete moves every file of the recording to the Recycle Bin, and only those;
// a recording whose side file says it is still being written is refused and
// stays, with the reason on the window's line. Rename renames the set.
TEST_F(RecordingsWindowTest, DeleteRecyclesTheWholeSetRefusesOneBeingWrittenAndRenameKeepsTheSetTogether) {
  Put(L"2026年03月05日 11时00分00秒(bob).wav", RecordingWave(1));
  Put(L"2026年03月05日 11时00分00秒(bob).mp3", std::string(700, '\0'));
  Put(L"2026年03月07日 09时00分00秒(carol).wav", RecordingWave(1));
  Put(L"2026年03月07日 09时00分00秒.rec", "2026-03-07 09:00:00\r\ncarol\r\n");
  Put(L"2026年03月08日 09时00分00秒(erin).wav", RecordingWave(1));
  Put(L"2026年03月08日 09时00分00秒(erin).ogg", std::string(300, '\0'));
  auto dialog = Open();
  ASSERT_TRUE(PumpUntil([&] { return Listed(*dialog, 3); }));
  ASSERT_EQ(Column(*dialog, 1), (std::vector<std::wstring>{L"erin", L"carol", L"bob"}));

  ClickRow(*dialog, 1);
  Click(dialog->item(IDC_RECORDINGS_DELETE));
  ASSERT_TRUE(PumpUntil([&] { return dialog->text(IDC_RECORDINGS_STATUS) == program.Text(L"Chs", L"Recordings_Busy"); }));
  EXPECT_TRUE(recycled().empty());
  EXPECT_TRUE(PathExists(records + L"\\2026年03月07日 09时00分00秒(carol).wav"));

  ClickRow(*dialog, 2);
  Click(dialog->item(IDC_RECORDINGS_DELETE));
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 2; }));
  auto gone = recycled();
  std::sort(gone.begin(), gone.end());
  EXPECT_EQ(gone, (std::vector<std::wstring>{L"2026年03月05日 11时00分00秒(bob).mp3", L"2026年03月05日 11时00分00秒(bob).wav"}));
  EXPECT_NE(dialog->text(IDC_RECORDINGS_STATUS).find(L"11时00分00秒(bob)"), std::wstring::npos);

  // Renamed by its dialog: the WAV and the OGG together.
  ClickRow(*dialog, 0);
  Click(dialog->item(IDC_RECORDINGS_RENAME));
  HWND rename = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (rename = dialog->FindWindowOfClass(L"#32770", dialog->hwnd())) != nullptr; }));
  HWND field = GetDlgItem(rename, IDC_RENAME_NAME);
  EXPECT_EQ(GetWindowTextString(field), L"2026年03月08日 09时00分00秒(erin)");
  ASSERT_TRUE(AwaitKeyboardIn(field));
  Keyboard::Press(VK_END);
  Keyboard::Press(VK_LEFT);
  Keyboard::Type(L" 周会");
  Keyboard::Press(VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] {
    auto partners = Column(*dialog, 1);
    return std::count(partners.begin(), partners.end(), L"erin 周会") == 1;
  }));
  EXPECT_TRUE(PathExists(records + L"\\2026年03月08日 09时00分00秒(erin 周会).wav"));
  EXPECT_TRUE(PathExists(records + L"\\2026年03月08日 09时00分00秒(erin 周会).ogg"));
  EXPECT_FALSE(PathExists(records + L"\\2026年03月08日 09时00分00秒(erin).ogg"));
}

// Play, the position bar and Stop through the window: the output is given the
// file's own samples from the start, the bar and the time follow what has
// been heard, Stop keeps the place and Play goes on from there, and the end
// brings the bar to its end. A recording only in a format that does not play
// here says so.
TEST_F(RecordingsWindowTest, PlaysWithThePositionBarStopsWhereItWasAndGoesOnFromThere) {
  const std::wstring name = L"2026年03月05日 11时00分00秒(bob)";
  Put(name + L".wav", RecordingWave(5));
  Put(L"2026年03月01日 11时00分00秒(carol).wma", std::string(5000, '\0'));
  auto dialog = Open();
  ASSERT_TRUE(PumpUntil([&] { return Rows(*dialog).size() == 2; }));
  const LanguageTable& language = program.recorder->language();
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_STATUS), language.Text(L"Recordings_Hint"));
  EXPECT_FALSE(IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP)));

  ClickRow(*dialog, 1);
  Click(dialog->item(IDC_RECORDINGS_PLAY));
  ASSERT_TRUE(PumpUntil([&] { return dialog->text(IDC_RECORDINGS_STATUS) == language.Text(L"Recordings_Cannot_Play_Format"); }));
  EXPECT_EQ(sound->Get(&FakeOutState::opens), 0);

  ClickRow(*dialog, 0);
  Click(dialog->item(IDC_RECORDINGS_PLAY));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP)) != FALSE; }));
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_STATUS), FormatText(language.Text(L"Recordings_Playing"), {name + L".wav"}));
  EXPECT_EQ(sound->Get(&FakeOutState::rate), 16000u);
  EXPECT_EQ(sound->Get(&FakeOutState::channels), 1u);
  HWND bar = dialog->item(IDC_RECORDINGS_POSITION);
  auto barAt = [&] { return static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0)); };
  // Two seconds of five heard, as fast as the player queues them.
  auto hearUpTo = [&](uint64_t frames) {
    uint64_t heard = sound->Get(&FakeOutState::heard);
    if (heard < frames) sound->Hear(frames - heard);
  };
  ASSERT_TRUE(PumpUntil([&] {
    hearUpTo(32000);
    return barAt() == 400;
  }));
  EXPECT_TRUE(PumpUntil([&] { return dialog->text(IDC_RECORDINGS_TIME) == L"0:02 / 0:05"; }));
  std::vector<int16_t> given = sound->All();
  ASSERT_GE(given.size(), 32000u);
  for (size_t n = 0; n < given.size(); ++n) ASSERT_EQ(static_cast<uint16_t>(given[n]), n & 0xFFFF) << n;

  Click(dialog->item(IDC_RECORDINGS_STOP));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP)); }));
  ASSERT_TRUE(PumpUntil([&] { return sound->Get(&FakeOutState::closes) == 1; }));
  EXPECT_EQ(barAt(), 400);

  // Again: from two seconds in.
  Click(dialog->item(IDC_RECORDINGS_PLAY));
  ASSERT_TRUE(PumpUntil([&] { return sound->Get(&FakeOutState::opens) == 2 && !sound->Last().empty(); }));
  EXPECT_EQ(static_cast<uint16_t>(sound->Last()[0]), 32000u);
  // Heard to the end: the bar and the time stand at the end, Stop is done.
  ASSERT_TRUE(PumpUntil([&] {
    sound->Hear(16000);
    return !IsWindowEnabled(dialog->item(IDC_RECORDINGS_STOP));
  }));
  EXPECT_EQ(barAt(), 1000);
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_TIME), L"0:05 / 0:05");
  EXPECT_EQ(dialog->text(IDC_RECORDINGS_STATUS), language.Text(L"Recordings_Hint"));
}
