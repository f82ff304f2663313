// What the main window's tests share: the real MainWindow with a recorder
// started as the program starts it, in a folder of its own; real input, the
// tray's calls, the menus' and the shell's answers, read back.
#pragma once

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

#include "app/main_window.h"
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
#include "ui/option_menu.h"

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
inline std::function<std::vector<WORD>(const OpenMenu&)> menuAction;

inline void PressKeys(const std::vector<WORD>& keys) {
  for (WORD key : keys) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
  }
}

inline void CALLBACK LookForMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND window = FindWindowW(L"#32768", nullptr);
  if (!window || !IsWindowVisible(window) || !menuAction) return;
  KillTimer(nullptr, timer);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
  auto act = std::move(menuAction);
  menuAction = nullptr;
  PressKeys(act({window, menu}));
}

inline void WhenMenuOpens(std::function<std::vector<WORD>(const OpenMenu&)> act) {
  menuAction = std::move(act);
  SetTimer(nullptr, 0, 20, LookForMenu);
}

// Runs `act` once, `ms` from now, from whatever loop this thread is in (a
// menu's, for one).
inline std::function<void()> laterAction;
inline void CALLBACK RunLater(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  auto act = std::move(laterAction);
  laterAction = nullptr;
  if (act) act();
}
inline void Later(UINT ms, std::function<void()> act) {
  laterAction = std::move(act);
  SetTimer(nullptr, 0, ms, RunLater);
}

// Down n times, then Enter: the n-th item (from 1) of a menu opened without a
// selection.
inline std::vector<WORD> Choose(int n) {
  std::vector<WORD> keys(static_cast<size_t>(n), VK_DOWN);
  keys.push_back(VK_RETURN);
  return keys;
}

inline std::wstring OptionMenuText(HMENU menu, int position) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_DATA;
  if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) || !info.dwItemData) return L"";
  return reinterpret_cast<const OptionMenuItem*>(info.dwItemData)->text;
}

inline std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[256] = L"";
  GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
  return text;
}

inline bool PtInRegionOfWindow(HWND window, POINT point) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  bool inside = GetWindowRgn(window, region) != ERROR && PtInRegion(region, point.x, point.y);
  DeleteObject(region);
  return inside;
}

// The visible dialogs of this process besides `main`.
inline std::vector<HWND> OtherDialogs(HWND main) {
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

// 16-bit samples of one value, as the client streams them.
inline std::vector<uint8_t> Tone(int16_t value, size_t samples) {
  std::vector<uint8_t> bytes(samples * 2);
  for (size_t i = 0; i < samples; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  }
  return bytes;
}

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterMainWindowClass(GetModuleHandleW(nullptr)); }

  void SetUp() override {
    records = dir.file(L"Records");
    CreateDirectoryW(records.c_str(), nullptr);
    recorder = std::make_unique<CallRecorder>(events, RecorderPlaces{dir.file(L"Config.ini"), LanguageIniPath()});
    events.SetLanguage(&recorder->language());
    ASSERT_TRUE(recorder->session().AllocateHandoffs());
    recorder->settings().Change([&](SettingsRecord& s) {
      s.recordFolder = records;
      s.autoRecord = 0;
      s.stateBalloons = 0;
      s.recordWay = RecordWay::Both;
      s.formats = kFormatWav;
      s.stereo = 0;
      s.openFolderAfterRecording = 0;
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

  // The recorder started and its window created as the program does it, the
  // window in front and idle. Config.ini holds the settings the test chose.
  void Open(bool bringForward = true, bool startHidden = false) {
    ASSERT_TRUE(SaveSettings(*recorder->settings().Current(), recorder->configPath()));
    recorder->Start();
    window = std::make_unique<MainWindow>(*recorder, events, startHidden);
    ASSERT_TRUE(window->Create());
    hwnd = window->GetSafeHwnd();
    if (!bringForward) return;
    SetForegroundWindow(hwnd);
    Mouse::MoveToScreen(Mouse::Away());
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == hwnd && ClientState() != 0 && FolderState() != 0 &&
                                       window->ChecksIdle(); }));
  }
  // What the window asked of the recorder has been decided, and what the
  // recorder told of it has reached the window.
  void Settle() {
    recorder->loop().Send([] {});
    PumpPending();
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
  std::unique_ptr<MainWindow> window;
  HWND hwnd = nullptr;
};
