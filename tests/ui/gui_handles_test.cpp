// The recorder runs for weeks: painting, hovering and opening the menu must
// leave the process's GDI and USER handle counts where they were.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"
#include "ui/edit_ex.h"
#include "ui/option_menu.h"
#include "ui/image_button.h"
#include "ui/transparent_static.h"

namespace {

class CountingMenu : public OptionMenu {
 public:
  void DrawItem(const DRAWITEMSTRUCT& item) override {
    ++drawn;
    OptionMenu::DrawItem(item);
  }
  static int drawn;
};
int CountingMenu::drawn = 0;

// Closes the menu that is open once its items are painted (a timer comes after
// the paint).
void CALLBACK EndMenuSoon(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

constexpr int kRounds = 1000;
constexpr int kMenus = 200;

TEST(GuiHandles, StayFlatOverAThousandPaintsAndHoversAndTheMenuOpenings) {
  TempDir dir;
  {
    BenchDialog host(320, 200);
    GdiBitmap picture = MakeBitmap(320, 200, [](int x, int y) { return RGB(x & 0xFF, y & 0xFF, 50); });
    host.SetBackground(picture.get());
    auto image = [&](const wchar_t* name, COLORREF color) {
      std::wstring path = dir.file(name);
      WriteBmp(path, 30, 16, [color](int x, int) { return x < 2 ? 0xFFFF00FFu : 0xFF000000u | color; });
      return path;
    };
    auto placeholder = [&](int id, int x, int y, const wchar_t* cls, DWORD style) {
      return CreateWindowExW(0, cls, L"Status", WS_CHILD | WS_VISIBLE | style, x, y, 150, 24, host.hwnd(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    };
    CImageButton button;
    button.SetImages({image(L"b_n.bmp", 0x0000FF), image(L"b_d.bmp", 0xFF0000), image(L"b_h.bmp", 0x00FF00),
                      image(L"b_x.bmp", 0x808080)});
    button.SetText(L"Open");
    button.font.SetHeight(14);
    placeholder(1, 20, 20, L"STATIC", 0);
    ASSERT_TRUE(PlaceImageButton(host.hwnd(), button, 1));
    CBoxImageButton box;
    box.SetOnImages({image(L"on_n.bmp", 0x00FFFF), L"", image(L"on_h.bmp", 0xFFFF00), L""});
    box.SetOffImages({image(L"off_n.bmp", 0xFF00FF), L"", image(L"off_h.bmp", 0x00FF80), L""});
    box.SetCheck(0);
    placeholder(2, 20, 60, L"STATIC", 0);
    ASSERT_TRUE(PlaceImageButton(host.hwnd(), box, 2));
    CTransparentStatic label;
    ASSERT_TRUE(label.Attach(placeholder(3, 20, 100, L"STATIC", SS_LEFT)));
    label.height = 16;
    int paints = 0;
    host.onCtlColorStatic = [&](HDC dc, HWND control) {
      // The recording line turns green and red by turns, as during calls.
      label.textColor = (++paints & 1) ? RGB(0, 128, 0) : RGB(255, 0, 0);
      label.backgroundSource = host.background();
      return label.OnParentCtlColor(dc, control, CTLCOLOR_STATIC);
    };
    CEditEx edit;
    ASSERT_TRUE(edit.Attach(placeholder(4, 20, 140, L"EDIT", WS_BORDER)));
    GdiBrush menuBrush(CreateSolidBrush(RGB(215, 215, 215)));

    auto paintAndHover = [&] {
      Mouse::MoveTo(button.GetSafeHwnd(), {10, 8});
      Mouse::MoveTo(box.GetSafeHwnd(), {10, 8});
      Mouse::MoveTo(host.hwnd(), {300, 190});
      box.SetCheck(!box.GetCheck());
      RedrawWindow(host.hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    auto openMenu = [&] {
      CountingMenu menu;
      menu.CreatePopupMenu();
      menu.AppendItem(5006, {L"Setting", RGB(0, 0, 0), 0});
      menu.AppendItem(5002, {L"About", RGB(0, 0, 0), 1});
      menu.AppendItem(5005, {L"Exit", RGB(0, 0, 0), 0});
      menu.SetBackground(menuBrush.get());
      SetTimer(nullptr, 0, 1, EndMenuSoon);
      menu.Track(host.hwnd(), 100, 100);
    };
    // Whatever is made once (fonts, brushes, the system's caches) is made now.
    paintAndHover();
    openMenu();
    PumpPending();

    GuiCounts before = GuiCounts::Now();
    CountingMenu::drawn = 0;
    for (int i = 0; i < kRounds; ++i) paintAndHover();
    for (int i = 0; i < kMenus; ++i) openMenu();
    PumpPending();
    GuiCounts after = GuiCounts::Now();

    std::printf("GDI objects %ld -> %ld, USER objects %ld -> %ld over %d paints and hovers and %d menus\n",
                before.gdi, after.gdi, before.user, after.user, kRounds, kMenus);
    EXPECT_GT(before.gdi, 0);
    EXPECT_GT(before.user, 0);
    EXPECT_LE(after.gdi, before.gdi + 2);
    EXPECT_LE(after.user, before.user + 2);
    EXPECT_GE(CountingMenu::drawn, 3 * kMenus) << "every menu painted its items";
  }
  // The last window is gone, and the image library with it.
  EXPECT_EQ(GdiplusSession::Count(), 0);
}

}  // namespace
