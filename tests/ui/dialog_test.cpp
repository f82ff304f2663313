// The dialog class's loops: nested modal dialogs, a dialog on a thread of its
// own, and an exit asked for while a dialog is open.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/ui/window_bench.h"
#include "ui/dialog.h"

namespace {

class ModalDialog : public CDialog {
 public:
  ModalDialog(HWND parent, std::function<void(HWND)> onInit)
      : CDialog(static_cast<const DLGTEMPLATE*>(nullptr), parent),
        words_(DialogTemplateWords(WS_POPUP | WS_VISIBLE)),
        onInit_(std::move(onInit)) {
    template_ = reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }
  std::function<void()> onApp;

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

 private:
  std::vector<WORD> words_;
  std::function<void(HWND)> onInit_;
};

TEST(Dialog, QuitInsideANestedModalDialogEndsEveryLoopAroundIt) {
  HWND outerWindow = nullptr, innerWindow = nullptr;
  bool ownerDisabledMeanwhile = false, ownerBackAfter = false;
  std::vector<std::string> ended;
  ModalDialog outer(nullptr, [&](HWND window) {
    outerWindow = window;
    PostMessageW(window, WM_APP, 0, 0);
  });
  outer.onApp = [&] {
    ModalDialog inner(outerWindow, [&](HWND window) {
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

TEST(Dialog, ModalOnItsOwnThreadLeavesTheOwnersThreadAtWork) {
  BenchDialog owner(200, 100);
  std::atomic<HWND> dialogWindow{nullptr};
  INT_PTR result = 0;
  std::thread settings([&] {
    ModalDialog dialog(owner.hwnd(), [&](HWND window) { dialogWindow = window; });
    result = dialog.DoModal();
  });
  ASSERT_TRUE(PumpUntil([&] { return dialogWindow.load() && IsWindowVisible(dialogWindow.load()); }));
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
  PostMessageW(dialogWindow.load(), WM_COMMAND, IDOK, 0);
  PumpUntil([&] { return !IsWindow(dialogWindow.load()); });
  settings.join();
  EXPECT_EQ(result, IDOK);
}

// The end of a modal dialog is told once on its thread, whichever way the
// dialog ends: after EndDialog and WM_QUIT while its window still exists (its
// owner may let a new one open at once, however long the window takes to go),
// after its window was destroyed, and when it could not be created at all.
TEST(Dialog, TheEndOfTheModalLoopIsToldOnceBeforeTheWindowGoes) {
  BenchDialog owner(200, 100);
  for (int way = 0; way < 3; ++way) {
    std::atomic<HWND> window{nullptr};
    std::atomic<int> told{0};
    std::atomic<bool> windowThenAlive{false}, onDialogThread{false}, returned{false};
    DWORD dialogThread = 0;
    std::thread thread([&] {
      dialogThread = GetCurrentThreadId();
      ModalDialog dialog(owner.hwnd(), [&](HWND w) { window = w; });
      dialog.onModalEnd = [&] {
        ++told;
        windowThenAlive = IsWindow(window.load()) != FALSE;
        onDialogThread = GetCurrentThreadId() == dialogThread && !returned.load();
      };
      dialog.onApp = [&] {
        if (way == 1) PostQuitMessage(3);
        if (way == 2) DestroyWindow(window.load());
      };
      INT_PTR result = dialog.DoModal();
      returned = true;
      EXPECT_EQ(result, way == 0 ? IDCANCEL : 0) << way;
      MSG quit;
      PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    });
    ASSERT_TRUE(PumpUntil([&] { return window.load() && IsWindowVisible(window.load()); })) << way;
    if (way == 0) PostMessageW(window.load(), WM_COMMAND, IDCANCEL, 0);
    if (way > 0) PostMessageW(window.load(), WM_APP, 0, 0);
    PumpUntil([&] { return returned.load(); });
    thread.join();
    EXPECT_EQ(told.load(), 1) << way;
    EXPECT_EQ(windowThenAlive.load(), way != 2) << way;
    EXPECT_TRUE(onDialogThread.load()) << way;
    EXPECT_FALSE(IsWindow(window.load())) << way;
  }
  // A template that does not exist.
  int told = 0;
  CDialog missing(0xFFFFu, owner.hwnd());
  missing.onModalEnd = [&] { ++told; };
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_EQ(told, 1);
}

}  // namespace
