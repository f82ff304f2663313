// The main window as its user meets it, under wine: the real CPelmoDlg from
// the program's own template, resources, skin and language file, driven by
// real mouse clicks at its buttons, key presses in its menus and the tray
// icon's messages, and read back from its texts, its pixels and what it asks
// of the shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/pelmo_dlg.h"
#include "app/resource.h"
#include "app/shell_open.h"
#include "app/tray_icon.h"
#include "common/text_format.h"
#include "engine/call_recorder.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/support/capture.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"
#include "ui/control.h"
#include "ui/dpi.h"
#include "ui/help_menu.h"

namespace {

constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);


// What the window asked of the shell's notification area.
struct TrayCall {
  DWORD message;
  DWORD flags;
  std::wstring tip;
  std::wstring info;
};

class TrayRecorder {
 public:
  TrayRecorder() {
    SetShellNotifyHook([this](DWORD message, const NOTIFYICONDATAW& data) {
      std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back({message, data.uFlags, data.szTip, data.szInfo});
      return TRUE;
    });
  }
  ~TrayRecorder() { SetShellNotifyHook(nullptr); }
  std::vector<TrayCall> calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<TrayCall> calls_;
};

// Acts on the popup menu that opens next on this thread, from inside its
// loop: `act` reads the menu and returns the keys that choose in it.
struct OpenMenu {
  HWND window;
  HMENU menu;
};
std::function<std::vector<WORD>(const OpenMenu&)> menuAction;

void PressKeys(const std::vector<WORD>& keys) {
  for (WORD key : keys) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
  }
}

void CALLBACK LookForMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND window = FindWindowW(L"#32768", nullptr);
  if (!window || !IsWindowVisible(window) || !menuAction) return;
  KillTimer(nullptr, timer);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
  auto act = std::move(menuAction);
  menuAction = nullptr;
  PressKeys(act({window, menu}));
}

void WhenMenuOpens(std::function<std::vector<WORD>(const OpenMenu&)> act) {
  menuAction = std::move(act);
  SetTimer(nullptr, 0, 20, LookForMenu);
}

// Runs `act` once, `ms` from now, from whatever loop this thread is in (a
// menu's, for one).
std::function<void()> laterAction;
void CALLBACK RunLater(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  auto act = std::move(laterAction);
  laterAction = nullptr;
  if (act) act();
}
void Later(UINT ms, std::function<void()> act) {
  laterAction = std::move(act);
  SetTimer(nullptr, 0, ms, RunLater);
}

// Down n times, then Enter: the n-th item (from 1) of a menu opened without a
// selection.
std::vector<WORD> Choose(int n) {
  std::vector<WORD> keys(static_cast<size_t>(n), VK_DOWN);
  keys.push_back(VK_RETURN);
  return keys;
}

std::wstring HelpMenuText(HMENU menu, int position) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_DATA;
  if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) || !info.dwItemData) return L"";
  return reinterpret_cast<const HelpMenuItem*>(info.dwItemData)->text;
}

std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[256] = L"";
  GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
  return text;
}

bool PtInRegionOfWindow(HWND window, POINT point) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  bool inside = GetWindowRgn(window, region) != ERROR && PtInRegion(region, point.x, point.y);
  DeleteObject(region);
  return inside;
}

