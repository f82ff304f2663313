// The dialog class's loops and lifetimes: nested modal dialogs and an exit
// asked for inside them, modeless dialogs served by whichever loop of their
// thread runs (the keyboard included), and the end of a modeless dialog told
// once, however it comes.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/ui/window_bench.h"
#include "ui/dialog.h"

namespace {

class TestDialog : public CDialog {
 public:
  TestDialog(HWND parent, std::function<void(HWND)> onInit)
      : CDialog(static_cast<const DLGTEMPLATE*>(nullptr), parent),
        words_(DialogTemplateWords(WS_POPUP | WS_VISIBLE)),
        onInit_(std::move(onInit)) {
    template_ = reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }
  std::function<void()> onApp;
  // Messages its PreTranslateMessage was given, by window.
  std::function<void(const MSG&)> onPreTranslate;

 protected:
  BOOL OnInitDialog() override {
    onInit_(hwnd_);
    return TRUE;
  }
  INT_PTR WindowProc(UINT message, WPARAM, LPARAM, bool& handled) override {
    handled = message == WM_APP && onApp;
    if (handled) onApp();
    return 0;
  }
  bool PreTranslateMessage(MSG* msg) override {
    if (onPreTranslate) onPreTranslate(*msg);
    return false;
  }

 private:
  std::vector<WORD> words_;
  std::function<void(HWND)> onInit_;
};

// Two push buttons that take the keyboard, side by side.
void AddButtons(HWND dialog) {
  SetWindowPos(dialog, HWND_TOPMOST, 300, 200, 240, 80, SWP_SHOWWINDOW);
  for (int id : {101, 102})
    CreateWindowExW(0, L"BUTTON", id == 101 ? L"One" : L"Two", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                    (id - 101) * 110 + 10, 10, 100, 30, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                    GetModuleHandleW(nullptr), nullptr);
  SetFocus(GetDlgItem(dialog, 101));
}

HWND FocusOfThread(DWORD thread) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

}  // namespace

