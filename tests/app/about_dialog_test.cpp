// The about box as the user meets it: a modeless window on the window
// thread, owned by the stand-in main window.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/about_dlg.h"
#include "app/resource.h"
#include "common/text_format.h"
#include "tests/app/dialog_test_support.h"

namespace {

class AboutDialogTest : public ::testing::Test {
 protected:
  std::unique_ptr<OpenDialog> Open() {
    return OpenDialog::Open(windows, [this] {
      return std::make_unique<CAboutDlg>(windows.main(), program.recorder->language());
    });
  }
  ProgramCopy program;
  WindowThread windows;
};

}  // namespace

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