// The visible dialogs of this process besides `main`.
std::vector<HWND> OtherDialogs(HWND main) {
  struct Search {
    HWND main;
    std::vector<HWND> found;
  } search{main, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[16] = L"";
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        GetClassNameW(window, name, 16);
        if (window != s->main && process == GetCurrentProcessId() && IsWindowVisible(window) &&
            std::wstring(name) == L"#32770")
          s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Runs `act` from inside whatever modal loop this thread is in once another
// dialog of the program shows.
std::function<void(HWND)> dialogAction;
HWND dialogOwner = nullptr;
void CALLBACK LookForDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  std::vector<HWND> dialogs = OtherDialogs(dialogOwner);
  if (dialogs.empty() || !dialogAction) return;
  KillTimer(nullptr, timer);
  auto act = std::move(dialogAction);
  dialogAction = nullptr;
  act(dialogs.front());
}
void WhenDialogOpens(HWND owner, std::function<void(HWND)> act) {
  dialogOwner = owner;
  dialogAction = std::move(act);
  SetTimer(nullptr, 0, 20, LookForDialog);
}

// 16-bit samples of one value, as the client streams them.
std::vector<uint8_t> Tone(int16_t value, size_t samples) {
  std::vector<uint8_t> bytes(samples * 2);
  for (size_t i = 0; i < samples; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  }
  return bytes;
}

class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterMainWindowClass(GetModuleHandleW(nullptr)); }

  void SetUp() override {
    records = dir.file(L"Records");
    CreateDirectoryW(records.c_str(), nullptr);
    recorder = std::make_unique<CallRecorder>(events, RecorderPlaces{dir.file(L"Config.ini"), LanguageIniPath()});
    events.SetLanguage(&recorder->language());
    ASSERT_TRUE(recorder->session().AllocateHandoffs());
    recorder->settings().Change([&](SettingsRecord& s) {
      s.WavePath = records;
      s.AutoRecord = 0;
      s.ShowStatusOnTray = 0;
      s.RecordWay = kRecordBoth;
      s.RecordFormat = kFormatWav;
      s.SaveLF = 0;
      s.OpenRecordFolderAfterRecording = 0;
    });
    OverrideFreeSpace([this](std::wstring_view, uint64_t& bytes) {
      bytes = freeBytes.load();
      return freeKnown.load();
    });
    OverrideUserFolder(UserFolder::LocalAppData, dir.file(L"Local"));
    SetShellOpenHook([this](const std::wstring& target, int) {
      std::lock_guard<std::mutex> lock(mutex);
      opened.push_back(target);
    });
  }

  void TearDown() override {
    // As the program's exit does: a recording still running is finished
    // while the window is there to hear of it.
    if (window) window->FinishForExit();
    recorder->session().WaitForFinishing();
    window.reset();
    ClearFileFaults();
    recorder->Shutdown();
    recorder.reset();
    OverrideFreeSpace(nullptr);
    OverrideUserFolder(UserFolder::LocalAppData, L"");
    SetShellOpenHook(nullptr);
    // An exit leaves its quit behind for a loop that is not there.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  // The window, created as the program creates it, in front and idle.
  void Open(bool bringForward = true, bool startHidden = false) {
    window = std::make_unique<CPelmoDlg>(*recorder, events, startHidden);
    ASSERT_TRUE(window->Create());
    hwnd = window->GetSafeHwnd();
    if (!bringForward) return;
    SetForegroundWindow(hwnd);
    Mouse::MoveToScreen(Mouse::Away());
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == hwnd && ClientState() != 0 && FolderState() != 0 &&
                                       window->ChecksIdle(); }));
  }
  int ClientState() const { return window->statusLines().clientState(); }
  int FolderState() const { return window->statusLines().folderState(); }
  std::wstring Lang(const wchar_t* key) const { return recorder->language().Text(key); }
  CallStateMachine& Calls() { return recorder->calls(); }
  RecordingSession& Session() { return recorder->session(); }
  // A call in progress with its partner, as the link keeps it.
  void CallWith(const wchar_t* partner) {
    Calls().activeCallCount = 1;
    Calls().callPartners.Set(0, partner);
  }
  // 16-bit samples of one value in each direction, as the client streams them.
  void Stream(int16_t out, int16_t in, size_t samples) {
    std::vector<uint8_t> farEnd = Tone(out, samples), mic = Tone(in, samples);
    Session().Handoff(Direction::Out).Append(farEnd.data(), farEnd.size());
    Session().Handoff(Direction::In).Append(mic.data(), mic.size());
  }
  bool PauseWritten() {
    for (Direction d : {Direction::Out, Direction::In}) {
      WriterFlags& flags = Session().Flags(d);
      if (flags.pauseFlushed.load() != flags.pauseRequests.load()) return false;
    }
    return true;
  }

  HWND Item(int id) const { return GetDlgItem(hwnd, id); }
  std::wstring Text(int id) const { return GetWindowTextString(Item(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
  void Click(int id) {
    RECT rect;
    GetClientRect(Item(id), &rect);
    Mouse::ClickAt(Item(id), {rect.right / 2, rect.bottom / 2});
  }
  // How many rows of the control show this colour somewhere: the height of
  // its text's ink.
  int InkRows(int id, COLORREF color) {
    Pixels shot = Pixels::OfClient(Item(id));
    int rows = 0;
    for (int y = 0; y < shot.height(); ++y) rows += shot.count({0, y, shot.width(), y + 1}, color) > 0;
    return rows;
  }
  // How many pixels of the control show exactly this colour.
  int Shows(int id, COLORREF color) {
    Pixels shot = Pixels::OfClient(Item(id));
    return shot.count({0, 0, shot.width(), shot.height()}, color);
  }
  void RefreshFolderLine() {
    window->statusLines().ScheduleFolderCheck();
    PumpUntil([] { return false; }, std::chrono::milliseconds(150));
    ASSERT_TRUE(PumpUntil([&] { return window->ChecksIdle(); }));
    PumpPending();
  }
  void RefreshClientLine() {
    // As the link tells it, through the program's channel.
    events.OnClientStateChanged();
    PumpPending();
    ASSERT_TRUE(PumpUntil([&] { return window->ChecksIdle(); }));
    PumpPending();
  }
  // The samples of the one recording named after `partner`, its header's
  // sizes checked against the file's.
  std::vector<int16_t> RecordingOf(const std::wstring& partner) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((records + L"\\*(" + partner + L").wav").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << "no recording named after the partner";
      return {};
    }
    FindClose(find);
    std::string wave = ReadFileBytes(records + L"\\" + found.cFileName);
    if (wave.size() < 44) return {};
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(wave.data() + 4), wave.size() - 8);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(wave.data() + 40), wave.size() - 44);
    std::vector<int16_t> samples((wave.size() - 44) / 2);
    std::memcpy(samples.data(), wave.data() + 44, samples.size() * 2);
    return samples;
  }
  std::vector<std::wstring> Opened() {
    std::lock_guard<std::mutex> lock(mutex);
    return opened;
  }

  TempDir dir;
  std::wstring records;
  std::atomic<uint64_t> freeBytes{uint64_t(50) << 30};
  std::atomic<bool> freeKnown{true};
  std::mutex mutex;
  std::vector<std::wstring> opened;
  WindowEventChannel events;
  std::unique_ptr<CallRecorder> recorder;
  std::unique_ptr<CPelmoDlg> window;
  HWND hwnd = nullptr;
};

