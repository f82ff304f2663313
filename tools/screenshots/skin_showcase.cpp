// skin_showcase.exe: a window holding every skinned control in every state,
// with the help menu open and an item selected, for the screenshots in docs/
// (scripts/screenshots.sh).
//
//   skin_showcase.exe <ready file> <quit file>
//
// Uses the skin images of Image\ beside the program when they are there, and
// pictures of its own otherwise. Once everything is painted it writes the
// screen rectangle that holds the window and the menu ("left top right
// bottom") to the ready file, and it ends when the quit file appears.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_bench.h"
#include "ui/edit_ex.h"
#include "ui/option_menu.h"
#include "ui/image_button.h"
#include "ui/transparent_static.h"

namespace {

// A control shown in a state of its own, whatever the mouse does.
template <typename Button>
class Posed : public Button {
 public:
  void Pose(int hover, int pressed) {
    this->hover_ = hover;
    this->pressed_ = pressed;
  }
};

uint32_t Blend(uint32_t a, uint32_t b, int t, int of) {
  auto mix = [&](int shift) { return (((a >> shift) & 0xFF) * (of - t) + ((b >> shift) & 0xFF) * t) / of; };
  return 0xFF000000 | (mix(16) << 16) | (mix(8) << 8) | mix(0);
}

// A rounded button face: magenta outside the corners, a border, a gradient.
void WriteButton(const std::wstring& path, uint32_t top, uint32_t bottom, uint32_t border) {
  WritePng(path, 75, 22, [&](int x, int y) -> uint32_t {
    int dx = x < 3 ? 3 - x : x > 71 ? x - 71 : 0, dy = y < 3 ? 3 - y : y > 18 ? y - 18 : 0;
    if (dx * dx + dy * dy > 9) return 0xFFFF00FF;
    if (dx * dx + dy * dy > 4 || x == 0 || y == 0 || x == 74 || y == 21) return border;
    return Blend(top, bottom, y, 21);
  });
}

// A check box: the box at the left, room for the caption (magenta) beside it.
void WriteBox(const std::wstring& path, bool on, uint32_t face, uint32_t border) {
  WriteBmp(path, 72, 16, [&](int x, int y) -> uint32_t {
    if (x > 15) return 0xFFFF00FF;
    if (x == 0 || y == 0 || x == 15 || y == 15) return border;
    bool tick = on && ((x >= 3 && x <= 6 && y == x + 4) || (x >= 6 && x <= 12 && y == 16 - x) ||
                       (x >= 3 && x <= 6 && y == x + 5) || (x >= 6 && x <= 12 && y == 17 - x));
    return tick ? 0xFF107020 : face;
  });
}

struct Skin {
  ButtonImagePaths button, boxOn, boxOff;
};

Skin MakeSkin(const TempDir& dir) {
  std::wstring art = GetModuleDirectory() + L"Image\\";
  if (PathExists(art + L"Wbutton1.png")) {
    return {{art + L"Wbutton1.png", art + L"Wbutton1_down.png", art + L"Wbutton1_on.png", art + L"Wbutton1_dis.png"},
            {art + L"CheckBox_on_normal.bmp", art + L"CheckBox_on_down.bmp", art + L"CheckBox_on_on.bmp",
             art + L"CheckBox_on_disable.bmp"},
            {art + L"CheckBox_off_normal.bmp", art + L"CheckBox_off_down.bmp", art + L"CheckBox_off_on.bmp",
             art + L"CheckBox_off_disabled.bmp"}};
  }
  Skin skin;
  skin.button = {dir.file(L"b.png"), dir.file(L"b_down.png"), dir.file(L"b_on.png"), dir.file(L"b_dis.png")};
  WriteButton(skin.button.normal, 0xFFF4F4F4, 0xFFC8CDD4, 0xFF7F9DB9);
  WriteButton(skin.button.hover, 0xFFFFFFFF, 0xFFBFD9F5, 0xFF3C7FB1);
  WriteButton(skin.button.down, 0xFFB8C8DA, 0xFFE4ECF4, 0xFF2C628B);
  WriteButton(skin.button.disabled, 0xFFE6E6E6, 0xFFE6E6E6, 0xFFADB2B5);
  std::wstring on = dir.file(L"on"), off = dir.file(L"off");
  skin.boxOn = {on + L"_n.bmp", on + L"_d.bmp", on + L"_h.bmp", on + L"_x.bmp"};
  skin.boxOff = {off + L"_n.bmp", off + L"_d.bmp", off + L"_h.bmp", off + L"_x.bmp"};
  for (bool checked : {true, false}) {
    const ButtonImagePaths& p = checked ? skin.boxOn : skin.boxOff;
    WriteBox(p.normal, checked, 0xFFFFFFFF, 0xFF1C5180);
    WriteBox(p.hover, checked, 0xFFE8F4FF, 0xFF3C7FB1);
    WriteBox(p.down, checked, 0xFFC8D8E8, 0xFF2C628B);
    WriteBox(p.disabled, checked, 0xFFF0F0F0, 0xFFB0B0B0);
  }
  return skin;
}

HWND Child(HWND parent, int id, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
           DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, ScaleForScreen(x), ScaleForScreen(y),
                         ScaleForScreen(w), ScaleForScreen(h), parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

bool FileThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  std::wstring readyFile = argv[1], quitFile = argv[2];
  TempDir dir;
  Skin skin = MakeSkin(dir);
  BenchDialog window(ScaleForScreen(560), ScaleForScreen(270));
  HWND host = window.hwnd();
  // The dialog's own font, as a template's controls get it.
  HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(host, WM_GETFONT, 0, 0));
  RECT client;
  GetClientRect(host, &client);
  // A light gradient with a dark band for the title line, as a skin has one.
  int bandTop = ScaleForScreen(146), bandBottom = ScaleForScreen(170);
  GdiBitmap picture = MakeBitmap(client.right, client.bottom, [&](int x, int y) {
    if (y >= bandTop && y < bandBottom) return RGB(30 + 40 * x / client.right, 45, 90);
    return RGB(150 + 60 * y / client.bottom, 180 + 50 * x / client.right, 200 + 40 * y / client.bottom);
  });
  window.SetBackground(picture.get());

