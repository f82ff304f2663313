// The dialog host: the settings dialog, the recordings window and the about
// box as modeless windows on the main window's thread (here the window
// thread's stand-in main window): each beside a main window that stays
// usable, each once and brought forward when asked for again, reached by the
// keyboard through the main window's loop, all closed by the exit, and the
// settings dialog asked for while its OK waits for the apply opening again.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/dialog_host.h"
#include "app/resource.h"
#include "app/user_messages.h"
#include "settings/settings.h"
#include "tests/app/dialog_test_support.h"
#include "ui/control.h"

namespace {

// The windows a host's request is about.
struct Kind {
  const char* name;
  std::function<void(DialogHost&)> open;
  std::function<HWND(const DialogHost&)> window;
  bool ownedByMain;
};

const Kind kKinds[] = {
    {"settings", [](DialogHost& host) { host.OpenSettings(); },
     [](const DialogHost& host) { return host.SettingsWindow(); }, true},
    {"recordings", [](DialogHost& host) { host.OpenRecordings(); },
     [](const DialogHost& host) { return host.RecordingsWindow(); }, false},
    {"about", [](DialogHost& host) { host.ShowAbout(); }, [](const DialogHost& host) { return host.AboutWindow(); },
     true},
};

// A job that holds the worker it runs on until the test lets it go.
class Gate {
 public:
  void Hold(BackgroundWork& work) {
    work.Run([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      entered_ = true;
      changed_.wait(lock, [this] { return open_; });
    });
    WaitUntil([this] {
      std::lock_guard<std::mutex> lock(mutex_);
      return entered_;
    });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  ~Gate() { Open(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false, open_ = false;
};

class DialogHostTest : public ::testing::Test {
 protected:
  DialogHostTest() {
    windows.Run([this] {
      host = std::make_unique<DialogHost>(
          *program.recorder, [this] { ++settingsClosed; });
      host->SetMainWindow(windows.main());
    });
  }
  ~DialogHostTest() override {
    windows.Run([this] { host.reset(); });
  }

  // Asks the host on the window thread, as the main window's menu does.
  void Ask(const std::function<void(DialogHost&)>& request) {
    windows.Run([&] { request(*host); });
  }
  HWND WindowOf(const Kind& kind) {
    HWND window = nullptr;
    windows.Run([&] { window = kind.window(*host); });
    return window;
  }
  // The visible dialogs of the window thread besides the main window.
  std::vector<HWND> OpenDialogs() const {
    std::vector<HWND> dialogs = VisibleWindowsOfClass(windows.id(), L"#32770");
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), windows.main()), dialogs.end());
    return dialogs;
  }
  // Brings the main window to the front, as a user clicking it does.
  void MainInFront() {
    SetForegroundWindow(windows.main());
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == windows.main(); }));
  }

  ProgramCopy program;
  WindowThread windows;
  std::unique_ptr<DialogHost> host;
  // The applies that took effect: the recorder tells each.
  int applied() const { return program.events.changed.load() - loaded; }

  const int loaded = program.events.changed.load();
  std::atomic<int> settingsClosed{0};
};

}  // namespace

// Each window opens on the main window's own thread and leaves the main
// window enabled; asked for again, from behind the main window and
// minimised, the same window comes back to the front, restored; all three
// are open at once.
TEST_F(DialogHostTest, EachWindowOpensOnceBesideTheMainWindowAndComesForwardWhenAskedAgain) {
  size_t open = 0;
  for (const Kind& kind : kKinds) {
    Ask(kind.open);
    HWND window = WindowOf(kind);
    ASSERT_NE(window, nullptr) << kind.name;
    ++open;
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window; })) << kind.name;
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), windows.id()) << kind.name;
    EXPECT_EQ(GetWindow(window, GW_OWNER), kind.ownedByMain ? windows.main() : nullptr) << kind.name;
    EXPECT_TRUE(IsWindowEnabled(windows.main())) << kind.name;
    EXPECT_EQ(OpenDialogs().size(), open) << kind.name;

    MainInFront();
    if (!kind.ownedByMain) {
      // One with a taskbar button of its own is minimised by itself.
      ShowWindow(window, SW_MINIMIZE);
      ASSERT_TRUE(PumpUntil([&] { return IsIconic(window) != FALSE; })) << kind.name;
    }
    Ask(kind.open);
    EXPECT_EQ(WindowOf(kind), window) << kind.name;
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window && !IsIconic(window); })) << kind.name;
    EXPECT_EQ(OpenDialogs().size(), open) << kind.name;
  }
  // Each closes by its own close button; the settings dialog's end is told.
  for (const Kind& kind : kKinds) {
    HWND window = WindowOf(kind);
    SetForegroundWindow(window);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window; }));
    Keyboard::Press(VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window) && WindowOf(kind) == nullptr; })) << kind.name;
  }
  EXPECT_TRUE(OpenDialogs().empty());
  EXPECT_EQ(settingsClosed.load(), 1);
  EXPECT_EQ(applied(), 0);
}