TEST_F(MainWindow, RecordPauseResumeAndStopThroughTheButtons) {
  TrayRecorder tray;
  Open();
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
  EXPECT_FALSE(Enabled(IDC_STOP));
  EXPECT_FALSE(Visible(IDC_RECORD_STATUS));

  // No call: the notice for three seconds, in red, and nothing recorded.
  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return Visible(IDC_RECORD_STATUS); }));
  EXPECT_EQ(Text(IDC_RECORD_STATUS), Lang(L"Record_Status4"));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5);
  EXPECT_TRUE(Enabled(IDC_RECORD));
  ASSERT_TRUE(PumpUntil([&] { return !Visible(IDC_RECORD_STATUS); }));
  EXPECT_TRUE(ReadFileBytes(records).empty());

  // A call with its partner: Record starts, the line turns green.
  CallWith(L"alice");
  Click(IDC_RECORD);
  std::wstring running = FormatText(Lang(L"Record_Status1"), {L"alice "});
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(running, 0) == 0; }));
  EXPECT_TRUE(Visible(IDC_RECORD_STATUS));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kGreen), 5);
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kRed), 0);
  EXPECT_FALSE(Enabled(IDC_RECORD));
  EXPECT_TRUE(Enabled(IDC_PAUSE));
  EXPECT_TRUE(Enabled(IDC_STOP));
  Stream(100, 23, 16000);
  // The line is drawn in one font, whether it repainted itself for its new
  // text (every second) or the whole window was drawn anew.
  std::wstring shown = Text(IDC_RECORD_STATUS);
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS) != shown; }));
  PumpPending();
  int ownInk = InkRows(IDC_RECORD_STATUS, kGreen);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpPending();
  EXPECT_EQ(ownInk, InkRows(IDC_RECORD_STATUS, kGreen));

  // Pause: the line says so, Record resumes, and what comes meanwhile is lost.
  Click(IDC_PAUSE);
  std::wstring paused = FormatText(Lang(L"Record_Status2"), {L"alice "});
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(paused, 0) == 0; }));
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
  EXPECT_TRUE(Enabled(IDC_STOP));
  ASSERT_TRUE(PumpUntil([&] { return PauseWritten(); }));
  Stream(7, 7, 8000);
  EXPECT_TRUE(Enabled(IDC_RECORD));

  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(running, 0) == 0; }));
  EXPECT_FALSE(Enabled(IDC_RECORD));
  Stream(100, 23, 16000);

  // Stop: once the recording is on the disk, the line says where, in green,
  // and a balloon says so too, although ShowStatusOnTray is off.
  Calls().activeCallCount = 0;
  Click(IDC_STOP);
  std::wstring savedLine = Lang(L"Record_Saved").substr(0, Lang(L"Record_Saved").find(L"%s"));
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(savedLine, 0) == 0 && Enabled(IDC_RECORD); }));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
  EXPECT_FALSE(Enabled(IDC_STOP));
  Session().WaitForFinishing();
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((records + L"\\*(alice).wav").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  const std::wstring file = found.cFileName;
  EXPECT_EQ(Text(IDC_RECORD_STATUS), FormatText(Lang(L"Record_Saved"), {file}));
  EXPECT_TRUE(Visible(IDC_RECORD_STATUS));
  PumpPending();
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kGreen), 5);
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kRed), 0);
  std::vector<std::wstring> balloons;
  for (const TrayCall& call : tray.calls())
    if (call.flags == NIF_INFO) balloons.push_back(call.info);
  EXPECT_EQ(balloons, std::vector<std::wstring>{FormatText(Lang(L"Record_Saved_Balloon"), {file})});
  // A click on the balloon shows the file in its folder.
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, NIN_BALLOONUSERCLICK);
  const std::wstring show = L"explorer.exe /select,\"" + records + L"\\" + file + L"\"";
  ASSERT_TRUE(PumpUntil([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), std::vector<std::wstring>{show});
  // The click is the balloon's once: another does nothing.
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, NIN_BALLOONUSERCLICK);
  PumpUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(Opened().size(), 1u);

  // The recording: named after its partner, both stretches mixed, the pause
  // missing.
  EXPECT_EQ(RecordingOf(L"alice"), std::vector<int16_t>(32000, 123));

  // The next call takes the line away.
  CallWith(L"bob");
  events.OnCallStarted();
  ASSERT_TRUE(PumpUntil([&] { return !Visible(IDC_RECORD_STATUS); }));
  Calls().activeCallCount = 0;

  // With the notice turned off, a recording ends with the line and no balloon.
  recorder->settings().Change([](SettingsRecord& s) { s.ShowSavedNotice = 0; });
  tray.clear();
  CallWith(L"carol");
  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return !Enabled(IDC_RECORD); }));
  Stream(5, 5, 1600);
  Calls().activeCallCount = 0;
  Click(IDC_STOP);
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS).rfind(savedLine, 0) == 0 && Enabled(IDC_RECORD); }));
  Session().WaitForFinishing();
  PumpPending();
  for (const TrayCall& call : tray.calls()) EXPECT_NE(call.flags, static_cast<UINT>(NIF_INFO)) << call.info;
}

// No port for the audio at all: the window says at once, in red, that calls
// cannot be recorded and why; no box waits for OK, and Record starts nothing
// that would pretend to record.
TEST_F(MainWindow, WithoutAudioPortsTheLineSaysCallsCannotBeRecorded) {
  for (Direction d : {Direction::Out, Direction::In})
    recorder->server(d).eventSocket().InjectFault(SocketOp::Listen, 10013, 2);
  Open();
  const std::wstring noAudio = FormatText(Lang(L"Error_No_Audio_Port"), {L"WSAEACCES"});
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS) == noAudio && Visible(IDC_RECORD_STATUS); }));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5);
  EXPECT_TRUE(OtherDialogs(hwnd).empty()) << "no box";
  CallWith(L"erin");
  Click(IDC_RECORD);
  PumpUntil([] { return false; }, std::chrono::milliseconds(1500));
  EXPECT_FALSE(Session().Exists());
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_STOP));
  EXPECT_EQ(Text(IDC_RECORD_STATUS), noAudio);
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5) << "red although a call is in progress";
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kGreen), 0);
  EXPECT_TRUE(FilesInFolder(records).empty());
}

