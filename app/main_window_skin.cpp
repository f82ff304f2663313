// The main window's look: the skin (background, rounded outline, banner,
// image buttons, label fonts and colours), its tooltips and its texts.
#include "app/main_window.h"

#include "app/resource.h"
#include "app/skinned_dialog.h"
#include "app/user_messages.h"
#include "common/text_format.h"
#include "platform/paths.h"
#include "ui/dpi.h"

namespace {

// Bitmap 130 is this high, and its banner band begins at this row.
constexpr int kBackgroundHeight = 520;
constexpr int kBannerBandTop = 29;

constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kTitleGrey = RGB(192, 192, 192);

// The labels drawn with the hollow brush straight over the background: their
// font height (at 96 DPI) and, where it does not follow a state, their colour.
struct PlainLabel {
  int id;
  int height;
  COLORREF color;
};
constexpr PlainLabel kPlainLabels[] = {
    {IDC_CLIENT_STATUS, 16, kRed},          {IDC_FOLDER_STATUS, 16, kRed},
    {IDC_VIRTUALSTORE_HINT, 16, RGB(0, 0, 128)}, {IDC_HELP_TEXT, 15, RGB(128, 0, 255)},
    {IDC_INFO_1, 16, RGB(15, 19, 121)},     {IDC_INFO_2, 16, RGB(15, 19, 121)},
    {IDC_INFO_3, 16, RGB(15, 19, 121)},     {IDC_RECORD_STATUS, 16, kRed},
    {IDC_TITLE, 0, kTitleGrey},
};

// The nine image buttons in the order they are set up, with their images and
// caption font heights.
struct ButtonSkin {
  CImageButton MainWindow::*button;
  int id;
  const wchar_t* normal;
  const wchar_t* hover;
  const wchar_t* down;
  const wchar_t* disabled;
  int fontHeight;
};

// Loads the button's images, gives it an empty caption in black at the font
// height (at 96 DPI), and puts it in place of the dialog's control `id`.
void SetUpImageButton(HWND dialog, CImageButton& button, int id, const ButtonSkin& skin) {
  std::wstring folder = GetModuleDirectory();
  button.SetImages({folder + skin.normal, folder + skin.down, folder + skin.hover, folder + skin.disabled});
  button.SetText(L"");
  button.textColor = RGB(0, 0, 0);
  button.font.SetHeight(skin.fontHeight);
  PlaceImageButton(dialog, button, id);
}

}  // namespace

void MainWindow::FitBackground() {
  backgroundBrush_ = LoadFittedBackground(hwnd_, IDB_MAIN_BACKGROUND);
  GetClientRect(hwnd_, &fittedTo_);
  HBITMAP background = backgroundBrush_.bitmap.get();
  titleLabel_.backgroundSource = background;
  recordLine_.backgroundSource = background;
  titleLabel_.ResetBackground();
  recordLine_.ResetBackground();
  PlaceBanner();
}