TEST(Dialog, QuitInsideANestedModalDialogEndsEveryLoopAroundIt) {
  HWND outerWindow = nullptr, innerWindow = nullptr;
  bool ownerDisabledMeanwhile = false, ownerBackAfter = false;
  std::vector<std::string> ended;
  TestDialog outer(nullptr, [&](HWND window) {
    outerWindow = window;
    PostMessageW(window, WM_APP, 0, 0);
  });
  outer.onApp = [&] {
    TestDialog inner(outerWindow, [&](HWND window) {
      innerWindow = window;
      ownerDisabledMeanwhile = !IsWindowEnabled(outerWindow);
      PostQuitMessage(7);
    });
    EXPECT_EQ(inner.DoModal(), 0);
    ended.push_back("inner");
    ownerBackAfter = IsWindowEnabled(outerWindow) != FALSE;
  };
  EXPECT_EQ(outer.DoModal(), 0);
  ended.push_back("outer");

  EXPECT_EQ(ended, (std::vector<std::string>{"inner", "outer"}));
  EXPECT_TRUE(ownerDisabledMeanwhile);
  EXPECT_TRUE(ownerBackAfter);
  EXPECT_FALSE(IsWindow(innerWindow));
  EXPECT_FALSE(IsWindow(outerWindow));
  // The quit is still there for the application's own loop, with its code.
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

// While a modal dialog's loop runs (a message box of the main window, say),
// a modeless dialog of the same thread still takes its keys from it: Tab
// moves between its buttons, Esc ends it. Its PreTranslateMessage sees its
// own windows' messages only.
TEST(Dialog, AModelessDialogTakesItsKeysFromWhicheverLoopOfItsThreadRuns) {
  const DWORD thread = GetCurrentThreadId();
  std::atomic<HWND> modelessWindow{nullptr};
  int destroyedTold = 0;
  bool foreignMessageSeen = false;
  TestDialog modeless(nullptr, [&](HWND window) {
    AddButtons(window);
    modelessWindow = window;
  });
  modeless.onDestroyed = [&] { ++destroyedTold; };
  modeless.onPreTranslate = [&](const MSG& msg) {
    if (msg.hwnd != modelessWindow.load() && !IsChild(modelessWindow.load(), msg.hwnd)) foreignMessageSeen = true;
  };
  ASSERT_TRUE(modeless.Create());

  std::atomic<HWND> modalWindow{nullptr};
  std::atomic<bool> movedByTab{false}, endedByEsc{false};
  std::thread user([&] {
    // The user turns to the modeless dialog while the modal one is up.
    if (!WaitUntil([&] { return modalWindow.load() && IsWindowVisible(modalWindow.load()); })) return;
    HWND window = modelessWindow.load();
    SetForegroundWindow(window);
    if (!WaitUntil([&] { return GetForegroundWindow() == window && FocusOfThread(thread) == GetDlgItem(window, 101); }))
      return;
    Keyboard::Press(VK_TAB);
    movedByTab = WaitUntil([&] { return FocusOfThread(thread) == GetDlgItem(window, 102); });
    Keyboard::Press(VK_ESCAPE);
    endedByEsc = WaitUntil([&] { return !IsWindow(window); });
    PostMessageW(modalWindow.load(), WM_COMMAND, IDOK, 0);
  });
  TestDialog modal(nullptr, [&](HWND window) {
    SetWindowPos(window, HWND_TOPMOST, 40, 40, 120, 60, SWP_SHOWWINDOW);
    modalWindow = window;
  });
  EXPECT_EQ(modal.DoModal(), IDOK);
  user.join();

  EXPECT_TRUE(movedByTab.load());
  EXPECT_TRUE(endedByEsc.load());
  EXPECT_EQ(modeless.result(), IDCANCEL);
  EXPECT_EQ(destroyedTold, 1);
  EXPECT_FALSE(foreignMessageSeen);
  EXPECT_EQ(modeless.GetSafeHwnd(), nullptr);
}

// A modeless dialog's end is told once, whichever way its window goes:
// EndDialog, DestroyWindow, its owner's end, and from inside a nested loop
// of its own handler, where the dialog says it is busy (its object must not
// go yet). A dialog destroyed by its object tells nothing.
TEST(Dialog, TheEndOfAModelessDialogIsToldOnceAndItIsBusyWhileItsHandlerRuns) {
  TestDialog owner(nullptr, [](HWND window) { SetWindowPos(window, nullptr, 40, 40, 120, 60, SWP_NOZORDER); });
  ASSERT_TRUE(owner.Create());
  for (int way = 0; way < 4; ++way) {
    int told = 0;
    bool busyInside = false;
    HWND window = nullptr;
    TestDialog dialog(owner.GetSafeHwnd(), [&](HWND w) { window = w; });
    dialog.onDestroyed = [&] { ++told; };
    dialog.onApp = [&] {
      // A nested modal dialog of the handler, ended from outside.
      TestDialog nested(window, [](HWND nestedWindow) { PostMessageW(nestedWindow, WM_APP, 0, 0); });
      nested.onApp = [&] {
        busyInside = dialog.Busy();
        DestroyWindow(window);
      };
      nested.DoModal();
    };
    ASSERT_TRUE(dialog.Create()) << way;
    EXPECT_FALSE(dialog.Busy()) << way;
    if (way == 0) dialog.EndDialog(IDOK);
    if (way == 1) DestroyWindow(window);
    if (way == 2) PostMessageW(window, WM_APP, 0, 0);
    if (way == 3) {
      // The owner goes, and its owned dialog with it.
      DestroyWindow(owner.GetSafeHwnd());
    }
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); })) << way;
    PumpPending();
    EXPECT_EQ(told, 1) << way;
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr) << way;
    EXPECT_FALSE(dialog.Busy()) << way;
    EXPECT_EQ(busyInside, way == 2) << way;
    EXPECT_EQ(dialog.result(), way == 0 ? IDOK : 0) << way;
  }
  int told = 0;
  {
    TestDialog dialog(nullptr, [](HWND) {});
    dialog.onDestroyed = [&] { ++told; };
    ASSERT_TRUE(dialog.Create());
  }
  EXPECT_EQ(told, 0);
  // A template that does not exist.
  CDialog missing(0xFFFFu);
  EXPECT_FALSE(missing.Create());
  EXPECT_EQ(missing.DoModal(), -1);
}