TEST_F(MainWindow, StatusLinesShowTheClientAndTheFolderInTheirColours) {
  Open();
  // No client installed: red, and the button offers to get one.
  EXPECT_EQ(ClientState(), NotInstalled);
  EXPECT_EQ(Text(IDC_CLIENT_STATUS), Lang(L"Skype_Status_5"));
  EXPECT_EQ(Text(IDC_RUN_SKYPE), Lang(L"Button_Access_Skype_Network"));
  EXPECT_GT(Shows(IDC_CLIENT_STATUS, kRed), 5);

  // Installed (the path names an existing file) but not running.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Skype\\Phone", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  std::wstring self = GetModuleFilePath();
  RegSetValueExW(key, L"SkypePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(self.c_str()),
                 static_cast<DWORD>((self.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  RefreshClientLine();
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Skype\\Phone");
  EXPECT_EQ(ClientState(), NotRunning);
  EXPECT_EQ(Text(IDC_CLIENT_STATUS), Lang(L"Skype_Status_1"));
  EXPECT_EQ(Text(IDC_RUN_SKYPE), Lang(L"Button_Open_Skype"));

  // Enough space: green, with the size; the button to open the folder.
  freeBytes = 104857600;
  RefreshFolderLine();
  EXPECT_EQ(FolderState(), 2);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS), FormatText(Lang(L"RecordPath_Status_3"), {records}) + L", " +
                                         FormatText(Lang(L"Free_Disk_Size"), {L"100 MB"}));
  EXPECT_GT(Shows(IDC_FOLDER_STATUS, kGreen), 5);
  EXPECT_EQ(Shows(IDC_FOLDER_STATUS, kRed), 0);
  EXPECT_TRUE(Visible(IDC_OPEN_FOLDER));

  // A text that did not change paints nothing again.
  int erased = 0;
  auto countErase = [](HWND w, UINT m, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR count) -> LRESULT {
    if (m == WM_ERASEBKGND) ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(w, m, wp, lp);
  };
  ASSERT_TRUE(SetWindowSubclass(hwnd, countErase, 1, reinterpret_cast<DWORD_PTR>(&erased)));
  RefreshFolderLine();
  EXPECT_EQ(erased, 0);

  // One byte short of 100 MiB: red, the other text.
  freeBytes = 104857599;
  RefreshFolderLine();
  EXPECT_GT(erased, 0);
  RemoveWindowSubclass(hwnd, countErase, 1);
  EXPECT_EQ(FolderState(), 1);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS), FormatText(Lang(L"RecordPath_Status_2"), {records, L"99 MB"}));
  EXPECT_GT(Shows(IDC_FOLDER_STATUS, kRed), 5);

  // Free space that cannot be read: the line says it is not known.
  freeKnown = false;
  RefreshFolderLine();
  EXPECT_EQ(FolderState(), 2);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS),
            FormatText(Lang(L"RecordPath_Status_3"), {records}) + L", " + Lang(L"Free_Disk_Size_Unknown"));
  freeKnown = true;

  // The folder gone: red, and nothing to open.
  RemoveDirectoryW(records.c_str());
  RefreshFolderLine();
  EXPECT_EQ(FolderState(), 3);
  EXPECT_EQ(Text(IDC_FOLDER_STATUS), FormatText(Lang(L"RecordPath_Status_1"), {records}));
  EXPECT_FALSE(Visible(IDC_OPEN_FOLDER));

  // The VirtualStore hint shows while the folder's VirtualStore copy exists,
  // and its button opens that copy.
  std::wstring copy = dir.file(L"Local") + L"\\VirtualStore" + records.substr(2);
  EXPECT_FALSE(Visible(IDC_VIRTUALSTORE_HINT));
  EXPECT_FALSE(Visible(IDC_OPEN_VIRTUALSTORE));
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, copy.c_str(), nullptr), ERROR_SUCCESS);
  RefreshFolderLine();
  EXPECT_TRUE(Visible(IDC_VIRTUALSTORE_HINT));
  EXPECT_TRUE(Visible(IDC_OPEN_VIRTUALSTORE));
  Click(IDC_OPEN_VIRTUALSTORE);
  ASSERT_TRUE(PumpUntil([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), std::vector<std::wstring>{copy});
}

TEST_F(MainWindow, TheSkinIsWholeAtTheSizeTheWindowReallyHas) {
  Open();
  RECT client, banner;
  GetClientRect(hwnd, &client);
  GetWindowRect(Item(IDC_BANNER), &banner);
  MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&banner), 2);
  if (banner.right + 20 >= client.right) {
    // The dialog font gives the window the width it has on Windows: it is
    // made wider, as another font would make it, so that the background is
    // stretched beyond the banner.
    RECT outer;
    GetWindowRect(hwnd, &outer);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    PumpPending();
    GetClientRect(hwnd, &client);
    GetWindowRect(Item(IDC_BANNER), &banner);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&banner), 2);
  }
  ASSERT_LT(banner.right + 20, client.right) << "the window is wider than the banner here";
  // The banner's lower edge and the band's are one line, left of the banner,
  // across it and right of it: no seam, no step.
  Pixels shot = Pixels::OfClient(hwnd);
  for (LONG x : {2L, (banner.left + banner.right) / 2, banner.right + 10, client.right - 3}) {
    COLORREF band = shot.at(x, banner.bottom - 1), body = shot.at(x, banner.bottom);
    EXPECT_LT(GetRValue(band) + GetGValue(band) + GetBValue(band), 200) << "band at " << x;
    EXPECT_GT(GetRValue(body) + GetGValue(body) + GetBValue(body), 600) << "body at " << x;
    EXPECT_EQ(body, shot.at(2, banner.bottom)) << x;
  }
  // Rounded corners; the small icon in its place, clear of the title line.
  EXPECT_FALSE(PtInRegionOfWindow(hwnd, {0, 0}));
  EXPECT_TRUE(PtInRegionOfWindow(hwnd, {client.right / 2, 0}));
  RECT icon, title;
  GetWindowRect(Item(IDC_APP_ICON), &icon);
  GetWindowRect(Item(IDC_TITLE), &title);
  EXPECT_EQ(icon.right - icon.left, GetSystemMetrics(SM_CXSMICON));
  EXPECT_LE(icon.right, title.left);
  // The status lines and the texts draw with the font height of their table
  // (the control's own font is the one a static draws with).
  for (auto [id, height] : {std::pair{IDC_CLIENT_STATUS, 16}, {IDC_FOLDER_STATUS, 16}, {IDC_RECORD_STATUS, 16},
                            {IDC_VIRTUALSTORE_HINT, 16}, {IDC_HELP_TEXT, 15}, {IDC_INFO_1, 16}, {IDC_INFO_3, 16}}) {
    LOGFONTW font = {};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_EQ(font.lfHeight, ScaleForScreen(height)) << id;
  }
}

