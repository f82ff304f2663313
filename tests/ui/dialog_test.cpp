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

}  // namespace