void MainWindow::PlaceBanner() {
  // The banner lies on the background's band, which is scaled with the
  // window's height: the banner is scaled and placed the same way, so that
  // its edges meet the band's at every size.
  GdiBitmap picture(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BANNER),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  BITMAP info = {};
  if (!picture || !GetObjectW(picture.get(), sizeof info, &info) || info.bmHeight <= 0) return;
  int height = MulDiv(info.bmHeight, fittedTo_.bottom, kBackgroundHeight);
  int width = MulDiv(info.bmWidth, height, info.bmHeight);
  GdiBitmap fitted = FitBitmap(picture.get(), width, height);
  HWND banner = GetDlgItem(IDC_BANNER);
  if (!fitted || !banner) return;
  auto previous = reinterpret_cast<HBITMAP>(
      SendMessageW(banner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(fitted.get())));
  // A static of common controls 6 may keep a copy of its own, which it hands
  // back here and leaves to the caller.
  if (previous && previous != banner_.get()) DeleteObject(previous);
  banner_ = std::move(fitted);
  RECT place;
  GetWindowRect(banner, &place);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&place), 2);
  SetWindowPos(banner, nullptr, place.left, MulDiv(kBannerBandTop, fittedTo_.bottom, kBackgroundHeight), width,
               height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::OnSize() {
  // The system may still change the size once the window is made (a font or
  // DPI that differs): the background and its cut-outs follow, rather than a
  // tiled picture showing its seam.
  RECT client;
  GetClientRect(hwnd_, &client);
  if (!skinned_ || IsIconic(hwnd_) || client.right == 0 || EqualRect(&client, &fittedTo_)) return;
  FitBackground();
  ApplyRoundedOutline(hwnd_);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::SetUpSkin() {
  // Each label draws with the font of its height: a static control selects
  // its own font after asking its parent for colours, so a font the parent
  // selects then would not be the one drawn with.
  for (const PlainLabel& plain : kPlainLabels) {
    HWND label = GetDlgItem(plain.id);
    if (plain.height != 0 && label)
      if (HFONT font = LabelFont(label, plain.height)) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  FitBackground();
  ApplyRoundedOutline(hwnd_);
  if (!backgroundBrush_) {
    // The template's own buttons and labels stay, so the window still works
    // unskinned: the link, the timers and the texts are set up all the same.
    events_.ShowBox(recorder_.language().TextOr(kResourceLoadError.key, kResourceLoadError.fallback));
    return;
  }
  // The small image of the icon: the large one would reach into the title
  // line and the banner.
  SendDlgItemMessageW(hwnd_, IDC_APP_ICON, STM_SETICON, reinterpret_cast<WPARAM>(smallIcon_), 0);

  SetUpButtons();
  skinned_ = true;
}

void MainWindow::SetUpButtons() {
  static const ButtonSkin kButtons[] = {
      {&MainWindow::closeButton_, IDOK, L"Image\\Close_normal.bmp", L"Image\\Close_on.bmp", L"Image\\Close_down.bmp",
       L"Image\\Close_disable.bmp", 15},
      {&MainWindow::minimizeButton_, IDC_MINIMIZE, L"Image\\min_normal.bmp", L"Image\\min_on.bmp",
       L"Image\\min_down.bmp", L"Image\\min_disable.bmp", 15},
      {&MainWindow::optionButton_, IDC_OPTION, L"Image\\Help_normal.bmp", L"Image\\Help_on.bmp",
       L"Image\\Help_down.bmp", L"Image\\Help_disable.bmp", 14},
      {&MainWindow::openFolderButton_, IDC_OPEN_FOLDER, L"Image\\Wbutton1.png", L"Image\\Wbutton1_on.png",
       L"Image\\Wbutton1_down.png", L"Image\\Wbutton1_dis.png", 14},
      {&MainWindow::runSkypeButton_, IDC_RUN_SKYPE, L"Image\\Wbutton1.png", L"Image\\Wbutton1_on.png",
       L"Image\\Wbutton1_down.png", L"Image\\Wbutton1_dis.png", 14},
      {&MainWindow::openVirtualStoreButton_, IDC_OPEN_VIRTUALSTORE, L"Image\\Wbutton1.png",
       L"Image\\Wbutton1_on.png", L"Image\\Wbutton1_down.png", L"Image\\Wbutton1_dis.png", 14},
      {&MainWindow::recordButton_, IDC_RECORD, L"Image\\Record.png", L"Image\\Record_On.png", L"Image\\Record.png",
       L"Image\\Record_Disable.png", 14},
      {&MainWindow::pauseButton_, IDC_PAUSE, L"Image\\Pause.png", L"Image\\Pause_On.png", L"Image\\Pause.png",
       L"Image\\Pause_Disable.png", 14},
      {&MainWindow::stopButton_, IDC_STOP, L"Image\\Stop.png", L"Image\\Stop_On.png", L"Image\\Stop.png",
       L"Image\\Stop_Disable.png", 14},
  };
  for (const ButtonSkin& skin : kButtons)
    SetUpImageButton(hwnd_, this->*skin.button, skin.id, skin);
  // The placed buttons start enabled.
  EnableItem(IDC_PAUSE, false);
  EnableItem(IDC_STOP, false);
}

void MainWindow::SetUpTooltips() {
  if (!tooltips_.Create(hwnd_)) return;
  // The tips watch the buttons themselves rather than being handed each
  // message by the window's loop: they then work in every loop, the menus'
  // and the about box's included.
  const std::pair<int, const wchar_t*> kTips[] = {{IDC_RECORD, L"Record"}, {IDC_PAUSE, L"Pause"},
                                                  {IDC_STOP, L"Stop"},     {IDC_OPTION, L"Option"},
                                                  {IDC_MINIMIZE, L"Minimize"}, {IDOK, L"Close"}};
  for (const auto& tip : kTips) tooltips_.Add(GetDlgItem(tip.first), tip.second);
}

void MainWindow::ApplyMainWindowTexts() {
  const LanguageTable& language = recorder_.language();
  auto text = [&language](const wchar_t* key) { return language.Text(key); };
  std::wstring caption = text(L"Main_Caption");
  SetWindowTextW(hwnd_, caption.c_str());
  SetItemText(IDC_TITLE, caption.c_str());
  tray_.SetTip(caption);
  SetItemText(IDC_OPEN_FOLDER, text(L"Button_Open_Record_Folder").c_str());
  SetItemText(IDC_OPEN_VIRTUALSTORE, text(L"Button_Open_VirtualStore").c_str());
  SetItemText(IDC_RUN_SKYPE, statusLines_.RunSkypeCaption().c_str());
  auto tip = [this](int id, const std::wstring& value) { tooltips_.SetText(GetDlgItem(id), value.c_str()); };
  tip(IDC_RECORD, text(L"Button_Record_Tip"));
  tip(IDC_PAUSE, text(L"Button_Pause_Tip"));
  tip(IDC_STOP, text(L"Button_Stop_Tip"));
  tip(IDC_OPTION, text(L"Button_Option_Tip"));
  tip(IDC_MINIMIZE, text(L"Button_Minimize_Tip"));
  tip(IDOK, text(L"Button_Close_Tip"));
  SetItemText(IDC_VIRTUALSTORE_HINT, text(L"Win7_VirtualStore_Prompt").c_str());
  SetItemText(IDC_HELP_TEXT, FormatText(text(L"Help_Info"), {kSupportContact}).c_str());
  SetItemText(IDC_INFO_1, text(L"Business_Info_1").c_str());
  SetItemText(IDC_INFO_2, text(L"Business_Info_2").c_str());
  SetItemText(IDC_INFO_3, text(L"Business_Info_3").c_str());
}

HFONT MainWindow::LabelFont(HWND label, int height) {
  GdiFont& font = labelFonts_[GetDlgCtrlID(label)];
  if (!font) {
    LOGFONTW description = {};
    HFONT current = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    GetObjectW(current ? static_cast<HGDIOBJ>(current) : GetStockObject(DEFAULT_GUI_FONT), sizeof description,
               &description);
    description.lfHeight = ScaleForScreen(height);
    font.reset(CreateFontIndirectW(&description));
  }
  return font.get();
}

HBRUSH MainWindow::OnCtlColor(HDC dc, HWND control, UINT message, bool& handled) {
  if (message == WM_CTLCOLORDLG) {
    handled = static_cast<bool>(backgroundBrush_);
    return backgroundBrush_.get();
  }
  if (message != WM_CTLCOLORSTATIC) return nullptr;
  const int id = GetDlgCtrlID(control);
  const bool recordLineGreen = recording_.RecordLineGreen();
  if (skinned_ && (id == IDC_TITLE || id == IDC_RECORD_STATUS)) {
    // Lines that change their text every second erase with a piece of the
    // background instead of leaving it to the window.
    CTransparentStatic& label = id == IDC_TITLE ? titleLabel_ : recordLine_;
    label.weight = FW_NORMAL;
    if (id == IDC_TITLE) {
      label.textColor = kTitleGrey;
    } else {
      label.height = 16;
      label.textColor = recordLineGreen ? kGreen : kRed;
    }
    HBRUSH brush = label.OnParentCtlColor(dc, control, CTLCOLOR_STATIC);
    handled = brush != nullptr;
    return brush;
  }
  for (const PlainLabel& plain : kPlainLabels) {
    if (plain.id != id) continue;
    COLORREF color = plain.color;
    if (id == IDC_CLIENT_STATUS) color = statusLines_.ClientLineGreen() ? kGreen : kRed;
    if (id == IDC_FOLDER_STATUS) color = statusLines_.folderState() == StatusLines::kEnoughSpace ? kGreen : kRed;
    if (id == IDC_RECORD_STATUS) color = recordLineGreen ? kGreen : kRed;
    if (plain.height != 0)
      if (HFONT font = LabelFont(control, plain.height)) SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    handled = true;
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  }
  return nullptr;
}

bool MainWindow::OnPaint() {
  if (!IsIconic(hwnd_)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  int width = GetSystemMetrics(SM_CXICON), height = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(hwnd_, &client);
  DrawIcon(dc, (client.right - width + 1) / 2, (client.bottom - height + 1) / 2, icon_);
  EndPaint(hwnd_, &paint);
  return true;
}

void MainWindow::OnMouseMove(LPARAM position) {
  POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  HWND child = ChildWindowFromPointEx(hwnd_, point, CWP_SKIPINVISIBLE);
  int id = child && child != hwnd_ ? GetDlgCtrlID(child) : 0;
  if (id == IDC_INFO_1 || id == IDC_INFO_2 || id == IDC_INFO_3) SetCursor(LoadCursorW(nullptr, IDC_HAND));
}

bool MainWindow::OnSetCursor(HWND over) {
  if (!over || GetDlgCtrlID(over) != IDC_BANNER || GetParent(over) != hwnd_) return false;
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return true;
}