TEST_F(MainWindow, TheProgramsOwnMessagesLeaveTheDefaultButtonAndThePlaceAlone) {
  Open();
  // Partly off the screen, where the dialog's own repositioning would move it.
  SetWindowPos(hwnd, nullptr, -200, -100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT before;
  GetWindowRect(hwnd, &before);
  LRESULT defaultButton = SendMessageW(hwnd, DM_GETDEFID, 0, 0);
  ASSERT_EQ(HIWORD(defaultButton), DC_HASDEFID);
  EXPECT_EQ(LOWORD(defaultButton), IDOK);
  // The link's events, each as its channel carries it (calls sent, the rest
  // posted), and the shell's messages.
  for (int i = 0; i < 3; ++i) {
    events.OnCallStarted();
    events.OnCallEnded();
  }
  events.OnClientStateChanged();
  events.OnPartnerKnown();
  events.OnRecordingsRecovered(RecoveryReport());
  SendMessageW(hwnd, WM_TRAY_NOTIFY, 99, WM_MOUSEMOVE);
  SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  PumpPending();
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(SendMessageW(hwnd, DM_GETDEFID, 0, 0), defaultButton);
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_FALSE(Session().Exists());
}

TEST_F(MainWindow, TrayIconShowsTipAndBalloonsAndComesBackWithTheTaskbar) {
  TrayRecorder tray;
  recorder->settings().Change([](SettingsRecord& s) { s.ShowStatusOnTray = 1; });
  Open();
  std::wstring caption = Lang(L"Main_Caption");
  std::vector<TrayCall> calls = tray.calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(calls[0].flags, kTrayIconFlags);
  EXPECT_EQ(calls[0].tip, L"Skype");
  EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(calls[1].tip, caption);

  // A recording's balloon, then a tip change: the tip's flags go with it, not
  // the balloon's, which would show the old balloon again.
  tray.clear();
  CallWith(L"bob");
  Click(IDC_RECORD);
  std::wstring balloon = FormatText(Lang(L"Record_Status1"), {L"bob "});
  ASSERT_TRUE(PumpUntil([&] {
    for (const TrayCall& call : tray.calls())
      if (call.flags == NIF_INFO && call.info == balloon) return true;
    return false;
  }));
  // The one request the window makes of the shell for `act`.
  auto onlyRequest = [&](const std::function<void()>& act) {
    tray.clear();
    act();
    std::vector<TrayCall> made = tray.calls();
    EXPECT_EQ(made.size(), 1u);
    return made.empty() ? TrayCall{} : made[0];
  };
  TrayCall tip = onlyRequest([&] { window->ApplyMainWindowTexts(); });
  EXPECT_EQ(tip.message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(tip.flags, kTrayIconFlags);
  EXPECT_EQ(tip.tip, caption);

  // The shell restarted: its new taskbar gets the icon again.
  TrayCall again = onlyRequest([&] { SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0); });
  EXPECT_EQ(again.message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(again.flags, kTrayIconFlags);
  EXPECT_EQ(again.tip, caption);

  // Seven seconds after a balloon the icon is deleted and added again.
  tray.clear();
  ASSERT_TRUE(PumpUntil([&] { return tray.calls().size() >= 2; }, std::chrono::seconds(30)));
  calls = tray.calls();
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(calls[1].flags, kTrayIconFlags);

  // Texts longer than their fields are cut to fit.
  TrayIcon icon;
  icon.Init(hwnd, nullptr);
  icon.Add(std::wstring(300, L't'));
  icon.ShowBalloon(std::wstring(400, L'b'));
  calls = tray.calls();
  EXPECT_EQ(calls[calls.size() - 2].tip, std::wstring(kTrayTipMaxChars, L't'));
  EXPECT_EQ(calls.back().info, std::wstring(kTrayBalloonMaxChars, L'b'));
  icon.Delete();
}

TEST_F(MainWindow, TrayDoubleClickAndMenuBringTheWindowBackAndExitKeepsTheRecording) {
  TrayRecorder tray;
  Open();
  // Close and the window's close request hide the window; the program goes on.
  Click(IDOK);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  ShowWindow(hwnd, SW_SHOW);
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_TRUE(IsWindow(hwnd));
  // Another icon's messages are answered with 1; only the double click and
  // the right button's release act.
  EXPECT_EQ(SendMessageW(hwnd, WM_TRAY_NOTIFY, 99, WM_LBUTTONDBLCLK), 1);
  for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE})
    EXPECT_EQ(SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, mouse), 0);
  PumpPending();
  EXPECT_FALSE(IsWindowVisible(hwnd));
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << "back in the normal order";

  // The tray menu: its texts follow the language, padded; Open brings the
  // minimised window back. (A menu needs its window in the foreground, which
  // wine does not give a hidden window; Windows does.)
  ShowWindow(hwnd, SW_MINIMIZE);
  SetForegroundWindow(hwnd);
  std::vector<std::wstring> texts;
  WhenMenuOpens([&](const OpenMenu& open) {
    for (int i = 0; i < GetMenuItemCount(open.menu); ++i) texts.push_back(MenuText(open.menu, i));
    return Choose(1);
  });
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] { return !IsIconic(hwnd) && IsWindowVisible(hwnd); })) << texts.size() << " items";
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"  " + Lang(L"Menu_Open") + L"  ", L"",
                                              L"  " + Lang(L"Menu_Setting") + L"  ",
                                              L"  " + Lang(L"Menu_Recordings") + L"  ",
                                              L"  " + Lang(L"Menu_About") + L"  ", L"",
                                              L"  " + Lang(L"Menu_Exit") + L"  "}));

  // Exit from the tray menu during a recording: the recording is finished,
  // complete, the icon goes and the loop is asked to end.
  CallWith(L"carol");
  Click(IDC_RECORD);
  ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_STOP); }));
  Stream(1000, 2000, 48000);
  tray.clear();
  WhenMenuOpens([](const OpenMenu&) { return Choose(5); });
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] {
    MSG quit;
    return PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
  }));
  Session().WaitForFinishing();
  std::vector<TrayCall> calls = tray.calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(RecordingOf(L"carol"), std::vector<int16_t>(48000, 3000));
  // No new recording on the way out (the quit is taken first: the window
  // would otherwise not see the click).
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  Click(IDC_RECORD);
  PumpPending();
  EXPECT_FALSE(Session().Exists());
}

