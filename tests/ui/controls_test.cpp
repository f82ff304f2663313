// The skinned controls as the user meets them: real mouse input on a window,
// read back on the window's pixels.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"
#include "ui/edit_ex.h"
#include "ui/option_menu.h"
#include "ui/image_button.h"
#include "ui/transparent_static.h"

namespace {

constexpr uint32_t kMagenta = 0xFFFF00FF;
constexpr uint32_t kNearMagenta = 0xFFFE00FF;
constexpr COLORREF kNormal = RGB(200, 0, 0), kHover = RGB(0, 200, 0), kDown = RGB(0, 0, 200),
                   kDisabled = RGB(128, 128, 128), kOn = RGB(230, 230, 0), kOff = RGB(0, 180, 180);
constexpr int kImageWidth = 24, kImageHeight = 12;

// A background whose every pixel tells where it lies.
COLORREF BackgroundAt(int x, int y) { return RGB((x * 3) & 0xFF, (y * 5) & 0xFF, 90); }

uint32_t Argb(COLORREF c) { return 0xFF000000 | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A button as its owner may see it in any state, to check which image wins.
class StateButton : public CImageButton {
 public:
  void Force(int hover, int pressed) {
    hover_ = hover;
    pressed_ = pressed;
    InvalidateWithOwner();
  }
};

// A button that counts how often it is drawn.
class CountingButton : public CImageButton {
 public:
  int draws = 0;

 protected:
  void DrawItem(const DRAWITEMSTRUCT& item) override {
    ++draws;
    CImageButton::DrawItem(item);
  }
};

class Controls : public ::testing::Test {
 protected:
  Controls() : host(320, 200) {
    GdiBitmap picture = MakeBitmap(320, 200, BackgroundAt);
    host.SetBackground(picture.get());
  }

  // A state image: the key colour in column 0, near-magenta in column 1, the
  // state's colour everywhere else. PNG or BMP by the name's ending.
  std::wstring Image(const std::wstring& name, COLORREF color) {
    std::wstring path = dir.file(name);
    auto pixel = [color](int x, int) { return x == 0 ? kMagenta : x == 1 ? kNearMagenta : Argb(color); };
    bool png = name.size() > 4 && name.substr(name.size() - 4) == L".png";
    EXPECT_TRUE(png ? WritePng(path, kImageWidth, kImageHeight, pixel)
                    : WriteBmp(path, kImageWidth, kImageHeight, pixel));
    return path;
  }
  ButtonImagePaths StateImages(const std::wstring& prefix) {
    return {Image(prefix + L"_normal.png", kNormal), Image(prefix + L"_down.bmp", kDown),
            Image(prefix + L"_on.png", kHover), Image(prefix + L"_disable.bmp", kDisabled)};
  }
  // A template-like child that PlaceImageButton replaces.
  HWND Placeholder(int id, int x, int y, const wchar_t* cls = L"STATIC", DWORD style = 0, int w = 50, int h = 20) {
    return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, host.hwnd(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }
  // The button in place of a placeholder at (40, 30), as a template's would be.
  HWND Place(CImageButton& button, int id) {
    Placeholder(id, 40, 30);
    EXPECT_TRUE(PlaceImageButton(host.hwnd(), button, id));
    return button.GetSafeHwnd();
  }
  // The colour the user sees in the middle of a control's image.
  static COLORREF Shown(const CControl& button) {
    return Pixels::OfClient(button.GetSafeHwnd()).at(kImageWidth / 2, kImageHeight / 2);
  }

  TempDir dir;
  BenchDialog host;
};

TEST_F(Controls, ImageButtonDrawsItsStatesFollowsTheMouseAndClicks) {
  StateButton button;
  button.SetImages(StateImages(L"Wbutton1"));
  HWND window = Place(button, 1028);
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, host.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 30);
  EXPECT_EQ(rect.right - rect.left, kImageWidth);
  EXPECT_EQ(rect.bottom - rect.top, kImageHeight);

  // Pure magenta is not drawn (the owner's background shows), near-magenta is.
  Pixels shot = Pixels::OfClient(window);
  EXPECT_EQ(shot.at(0, 5), BackgroundAt(40, 35));
  EXPECT_EQ(shot.at(1, 5), RGB(254, 0, 255));
  EXPECT_EQ(shot.at(12, 6), kNormal);

  Mouse::MoveTo(window, {12, 6});
  EXPECT_TRUE(button.hover());
  EXPECT_EQ(Shown(button), kHover);
  EXPECT_EQ(Pixels::OfClient(window).at(0, 5), BackgroundAt(40, 35)) << "the owner repaints under the button";
  Mouse::Press();
  EXPECT_EQ(Shown(button), kDown) << "down wins over hover";
  Mouse::Release();
  EXPECT_EQ(host.commands(), std::vector<int>{1028});
  EXPECT_FALSE(button.pressed());

  // The pointer leaves the window altogether (as from a button at its edge).
  Mouse::MoveTo(window, {13, 6});
  EXPECT_EQ(Shown(button), kHover);
  Mouse::MoveToScreen(Mouse::Away());
  PumpUntil([&] { return !button.hover(); });
  EXPECT_EQ(Shown(button), kNormal);

  // Disabled while hovered: it shows the disabled image, and once enabled again
  // with the pointer elsewhere, the normal one, not a hover left behind.
  Mouse::MoveTo(window, {12, 6});
  EnableWindow(window, FALSE);
  EXPECT_EQ(Shown(button), kDisabled);
  Mouse::MoveToScreen(Mouse::Away());
  EnableWindow(window, TRUE);
  EXPECT_EQ(Shown(button), kNormal);

  // Whatever the flags say, disabled wins; of the others, down wins.
  button.Force(1, 1);
  EXPECT_EQ(Shown(button), kDown);
  EnableWindow(window, FALSE);
  EXPECT_EQ(Shown(button), kDisabled);
  EnableWindow(window, TRUE);
  button.Force(1, 0);
  EXPECT_EQ(Shown(button), kHover);
  EXPECT_EQ(host.commands(), std::vector<int>{1028});
}

TEST_F(Controls, ReleaseOutsideAndDragFromElsewhereSendNoClick) {
  CImageButton button;
  button.SetImages(StateImages(L"Record"));
  HWND window = Place(button, 1003);

  Mouse::MoveTo(window, {12, 6});
  Mouse::Press();
  Mouse::MoveTo(window, {12, 60});
  Mouse::Release();
  EXPECT_TRUE(host.commands().empty());
  EXPECT_FALSE(button.pressed());
  EXPECT_EQ(Shown(button), kNormal);

  // A press on the background dragged over the button and released there.
  Mouse::MoveTo(window, {12, 60});
  Mouse::Press();
  Mouse::MoveTo(window, {8, 6});
  Mouse::MoveTo(window, {12, 6});
  EXPECT_FALSE(button.hover());
  EXPECT_EQ(Shown(button), kNormal);
  Mouse::Release();
  EXPECT_TRUE(host.commands().empty());

  // A quick second click is a click too.
  Mouse::ClickAt(window, {12, 6});
  Mouse::ClickAt(window, {12, 6});
  EXPECT_EQ(host.commands(), (std::vector<int>{1003, 1003}));
}

TEST_F(Controls, BoxButtonTogglesAtOnceAndKeepsItsClickFromTheOwner) {
  CBoxImageButton box;
  ButtonImagePaths on = {Image(L"CheckBox_on_normal.bmp", kOn), Image(L"CheckBox_on_down.bmp", kDown),
                         Image(L"CheckBox_on_on.bmp", kOn), Image(L"CheckBox_on_disable.bmp", kDisabled)};
  ButtonImagePaths off = {Image(L"CheckBox_off_normal.bmp", kOff), Image(L"CheckBox_off_down.bmp", kDown),
                          Image(L"CheckBox_off_on.bmp", kOff), Image(L"CheckBox_off_disabled.bmp", kDisabled)};
  box.SetOnImages(on);
  box.SetOffImages(off);
  EXPECT_EQ(box.ImageSize().cx, 0) << "paths alone load nothing";
  box.SetCheck(0);
  box.SetText(L"MP3");
  box.textLeftAligned = 1;
  box.textOffsetX = 22;
  Placeholder(1051, 40, 30, L"BUTTON", BS_AUTOCHECKBOX);
  ASSERT_TRUE(PlaceImageButton(host.hwnd(), box, 1051));
  HWND window = box.GetSafeHwnd();
  EXPECT_EQ(Shown(box), kOff);

  // The image files are gone: a click must not need them.
  for (const auto* paths : {&on, &off})
    for (const auto& path : {paths->normal, paths->down, paths->hover, paths->disabled}) DeleteFileW(path.c_str());
  Mouse::ClickAt(window, {12, 6});
  EXPECT_EQ(box.GetCheck(), 1);
  EXPECT_EQ(Shown(box), kOn);
  EXPECT_TRUE(host.commands().empty());

  Mouse::ClickAt(window, {12, 6});
  Mouse::ClickAt(window, {12, 6});
  EXPECT_EQ(box.GetCheck(), 1) << "both clicks of a quick double click count";
  EXPECT_TRUE(host.commands().empty());
}

TEST_F(Controls, ImageFilesAreNotHeldAndBadOnesGiveEmptyButtons) {
  ButtonImage image;
  std::wstring path = Image(L"Stop.png", kNormal);
  ASSERT_TRUE(LoadButtonImage(path, image, 96));
  EXPECT_EQ(image.width, kImageWidth);
  // The skin can be replaced while the image is in use.
  std::wstring replacement = Image(L"Stop_new.bmp", kHover);
  EXPECT_TRUE(MoveFileExW(replacement.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(DeleteFileW(path.c_str()));

  WriteFileBytes(dir.file(L"empty.png"), "");
  WriteFileBytes(dir.file(L"corrupt.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR garbage", 24));
  for (const std::wstring& bad : {dir.file(L"missing.png"), dir.file(L"empty.png"), dir.file(L"corrupt.png"),
                                  std::wstring()}) {
    EXPECT_FALSE(LoadButtonImage(bad, image, 96)) << bad.c_str();
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_FALSE(image.prepared);
  }

  CImageButton button;
  button.SetImages({dir.file(L"corrupt.png"), dir.file(L"missing.png"), L"", dir.file(L"empty.png")});
  button.SetText(L"Open");
  Place(button, 1035);
  RECT rect;
  GetClientRect(button.GetSafeHwnd(), &rect);
  EXPECT_EQ(rect.right, 0);
  EXPECT_EQ(rect.bottom, 0);
  RedrawWindow(host.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  // No window with that id to take the place of: nothing is made, and the
  // button placed before stays where it is.
  CImageButton another;
  another.SetImages({dir.file(L"corrupt.png"), L"", L"", L""});
  EXPECT_FALSE(PlaceImageButton(host.hwnd(), another, 4242));
  EXPECT_EQ(another.GetSafeHwnd(), nullptr);
  EXPECT_EQ(GetDlgItem(host.hwnd(), 4242), nullptr);
  EXPECT_EQ(GetDlgItem(host.hwnd(), 1035), button.GetSafeHwnd());
}

// A window that sets its buttons' captions on a timer (the main window's
// status refresh) costs nothing while a caption stays the same: no drawing of
// the button and nothing of the owner to paint again. A new caption is drawn
// at once.
TEST_F(Controls, ImageButtonDrawsAgainOnlyForANewCaption) {
  CountingButton button;
  button.SetImages(StateImages(L"Wbutton1"));
  button.SetText(L"Open");
  HWND window = Place(button, 1029);
  ASSERT_TRUE(PumpUntil([&] { return button.draws > 0; }));
  PumpPending();
  const int drawn = button.draws;
  for (int i = 0; i < 3; ++i) SetWindowTextW(window, L"Open");
  SetDlgItemTextW(host.hwnd(), 1029, L"Open");
  EXPECT_FALSE(GetUpdateRect(host.hwnd(), nullptr, FALSE));
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
  PumpPending();
  EXPECT_EQ(button.draws, drawn);
  EXPECT_EQ(GetWindowTextString(window), L"Open");

  SetWindowTextW(window, L"Close");
  EXPECT_EQ(button.text(), L"Close");
  EXPECT_EQ(GetWindowTextString(window), L"Close");
  EXPECT_TRUE(PumpUntil([&] { return button.draws > drawn; }));
}

TEST_F(Controls, ImagesScaledForDenserScreensKeepTheKeyColourOut) {
  ButtonImage image;
  std::wstring path = dir.file(L"min_normal.bmp");
  // A red square in a magenta frame.
  WriteBmp(path, 20, 10, [](int x, int y) { return x < 3 || y < 3 || x > 16 || y > 6 ? kMagenta : Argb(kNormal); });
  ASSERT_TRUE(LoadButtonImage(path, image, 144));
  EXPECT_EQ(image.width, 30);
  EXPECT_EQ(image.height, 15);
  // Drawn over white: no trace of magenta anywhere, the red square scaled.
  GdiBitmap canvas = MakeBitmap(40, 20, [](int, int) { return RGB(255, 255, 255); });
  MemoryDC dc(nullptr);
  {
    SelectionScope select(dc.get(), canvas.get());
    DrawButtonImage(image, dc.get(), {0, 0, 40, 20});
    GdiFlush();
  }
  BITMAP info;
  GetObjectW(canvas.get(), sizeof info, &info);
  auto* bits = static_cast<const uint32_t*>(info.bmBits);
  int fringe = 0, red = 0;
  for (int i = 0; i < 40 * 20; ++i) {
    int r = (bits[i] >> 16) & 0xFF, g = (bits[i] >> 8) & 0xFF, b = bits[i] & 0xFF;
    fringe += b > g + 30;
    red += r > 190 && g < 10 && b < 10;
  }
  EXPECT_EQ(fringe, 0);
  EXPECT_GE(red, 15 * 5);
}

TEST_F(Controls, TransparentLabelShowsTheOwnersPictureUnderItsText) {
  CTransparentStatic label;
  HWND window = Placeholder(1031, 37, 23, L"STATIC", SS_LEFT, 120, 24);
  SetWindowTextW(window, L"Ab");
  ASSERT_TRUE(label.Attach(window));
  label.height = 16;
  COLORREF lineColor = RGB(255, 255, 0);
  host.onCtlColorStatic = [&](HDC dc, HWND control) {
    label.textColor = lineColor;
    label.backgroundSource = host.background();
    return label.OnParentCtlColor(dc, control, CTLCOLOR_STATIC);
  };
  InvalidateRect(window, nullptr, TRUE);
  Pixels shot = Pixels::OfClient(window);
  LOGFONTW font = {};
  GetObjectW(label.font(), sizeof font, &font);
  EXPECT_EQ(font.lfHeight, ScaleForScreen(16));
  // Right of the text: the picture as it lies at the label's own position.
  EXPECT_EQ(shot.at(100, 3), BackgroundAt(137, 26));
  EXPECT_EQ(shot.at(119, 20), BackgroundAt(156, 43));
  EXPECT_GT(shot.count({0, 0, 40, 24}, lineColor), 5);

  // The colour follows every paint; the font and the background stay.
  HFONT made = label.font();
  lineColor = RGB(255, 0, 0);
  label.height = 30;
  InvalidateRect(window, nullptr, TRUE);
  shot = Pixels::OfClient(window);
  EXPECT_GT(shot.count({0, 0, 40, 24}, lineColor), 5);
  EXPECT_EQ(shot.count({0, 0, 40, 24}, RGB(255, 255, 0)), 0);
  EXPECT_EQ(shot.at(100, 3), BackgroundAt(137, 26));
  EXPECT_EQ(label.font(), made);

  EXPECT_FALSE(MakeBackgroundBrush(4242, host.hwnd(), host.background()));
}

TEST_F(Controls, EditFieldDrawsItsColoursAndRoundedBorder) {
  CEditEx edit;
  edit.borderColor = RGB(127, 157, 185);
  edit.backColor = RGB(255, 255, 200);
  edit.textColor = RGB(0, 0, 160);
  // As a dialog template makes it: a bordered edit gets the sunken frame.
  HWND window = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 40, 30, 150,
                                24, host.hwnd(), reinterpret_cast<HMENU>(1021), nullptr, nullptr);
  ASSERT_TRUE(edit.Attach(window));
  SetWindowTextW(window, L"WWW");
  Pixels shot = Pixels::OfClient(host.hwnd());
  EXPECT_EQ(shot.at(40 + 75, 30), edit.borderColor) << "top edge";
  EXPECT_EQ(shot.at(40 + 75, 53), edit.borderColor) << "bottom edge";
  EXPECT_EQ(shot.at(40, 30), BackgroundAt(40, 30)) << "the owner shows at the rounded corner";
  EXPECT_EQ(shot.at(40 + 140, 42), edit.backColor);
  EXPECT_EQ(shot.at(41, 42), edit.backColor) << "the frame inside the outline";
  EXPECT_GT(shot.count({41, 31, 100, 53}, edit.textColor), 5);
}

TEST_F(Controls, OptionMenuItemsMeasureAndDrawWithTheirSeparators) {
  OptionMenu menu;
  menu.itemWidth = 130;
  menu.itemHeight = 23;
  ASSERT_TRUE(menu.CreatePopupMenu());
  menu.AppendItem(5006, {L"Setting", RGB(0, 0, 0), 0});
  menu.AppendItem(5002, {L"About", RGB(0, 0, 0), 1});
  menu.AppendItem(5005, {L"Exit", RGB(0, 0, 0), 0});
  GdiBrush menuBrush(CreateSolidBrush(RGB(215, 215, 215)));
  menu.SetBackground(menuBrush.get());

  RECT items[3] = {};
  Pixels shot;
  std::thread user([&] {
    // The menu runs its own loop on the test's thread; the user acts from here.
    // Item rectangles on the screen come from the popup's own window (null).
    ASSERT_TRUE(WaitUntil([&] {
      HWND popup = FindWindowW(L"#32768", nullptr);
      return popup && IsWindowVisible(popup) && GetMenuItemRect(nullptr, menu.GetSafeHmenu(), 2, &items[2]) &&
             items[2].bottom > items[2].top;
    }));
    for (int i = 0; i < 3; ++i) GetMenuItemRect(nullptr, menu.GetSafeHmenu(), i, &items[i]);

    Mouse::MoveToScreen({items[0].left + 40, items[0].top + 10});
    RECT all = {items[0].left, items[0].top, items[2].right, items[2].bottom};
    WaitUntil([&] { return Pixels::OfScreen(items[0]).at(5, 5) == OptionMenu::kSelectedFill; });
    shot = Pixels::OfScreen(all);
    Mouse::MoveToScreen({items[2].left + 40, items[2].top + 10});
    Mouse::Press();
    Mouse::Release();
  });
  POINT at = {20, 20};
  ClientToScreen(host.hwnd(), &at);
  menu.Track(host.hwnd(), at.x, at.y);
  user.join();
  PumpUntil([&] { return !host.commands().empty(); });
  EXPECT_EQ(host.commands(), std::vector<int>{5005});

  int width = items[0].right - items[0].left, height = items[0].bottom - items[0].top;
  EXPECT_GE(width, ScaleForScreen(130));
  EXPECT_EQ(height, ScaleForScreen(23));
  // Selected: blue inside a one-pixel margin; the others light grey.
  EXPECT_EQ(shot.at(1, 1), OptionMenu::kSelectedFill);
  EXPECT_EQ(shot.at(width - 2, height - 2), OptionMenu::kSelectedFill);
  EXPECT_NE(shot.at(0, 0), OptionMenu::kSelectedFill);
  EXPECT_EQ(shot.at(width / 2, height + height / 2), OptionMenu::kItemFill);
  EXPECT_GT(shot.count({0, 2 * height, width, 3 * height}, RGB(0, 0, 0)), 5) << "the item's text";
  // Under "About" a groove from 2 pixels in: the shadow on its last row, the
  // light line just below; none under the other items.
  int aboutBottom = 2 * height;
  EXPECT_EQ(shot.at(2, aboutBottom - 1), OptionMenu::kSeparatorShadow);
  EXPECT_EQ(shot.at(width - 3, aboutBottom - 1), OptionMenu::kSeparatorShadow);
  EXPECT_EQ(shot.at(width / 2, aboutBottom), OptionMenu::kSeparatorLight);
  EXPECT_EQ(shot.count({0, height - 1, width, height + 1}, OptionMenu::kSeparatorShadow), 0);
  EXPECT_EQ(shot.count({0, 3 * height - 1, width, 3 * height}, OptionMenu::kSeparatorShadow), 0);
}

}  // namespace