  // Captions of the rows, and the labels that lie on the picture.
  CTransparentStatic labels[6];
  const wchar_t* texts[6] = {L"Image buttons: normal, hover, down, disabled",
                             L"Check boxes: off, off hovered, on, on hovered, on disabled",
                             L"Calvoro Record - 通话录音", L"Recording 00:01:23 (alice)", L"Record folder cannot be written",
                             L"Edit field and help menu"};
  const int rows[6] = {8, 78, 150, 172, 194, 220};
  for (int i = 0; i < 6; ++i) {
    HWND label = Child(host, 100 + i, L"STATIC", texts[i], SS_LEFT, 12, rows[i], 400, 18);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), FALSE);
    labels[i].Attach(label);
    labels[i].height = i == 2 || i == 3 || i == 4 ? 16 : 0;
  }
  const COLORREF labelColors[6] = {RGB(15, 19, 121), RGB(15, 19, 121), RGB(192, 192, 192),
                                   RGB(0, 128, 0), RGB(255, 0, 0), RGB(15, 19, 121)};
  window.onCtlColorStatic = [&](HDC dc, HWND control) -> HBRUSH {
    int i = GetDlgCtrlID(control) - 100;
    if (i < 0 || i >= 6) return nullptr;
    labels[i].textColor = labelColors[i];
    labels[i].backgroundSource = window.background();
    return labels[i].OnParentCtlColor(dc, control, CTLCOLOR_STATIC);
  };

  // Caption, font and place of a button whose images are set.
  auto place = [&](CImageButton& button, const wchar_t* caption, int fontHeight, int id, int x, int y) {
    button.SetText(caption);
    button.font.SetHeight(fontHeight);
    button.textColor = RGB(0, 0, 0);
    Child(host, id, L"STATIC", L"", 0, x, y, 10, 10);
    PlaceImageButton(host, button, id);
  };
  Posed<CImageButton> buttons[5];
  const wchar_t* captions[5] = {L"Normal", L"Hover", L"Down", L"Disabled", L"打开文件夹"};
  for (int i = 0; i < 5; ++i) {
    buttons[i].SetImages(skin.button);
    buttons[i].textLeftAligned = i == 4;
    buttons[i].textOffsetX = i == 4 ? 8 : 0;
    place(buttons[i], captions[i], 14, 200 + i, 12 + 88 * i, 34);
  }
  buttons[1].Pose(1, 0);
  buttons[2].Pose(1, 1);
  EnableWindow(buttons[3].GetSafeHwnd(), FALSE);

  Posed<CBoxImageButton> boxes[5];
  const wchar_t* formats[5] = {L"MP3", L"WMA", L"OGG", L"FLAC", L"WAV"};
  for (int i = 0; i < 5; ++i) {
    boxes[i].SetOnImages(skin.boxOn);
    boxes[i].SetOffImages(skin.boxOff);
    boxes[i].SetCheck(i >= 2);
    boxes[i].textLeftAligned = 1;
    boxes[i].textOffsetX = 22;
    place(boxes[i], formats[i], 15, 300 + i, 12 + 88 * i, 106);
  }
  boxes[1].Pose(1, 0);
  boxes[3].Pose(1, 0);
  EnableWindow(boxes[4].GetSafeHwnd(), FALSE);

  CEditEx edit;
  HWND editWindow = Child(host, 400, L"EDIT", L"C:\\Users\\alice\\Documents\\Calvoro Record", ES_AUTOHSCROLL, 12,
                          240, 300, 22, WS_EX_CLIENTEDGE);
  SendMessageW(editWindow, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), FALSE);
  edit.Attach(editWindow);

  RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);

  OptionMenu menu;
  menu.itemWidth = 130;
  menu.itemHeight = 23;
  menu.CreatePopupMenu();
  menu.AppendItem(5006, {L"Setting", RGB(0, 0, 0), 0});
  menu.AppendItem(5002, {L"About", RGB(0, 0, 0), 1});
  menu.AppendItem(5007, {L"Keep on top", RGB(0, 0, 0), 1});
  menu.AppendItem(5005, {L"Exit", RGB(0, 0, 0), 0});
  GdiBrush menuBrush(CreateSolidBrush(RGB(215, 215, 215)));
  menu.SetBackground(menuBrush.get());

  // The "user" selects an item, reports where everything is, and waits to be
  // told to go.
  std::thread user([&] {
    RECT item = {};
    WaitUntil([&] {
      HWND popup = FindWindowW(L"#32768", nullptr);
      return popup && IsWindowVisible(popup) && GetMenuItemRect(nullptr, menu.GetSafeHmenu(), 3, &item) &&
             item.bottom > item.top;
    });
    RECT first;
    GetMenuItemRect(nullptr, menu.GetSafeHmenu(), 0, &first);
    Mouse::MoveToScreen({(first.left + first.right) / 2, first.bottom + (first.bottom - first.top) / 2});
    WaitUntil([&] { return Pixels::OfScreen({first.left, first.bottom + 3, first.left + 4, first.bottom + 4}).at(2, 0) ==
                           OptionMenu::kSelectedFill; });
    RECT shown;
    GetWindowRect(host, &shown);
    RECT popup;
    GetWindowRect(FindWindowW(L"#32768", nullptr), &popup);
    UnionRect(&shown, &shown, &popup);
    InflateRect(&shown, 4, 4);
    if (FILE* ready = _wfopen(readyFile.c_str(), L"wb")) {
      std::fprintf(ready, "%ld %ld %ld %ld\n", shown.left, shown.top, shown.right, shown.bottom);
      std::fclose(ready);
    }
    WaitUntil([&] { return FileThere(quitFile); }, std::chrono::minutes(5));
    EndMenu();
  });
  RECT at;
  GetWindowRect(host, &at);
  menu.Track(host, at.right + ScaleForScreen(8), at.top + ScaleForScreen(20));
  user.join();
  return 0;
}