TEST_F(MainWindow, KeepOnTopTwiceThroughTheOptionMenu) {
  Open();
  RECT option;
  GetWindowRect(Item(IDC_OPTION), &option);
  HWND tips = nullptr;
  while ((tips = FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr)) && GetWindow(tips, GW_OWNER) != hwnd) {
  }
  ASSERT_NE(tips, nullptr);
  for (int round = 0; round < 2; ++round) {
    // The pointer rests on the button until its tip shows.
    RECT button;
    GetClientRect(Item(IDC_OPTION), &button);
    Mouse::MoveTo(Item(IDC_OPTION), {button.right / 2, button.bottom / 2});
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tips) != FALSE; })) << "the Option button's tip";
    std::vector<std::wstring> texts;
    RECT menuRect = {};
    bool tipWithMenu = true;
    WhenMenuOpens([&](const OpenMenu& open) {
      for (int i = 0; i < GetMenuItemCount(open.menu); ++i) texts.push_back(HelpMenuText(open.menu, i));
      GetWindowRect(open.window, &menuRect);
      // The pointer stays where it was while the menu is open, longer than a
      // tip takes to show; then the choice.
      Later(1500, [&] {
        tipWithMenu = IsWindowVisible(tips) != FALSE;
        PressKeys(Choose(4));
      });
      return std::vector<WORD>();
    });
    // By a click, then as the keyboard opens it, the pointer still on the
    // button with its tip showing.
    if (round == 0)
      Click(IDC_OPTION);
    else
      PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTION, BN_CLICKED), reinterpret_cast<LPARAM>(Item(IDC_OPTION)));
    ASSERT_TRUE(PumpUntil([&] { return !texts.empty() && window->keepOnTop() == (round == 0); }));
    // The item always names what choosing it does.
    EXPECT_EQ(texts, (std::vector<std::wstring>{Lang(L"Menu_Setting"), Lang(L"Menu_Recordings"), Lang(L"Menu_About"),
                                                Lang(round == 0 ? L"Menu_Top_Window" : L"Menu_Cancel_Top_Window"),
                                                Lang(L"Menu_Exit")}));
    EXPECT_EQ(menuRect.left, option.right - 92);
    EXPECT_EQ(menuRect.top, option.top + 23);
    EXPECT_FALSE(tipWithMenu) << "the tip would cover the menu's first item";
    EXPECT_EQ((GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, round == 0);
  }
  EXPECT_FALSE(window->keepOnTop());
}