// The keyboard reaches the modeless settings dialog through the main
// window's loop: Tab moves from OK on to the lists, Shift+Tab back, Esc
// closes it without applying.
TEST_F(DialogHostTest, TabAndEscReachTheModelessSettingsDialog) {
  const std::string before = ReadFileBytes(program.recorder->configPath());
  Ask([](DialogHost& host) { host.OpenSettings(); });
  HWND settings = WindowOf(kKinds[0]);
  ASSERT_NE(settings, nullptr);
  SetForegroundWindow(settings);
  HWND ok = GetDlgItem(settings, IDOK);
  auto focus = [&] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(windows.id(), &info) ? info.hwndFocus : nullptr;
  };
  ASSERT_TRUE(PumpUntil([&] { return focus() == ok; }));
  // Tab goes from control to control, round to the language list.
  HWND language = GetDlgItem(settings, IDC_SETTING_LANGUAGE);
  for (int presses = 0; presses < 40 && focus() != language; ++presses) {
    HWND before = focus();
    Keyboard::Press(VK_TAB);
    ASSERT_TRUE(PumpUntil([&] { return focus() != before; })) << presses;
    ASSERT_TRUE(IsChild(settings, focus())) << presses;
  }
  ASSERT_EQ(focus(), language);
  // And Shift+Tab back.
  Keyboard::Press(VK_TAB, true);
  EXPECT_TRUE(PumpUntil([&] { return focus() != language && IsChild(settings, focus()); }));
  Keyboard::Press(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(settings); }));
  EXPECT_EQ(ReadFileBytes(program.recorder->configPath()), before);
  EXPECT_EQ(applied(), 0);
}

// While the settings' apply waits (on a slow disk: its worker held here), the
// main window's thread goes on: the dialog answers, a second OK is not a
// second apply, and the settings asked for again are not lost: once the
// apply is done the dialog closes and a new one opens. A refused apply
// shows its box on the dialog while the main window and the other windows
// stay usable.
TEST_F(DialogHostTest, TheApplyRunsOffTheWindowThreadAndSettingsAskedForWhileClosingOpenAgain) {
  Ask([](DialogHost& host) { host.OpenSettings(); });
  HWND first = WindowOf(kKinds[0]);
  ASSERT_NE(first, nullptr);
  SetForegroundWindow(first);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == first; }));
  Gate gate;
  BackgroundWork* work = nullptr;
  // The host's worker: the one the dialog applies on.
  windows.Run([&] { work = &host->SettingsWork(); });
  gate.Hold(*work);

  Click(GetDlgItem(first, IDOK));
  Click(GetDlgItem(first, IDOK));
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(first, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer), 0);
  EXPECT_TRUE(IsWindow(first));
  MainInFront();
  Ask([](DialogHost& host) { host.OpenSettings(); });
  EXPECT_EQ(OpenDialogs(), std::vector<HWND>{first});
  EXPECT_EQ(applied(), 0);

  gate.Open();
  ASSERT_TRUE(PumpUntil([&] {
    HWND now = WindowOf(kKinds[0]);
    return !IsWindow(first) && now != nullptr && now != first;
  }));
  EXPECT_EQ(applied(), 1);
  EXPECT_EQ(settingsClosed.load(), 1);
  EXPECT_EQ(OpenDialogs().size(), 1u);

  // A folder that cannot be made: the box, owned by the dialog, and the rest
  // usable meanwhile.
  HWND second = WindowOf(kKinds[0]);
  ASSERT_TRUE(WriteFileBytes(program.folder.file(L"a file"), "x"));
  windows.Run([&] { SetWindowTextW(GetDlgItem(second, IDC_SETTING_FOLDER), (program.folder.file(L"a file") + L"\\x").c_str()); });
  SetForegroundWindow(second);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == second; }));
  Click(GetDlgItem(second, IDC_SETTING_APPLY));
  HWND box = nullptr;
  auto findBox = [&] {
    for (HWND window : OpenDialogs())
      if (GetWindow(window, GW_OWNER) == second) box = window;
    return box != nullptr;
  };
  ASSERT_TRUE(PumpUntil(findBox));
  EXPECT_TRUE(ShowsText(box, ApplyFailureMessage(program.recorder->language(), ApplyResult::FolderNotCreated)));
  EXPECT_FALSE(IsWindowEnabled(second));
  EXPECT_TRUE(IsWindowEnabled(windows.main()));
  Ask([](DialogHost& host) { host.OpenRecordings(); });
  HWND recordings = WindowOf(kKinds[1]);
  ASSERT_NE(recordings, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == recordings; }));
  // The box answered, the dialog takes input again.
  SetForegroundWindow(box);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == box; }));
  Keyboard::Press(VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box) && IsWindowEnabled(second); }));
  EXPECT_EQ(applied(), 1);
}

// The exit closes every window, a nested dialog and a box of theirs among
// them, from inside the nested loop they run; nothing opens after it.
TEST_F(DialogHostTest, TheExitClosesEveryWindowAndNoneOpensAfter) {
  for (const Kind& kind : kKinds) Ask(kind.open);
  HWND settings = WindowOf(kKinds[0]);
  ASSERT_NE(settings, nullptr);
  SetForegroundWindow(settings);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == settings; }));
  Click(GetDlgItem(settings, IDC_SETTING_SOUND_MORE));
  HWND sound = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    for (HWND window : OpenDialogs())
      if (GetWindow(window, GW_OWNER) == settings) sound = window;
    return sound != nullptr;
  }));
  EXPECT_EQ(OpenDialogs().size(), 4u);

  const std::string before = ReadFileBytes(program.recorder->configPath());
  Ask([](DialogHost& host) { host.CloseAll(); });
  EXPECT_TRUE(PumpUntil([&] { return OpenDialogs().empty(); }));
  for (const Kind& kind : kKinds) EXPECT_EQ(WindowOf(kind), nullptr) << kind.name;
  EXPECT_FALSE(IsWindow(sound));
  for (const Kind& kind : kKinds) Ask(kind.open);
  PumpPending();
  EXPECT_TRUE(OpenDialogs().empty());
  EXPECT_EQ(ReadFileBytes(program.recorder->configPath()), before);
  EXPECT_EQ(applied(), 0);
}