TEST_F(MainWindow, AHiddenStartStaysHiddenUntilTheStartUpPeriodIsOver) {
  Open(false, true);
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "the template's visible style is not obeyed";
  ShowWindow(hwnd, SW_SHOWNORMAL);
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "nor a request within the first two seconds";
  auto start = std::chrono::steady_clock::now();
  PumpUntil([] { return false; }, std::chrono::milliseconds(2500));
  ASSERT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  SendMessageW(hwnd, WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(MainWindow, AWriterThatCannotWriteLeavesTheErrorLineInRedAndABalloon) {
  TrayRecorder tray;
  Open();
  FileFault fault;
  fault.op = FileOp::Create;
  fault.pathContains = L"_In.sky";
  InjectFileFault(fault);
  CallWith(L"dave");
  Click(IDC_RECORD);
  std::wstring error = Lang(L"Error_Message_1");
  ASSERT_TRUE(PumpUntil([&] { return Text(IDC_RECORD_STATUS) == error && Enabled(IDC_RECORD); }))
      << Text(IDC_RECORD_STATUS).size() << " " << Enabled(IDC_RECORD) << " " << Visible(IDC_RECORD_STATUS);
  Session().WaitForFinishing();
  PumpUntil([] { return false; }, std::chrono::milliseconds(1200));  // past the line's next refresh
  EXPECT_EQ(Text(IDC_RECORD_STATUS), error);
  EXPECT_TRUE(Visible(IDC_RECORD_STATUS));
  EXPECT_GT(Shows(IDC_RECORD_STATUS, kRed), 5) << "red although a call is in progress";
  EXPECT_EQ(Shows(IDC_RECORD_STATUS, kGreen), 0);
  EXPECT_FALSE(Enabled(IDC_STOP));
  bool balloon = false;
  for (const TrayCall& call : tray.calls()) balloon |= call.flags == NIF_INFO && call.info == error;
  EXPECT_TRUE(balloon) << "whatever ShowStatusOnTray says";

  // A writer may fail before the window has heard that its recording
  // started: the failure's events come first, then the start's and the
  // abort's. The error line and the error's balloon are what stays, not the
  // state balloon the recording's later events would ask for.
  recorder->settings().Change([](SettingsRecord& s) { s.ShowStatusOnTray = 1; });
  tray.clear();
  events.OnRecordingFailed(RecordingFailure::StreamFileNotCreated);
  events.OnRecordingStarted();
  events.OnRecordingStopped();
  FinishedRecording aborted;
  aborted.aborted = true;
  events.OnRecordingFinished(aborted);
  PumpUntil([] { return false; }, std::chrono::milliseconds(1500));  // past the state balloon's delay
  std::wstring lastBalloon;
  for (const TrayCall& call : tray.calls())
    if (call.flags == NIF_INFO) lastBalloon = call.info;
  EXPECT_EQ(lastBalloon, error);
  EXPECT_EQ(Text(IDC_RECORD_STATUS), error);
  EXPECT_TRUE(Enabled(IDC_RECORD));
  EXPECT_FALSE(Enabled(IDC_PAUSE));
}

TEST_F(MainWindow, HandleCountsStayFlatOverManyRefreshesAndMenus) {
  Open();
  Calls().activeCallCount = 1;
  auto round = [&](int i) {
    freeBytes = (i & 1) ? 104857599 : (uint64_t(2) << 30);
    RefreshFolderLine();
    Calls().callPartners.Set(0, (i & 1) ? L"erin" : L"frank");
    window->ApplyMainWindowTexts();
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  };
  round(0);
  WhenMenuOpens([](const OpenMenu&) { return std::vector<WORD>{VK_ESCAPE}; });
  Click(IDC_OPTION);
  PumpPending();
  GuiCounts before = GuiCounts::Now();
  for (int i = 1; i <= 50; ++i) round(i);
  for (int i = 0; i < 20; ++i) {
    WhenMenuOpens([](const OpenMenu&) { return std::vector<WORD>{VK_ESCAPE}; });
    Click(IDC_OPTION);
  }
  PumpPending();
  GuiCounts after = GuiCounts::Now();
  std::printf("GDI objects %ld -> %ld, USER objects %ld -> %ld over 50 refreshes and 20 menus\n", before.gdi,
              after.gdi, before.user, after.user);
  EXPECT_LE(after.gdi, before.gdi + 2);
  EXPECT_LE(after.user, before.user + 2);
}


TEST_F(MainWindow, SettingsRunOnTheirOwnThreadOnceAndAboutOnTheWindowsThreadOnce) {
  Open();
  // Setting from the Option menu: a dialog of another thread; the window goes on.
  WhenMenuOpens([](const OpenMenu&) { return Choose(1); });
  Click(IDC_OPTION);
  ASSERT_TRUE(PumpUntil([&] { return OtherDialogs(hwnd).size() == 1; }));
  HWND settings = OtherDialogs(hwnd).front();
  EXPECT_NE(GetWindowThreadProcessId(settings, nullptr), GetCurrentThreadId());
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  // Setting again, from the tray menu while the main window is in front:
  // still the one dialog, and it is the dialog that comes to the front (not
  // another window of its thread, such as its tooltip).
  SetForegroundWindow(hwnd);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == hwnd; }));
  SendMessageW(hwnd, WM_COMMAND, ID_TRAY_SETTING, 0);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == settings; }));
  EXPECT_EQ(OtherDialogs(hwnd), std::vector<HWND>{settings});
  EXPECT_TRUE(window->dialogs().SettingsRunning());

  // The language changes meanwhile (as the dialog's apply does); once the
  // dialog is closed with its close button, the window speaks it.
  recorder->language().Select(1);
  std::wstring caption = Lang(L"Main_Caption");
  ASSERT_NE(caption, GetWindowTextString(hwnd));
  // The user comes back to the dialog first.
  SetForegroundWindow(settings);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == settings; }));
  RECT close;
  GetClientRect(GetDlgItem(settings, IDC_SETTING_CLOSE), &close);
  Mouse::ClickAsUser(GetDlgItem(settings, IDC_SETTING_CLOSE), {close.right / 2, close.bottom / 2});
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(settings) && GetWindowTextString(hwnd) == caption; }))
      << "dialog still there: " << IsWindow(settings) << ", running " << window->dialogs().SettingsRunning()
      << ", caption matches " << (GetWindowTextString(hwnd) == caption);
  EXPECT_TRUE(PumpUntil([&] { return !window->dialogs().SettingsRunning(); }));
  EXPECT_EQ(Text(IDC_TITLE), caption);
  EXPECT_EQ(Text(IDC_OPEN_FOLDER), Lang(L"Button_Open_Record_Folder"));
  // The six buttons' tips too.
  HWND tips = nullptr;
  while ((tips = FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr)) && GetWindow(tips, GW_OWNER) != hwnd) {
  }
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 6);
  const std::pair<int, const wchar_t*> kTips[] = {{IDC_RECORD, L"Button_Record_Tip"}, {IDC_STOP, L"Button_Stop_Tip"},
                                                  {IDOK, L"Button_Close_Tip"}};
  for (const auto& tip : kTips) {
    wchar_t text[128] = L"";
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(tip.first));
    tool.lpszText = text;
    SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::wstring(text), Lang(tip.second));
  }

  // Settings asked for again the moment the dialog is closing: the request is
  // not lost, the dialog opens again once the old one has gone.
  WhenMenuOpens([](const OpenMenu&) { return Choose(1); });
  Click(IDC_OPTION);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().SettingsWindow() != nullptr; }));
  HWND closing = window->dialogs().SettingsWindow();
  PostMessageW(closing, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().SettingsWindow() != closing; }));
  SendMessageW(hwnd, WM_COMMAND, ID_MENU_SETTING, 0);
  ASSERT_TRUE(PumpUntil([&] {
    HWND shown = window->dialogs().SettingsWindow();
    return shown && shown != closing && !IsWindow(closing);
  }));
  EXPECT_TRUE(PumpUntil([&] { return OtherDialogs(hwnd).size() == 1; }));
  HWND reopened = window->dialogs().SettingsWindow();
  PostMessageW(reopened, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(PumpUntil([&] { return !window->dialogs().SettingsRunning() && !IsWindow(reopened); }));

  // The recordings window, from the Option menu: a window of its own thread
  // and without an owner, the main window usable beside it; asked for again
  // from the tray menu's item, the same one comes to the front.
  WhenMenuOpens([](const OpenMenu&) { return Choose(2); });
  Click(IDC_OPTION);
  ASSERT_TRUE(PumpUntil([&] { return window->dialogs().RecordingsWindow() != nullptr; }));
  HWND recordings = window->dialogs().RecordingsWindow();
  EXPECT_NE(GetWindowThreadProcessId(recordings, nullptr), GetCurrentThreadId());
  EXPECT_EQ(GetWindow(recordings, GW_OWNER), nullptr);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_EQ(GetWindowTextString(recordings), Lang(L"Recordings_Title"));
  SetForegroundWindow(hwnd);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == hwnd; }));
  SendMessageW(hwnd, WM_COMMAND, ID_MENU_RECORDINGS, 0);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == recordings; }));
  EXPECT_EQ(OtherDialogs(hwnd), std::vector<HWND>{recordings});
  // The exit's closing of the dialogs closes it too.
  window->dialogs().CloseSettings();
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(recordings) && window->dialogs().RecordingsWindow() == nullptr; }));

  // About, from the system menu: modal on the window's own thread, the window
  // disabled meanwhile; asked for again from the tray, no second box.
  bool modalHere = false, ownerDisabled = false;
  size_t boxes = 0;
  WhenDialogOpens(hwnd, [&](HWND about) {
    modalHere = GetWindowThreadProcessId(about, nullptr) == GetCurrentThreadId();
    ownerDisabled = !IsWindowEnabled(hwnd);
    SendMessageW(hwnd, WM_COMMAND, ID_TRAY_ABOUT, 0);
    boxes = OtherDialogs(hwnd).size();
    PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
  });
  SendMessageW(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  EXPECT_TRUE(modalHere);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(boxes, 1u);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_TRUE(OtherDialogs(hwnd).empty());
}

// How long the window takes to answer, asked every 20 ms from another thread.
class AnswerTimer {
 public:
  explicit AnswerTimer(HWND window)
      : thread_([this, window] {
          while (!stop_.load()) {
            auto start = std::chrono::steady_clock::now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
            auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            if (took.count() > worst_.load()) worst_ = took.count();
            asked_.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
          ended_ = true;
        }) {}
  // Ends the asking; the window's thread goes on pumping until the last
  // question has been answered.
  void Stop() {
    stop_ = true;
    PumpUntil([this] { return ended_.load(); }, std::chrono::seconds(60));
    if (thread_.joinable()) thread_.join();
  }
  ~AnswerTimer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long long worst() const { return worst_.load(); }
  int asked() const { return asked_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long long> worst_{0};
  std::atomic<int> asked_{0};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// The window's thread here is the test's: between the user's steps it only
// pumps, so every round trip above measures the window's own handlers.
TEST_F(MainWindow, KeepsAnsweringThroughStartPauseResumeStopAndAbortOnASlowDisk) {
  TrayRecorder tray;
  Open();
  // Every write to a stream file takes a fifth of a second, as on a share that
  // hardly answers, and while the gate is closed a write does not end at all.
  std::atomic<bool> gateClosed{true};
  std::atomic<int> writesHeld{0};
  FileFault slow;
  slow.op = FileOp::Write;
  slow.pathContains = L".sky";
  slow.persistent = true;
  slow.hold = [&] {
    writesHeld.fetch_add(1);
    while (gateClosed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  InjectFileFault(slow);
  CallWith(L"gus");
  auto pumpUntil = [](const std::function<bool()>& done) { return PumpUntil(done, std::chrono::seconds(60)); };
  // Should the window wait for a writer after all, the gate opens in the end
  // anyway, and the test fails on the answer time instead of hanging.
  std::thread opener;
  auto openGateLater = [&] {
    if (opener.joinable()) opener.join();
    opener = std::thread([&] {
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (gateClosed.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      gateClosed = false;
    });
  };
  AnswerTimer timer(hwnd);

  Click(IDC_RECORD);
  ASSERT_TRUE(pumpUntil([&] { return Enabled(IDC_PAUSE); }));
  // More than the writers' early-write amount: they go into a write and stay.
  Stream(10, 20, 160000);
  ASSERT_TRUE(pumpUntil([&] { return writesHeld.load() > 0; }));
  openGateLater();
  Click(IDC_PAUSE);
  ASSERT_TRUE(pumpUntil([&] { return Enabled(IDC_RECORD); }));
  Stream(30, 40, 16000);
  Click(IDC_RECORD);  // resumes while the writers are still in their write
  ASSERT_TRUE(pumpUntil([&] { return Enabled(IDC_PAUSE); }));
  EXPECT_TRUE(gateClosed.load()) << "the resume waited for the writers";
  gateClosed = false;
  Stream(50, 60, 16000);
  Click(IDC_STOP);
  ASSERT_TRUE(pumpUntil([&] { return !Session().Exists() && !Session().FinishingRunning() && Enabled(IDC_RECORD); }));
  std::vector<int16_t> first = RecordingOf(L"gus");
  // Everything before the pause and after the resume is there; the pause's
  // own audio too, as the writers had not reached the pause yet.
  EXPECT_EQ(first.size(), size_t(160000 + 16000 + 16000));
  if (!first.empty()) {
    EXPECT_EQ(first.front(), 10 + 20);
    EXPECT_EQ(first.back(), 50 + 60);
  }

  // The next recording's microphone file cannot be made while the far end's
  // writer is in a write that does not end: the recording is given up, its
  // writers stopped and waited for away from the window.
  FileFault failing;
  failing.op = FileOp::Create;
  failing.pathContains = L"_In.sky";
  InjectFileFault(failing);
  gateClosed = true;
  writesHeld = 0;
  Click(IDC_RECORD);
  Stream(70, 80, 160000);
  ASSERT_TRUE(pumpUntil([&] { return writesHeld.load() > 0; }));
  openGateLater();
  ASSERT_TRUE(pumpUntil([&] { return Text(IDC_RECORD_STATUS) == Lang(L"Error_Message_1"); }));
  EXPECT_TRUE(gateClosed.load()) << "the abort waited for the writers";
  gateClosed = false;
  ASSERT_TRUE(pumpUntil([&] { return !Session().Exists() && !Session().FinishingRunning() && Enabled(IDC_RECORD); }));
  PumpPending();
  opener.join();
  timer.Stop();

  EXPECT_GT(timer.asked(), 20);
  std::printf("worst answer of the main window: %lld ms over %d round trips\n", timer.worst(), timer.asked());
  // The aim is under 100 ms (bench/README.md); a loaded machine gets room.
  EXPECT_LT(timer.worst(), 1000);
}

}  // namespace
