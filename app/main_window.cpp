#include "app/pelmo_dlg.h"

#include <commctrl.h>

#include <chrono>

#include "app/resource.h"
#include "app/skinned_dialog.h"
#include "app/status_text.h"
#include "app/user_messages.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "record/retention.h"
#include "skype/message_window_win32.h"
#include "skype/skype_transport.h"
#include "ui/background_work.h"
#include "ui/dpi.h"
#include "ui/help_menu.h"

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
  CImageButton CPelmoDlg::*button;
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

int ReadOsMajorVersion() {
  OSVERSIONINFOEXW extended = {};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) return static_cast<int>(extended.dwMajorVersion);
  OSVERSIONINFOW basic = {};
  basic.dwOSVersionInfoSize = sizeof basic;
  if (GetVersionExW(&basic)) return static_cast<int>(basic.dwMajorVersion);
  return 0;
}

HICON LoadAppIcon(int sizeMetricX, int sizeMetricY) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                       GetSystemMetrics(sizeMetricX), GetSystemMetrics(sizeMetricY), LR_SHARED));
}

}  // namespace

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(nullptr, L"#32770", &wc)) return false;
  wc.lpszClassName = kMainWindowClassName;
  wc.hInstance = instance;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

CPelmoDlg::CPelmoDlg(CallRecorder& recorder, WindowEventChannel& events, bool startHidden)
    : CDialog(IDD_CALVORORECORD_DIALOG),
      recorder_(recorder),
      events_(events),
      tray_(recorder),
      statusLines_(*this, recorder),
      recording_(*this, recorder, tray_, statusLines_, shell_),
      dialogs_(
          recorder,
          [this] {
            ApplyMainWindowTexts();
            OnSettingsChanged();
            InvalidateRect(hwnd_, nullptr, TRUE);
          },
          [this] {
            ApplyMainWindowTexts();
            OnSettingsChanged();
            statusLines_.CheckFolder();
          }),
      startHidden_(startHidden) {
  icon_ = LoadAppIcon(SM_CXICON, SM_CYICON);
  smallIcon_ = LoadAppIcon(SM_CXSMICON, SM_CYSMICON);
  menuBrush_.reset(CreateSolidBrush(RGB(215, 215, 215)));
}

CPelmoDlg::~CPelmoDlg() {
  // The window goes before the controls, brushes and bitmaps it paints with.
  if (hwnd_) DestroyWindow(hwnd_);
}

BOOL CPelmoDlg::OnInitDialog() {
  titleLabel_.AttachDlgItem(hwnd_, IDC_TITLE);
  recordLine_.AttachDlgItem(hwnd_, IDC_RECORD_STATUS);
  osMajorVersion_ = ReadOsMajorVersion();

  wchar_t aboutResource[128] = L"";
  if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutResource, 128) > 0) {
    if (HMENU systemMenu = GetSystemMenu(hwnd_, FALSE)) {
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, recorder_.language().Text(L"About").c_str());
    }
  }
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  // From here on the recorder's events come to this window.
  events_.Attach(hwnd_, this);
  shell_.SetWindow(hwnd_);
  dialogs_.SetMainWindow(hwnd_);
  tray_.Init(hwnd_, icon_, L"Skype", [this](bool fromDoubleClick) { RestoreMainWindow(fromDoubleClick); });

  ShowServerFailures(recorder_.StartAudioServers());
  recording_.Init();

  SetUpSkin();

  InitSkypeMessageWindow(recorder_.link());
  recorder_.StartRecovery();

  SetTimer(hwnd_, kStartupTimer, 2000, nullptr);
  SetTimer(hwnd_, kRetentionTimer, kRetentionFirstMs, nullptr);
  statusLines_.Start(osMajorVersion_ >= 6);

  SetUpTooltips();
  if (osMajorVersion_ < 6) {
    ShowItem(IDC_VIRTUALSTORE_HINT, false);
    ShowItem(IDC_OPEN_VIRTUALSTORE, false);
  }
  ApplyMainWindowTexts();
  OnSettingsChanged();
  return TRUE;
}

void CPelmoDlg::OnSettingsChanged() {
  // The hotkey the settings name now, then the source's line, which says
  // whether another program has it.
  if (hotkeyRegistered_) UnregisterHotKey(hwnd_, kRecordHotkeyId);
  hotkeyRegistered_ = false;
  const std::wstring hotkey = recorder_.settings().Current()->RecordHotkey;
  unsigned modifiers = 0, key = 0;
  bool taken = false;
  if (ParseHotkey(hotkey, modifiers, key)) {
    hotkeyRegistered_ = RegisterHotKey(hwnd_, kRecordHotkeyId, modifiers | MOD_NOREPEAT, key) != FALSE;
    // Record and Stop still work in the window.
    taken = !hotkeyRegistered_;
    if (taken) DebugTrace(L"RecordHotkey %s is taken (error %d).", {hotkey, static_cast<int>(GetLastError())});
  } else if (!hotkey.empty() && hotkey != L"None") {
    DebugTrace(L"RecordHotkey %s is no hotkey.", {hotkey});
  }
  statusLines_.SetHotkeyTaken(taken);
  statusLines_.CheckClient();
}

void CPelmoDlg::ShowServerFailures(const AudioServersStart& start) {
  for (const std::wstring& text : ServerStartMessages(recorder_.language(), start)) events_.ShowBox(text);
  // No port at all for a direction: a line, not a box that waits for OK.
  std::wstring noAudio = NoAudioMessage(recorder_.language(), start);
  if (!noAudio.empty()) recording_.ShowNoAudio(noAudio);
}

void CPelmoDlg::FitBackground() {
  backgroundBrush_ = LoadFittedBackground(hwnd_, IDB_MAIN_BACKGROUND);
  GetClientRect(hwnd_, &fittedTo_);
  HBITMAP background = backgroundBrush_.bitmap.get();
  titleLabel_.backgroundSource = background;
  recordLine_.backgroundSource = background;
  titleLabel_.ResetBackground();
  recordLine_.ResetBackground();
  PlaceBanner();
}

void CPelmoDlg::PlaceBanner() {
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

void CPelmoDlg::OnSize() {
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

void CPelmoDlg::SetUpSkin() {
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

void CPelmoDlg::SetUpButtons() {
  static const ButtonSkin kButtons[] = {
      {&CPelmoDlg::closeButton_, IDOK, L"Image\\Close_normal.bmp", L"Image\\Close_on.bmp", L"Image\\Close_down.bmp",
       L"Image\\Close_disable.bmp", 15},
      {&CPelmoDlg::minimizeButton_, IDC_MINIMIZE, L"Image\\min_normal.bmp", L"Image\\min_on.bmp",
       L"Image\\min_down.bmp", L"Image\\min_disable.bmp", 15},
      {&CPelmoDlg::optionButton_, IDC_OPTION, L"Image\\Help_normal.bmp", L"Image\\Help_on.bmp",
       L"Image\\Help_down.bmp", L"Image\\Help_disable.bmp", 14},
      {&CPelmoDlg::openFolderButton_, IDC_OPEN_FOLDER, L"Image\\Wbutton1.png", L"Image\\Wbutton1_on.png",
       L"Image\\Wbutton1_down.png", L"Image\\Wbutton1_dis.png", 14},
      {&CPelmoDlg::runSkypeButton_, IDC_RUN_SKYPE, L"Image\\Wbutton1.png", L"Image\\Wbutton1_on.png",
       L"Image\\Wbutton1_down.png", L"Image\\Wbutton1_dis.png", 14},
      {&CPelmoDlg::openVirtualStoreButton_, IDC_OPEN_VIRTUALSTORE, L"Image\\Wbutton1.png",
       L"Image\\Wbutton1_on.png", L"Image\\Wbutton1_down.png", L"Image\\Wbutton1_dis.png", 14},
      {&CPelmoDlg::recordButton_, IDC_RECORD, L"Image\\Record.png", L"Image\\Record_On.png", L"Image\\Record.png",
       L"Image\\Record_Disable.png", 14},
      {&CPelmoDlg::pauseButton_, IDC_PAUSE, L"Image\\Pause.png", L"Image\\Pause_On.png", L"Image\\Pause.png",
       L"Image\\Pause_Disable.png", 14},
      {&CPelmoDlg::stopButton_, IDC_STOP, L"Image\\Stop.png", L"Image\\Stop_On.png", L"Image\\Stop.png",
       L"Image\\Stop_Disable.png", 14},
  };
  for (const ButtonSkin& skin : kButtons)
    SetUpImageButton(hwnd_, this->*skin.button, skin.id, skin);
  // The placed buttons start enabled.
  EnableItem(IDC_PAUSE, false);
  EnableItem(IDC_STOP, false);
}

void CPelmoDlg::SetUpTooltips() {
  if (!tooltips_.Create(hwnd_)) return;
  // The tips watch the buttons themselves rather than being handed each
  // message by the window's loop: they then work in every loop, the menus'
  // and the about box's included.
  const std::pair<int, const wchar_t*> kTips[] = {{IDC_RECORD, L"Record"}, {IDC_PAUSE, L"Pause"},
                                                  {IDC_STOP, L"Stop"},     {IDC_OPTION, L"Option"},
                                                  {IDC_MINIMIZE, L"Minimize"}, {IDOK, L"Close"}};
  for (const auto& tip : kTips) tooltips_.Add(GetDlgItem(tip.first), tip.second);
}

void CPelmoDlg::ApplyMainWindowTexts() {
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

HFONT CPelmoDlg::LabelFont(HWND label, int height) {
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

HBRUSH CPelmoDlg::OnCtlColor(HDC dc, HWND control, UINT message, bool& handled) {
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

bool CPelmoDlg::OnPaint() {
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

void CPelmoDlg::OnMouseMove(LPARAM position) {
  POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  HWND child = ChildWindowFromPointEx(hwnd_, point, CWP_SKIPINVISIBLE);
  int id = child && child != hwnd_ ? GetDlgCtrlID(child) : 0;
  if (id == IDC_INFO_1 || id == IDC_INFO_2 || id == IDC_INFO_3) SetCursor(LoadCursorW(nullptr, IDC_HAND));
}

bool CPelmoDlg::OnSetCursor(HWND over) {
  if (!over || GetDlgCtrlID(over) != IDC_BANNER || GetParent(over) != hwnd_) return false;
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return true;
}

void CPelmoDlg::OnDestroy() {
  events_.Detach();
  if (hotkeyRegistered_) UnregisterHotKey(hwnd_, kRecordHotkeyId);
  hotkeyRegistered_ = false;
  // An icon left behind would stay in the tray until the pointer passes it.
  tray_.Remove();
}

// --- Dispatch ----------------------------------------------------------------

INT_PTR CPelmoDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  // Every message of the program's own is answered here and never reaches the
  // default dialog processing, which takes WM_USER+0..2 for DM_GETDEFID,
  // DM_SETDEFID and DM_REPOSITION.
  handled = true;
  LRESULT result = 0;
  if (tray_.OnMessage(message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_POSTED_ACTION:
      RunPostedAction(lParam);
      return 0;
    case WM_SENT_ACTION:
      RunSentAction(lParam);
      return 0;
    case WM_EXIT_REQUEST:
      RequestExit();
      return 0;
    case WM_ENDSESSION:
      // Windows is logging off or shutting down and ends the process when this
      // returns: the recording is finished first.
      if (wParam) {
        FinishForExit();
        RecordingSession& session = recorder_.session();
        WaitServingSentMessages([&session] { return !session.FinishingRunning(); }, std::chrono::hours(24));
      }
      return 0;
    case WM_TIMER:
      KillTimer(hwnd_, wParam);
      if (wParam == kStartupTimer) startupHideOver_ = true;
      if (wParam == kRetentionTimer) {
        // What the recovery makes is its own until it is done (an old
        // recording recovered keeps its old time): the keeping waits.
        if (recorder_.Recovering()) {
          SetTimer(hwnd_, kRetentionTimer, kRetentionFirstMs, nullptr);
          return 0;
        }
        KeepRecordingsForTheirDays();
        SetTimer(hwnd_, kRetentionTimer, kRetentionEveryMs, nullptr);
        return 0;
      }
      tray_.OnTimer(wParam) || statusLines_.OnTimer(wParam) || recording_.OnTimer(wParam);
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd_, SW_HIDE);
      return 0;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_HOTKEY:
      if (wParam == kRecordHotkeyId) recording_.Toggle();
      return 0;
    default:
      break;
  }
  handled = false;
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        dialogs_.ShowAbout();
        handled = true;
      }
      return 0;
    case WM_WINDOWPOSCHANGING:
      // A hidden start: nothing shows the window during the start-up period.
      if (startHidden_ && !startupHideOver_) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
      return 0;
    case WM_LBUTTONDOWN:
      // The window has no caption: a press on its background drags it.
      PostMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(lParam);
      return 0;
    case WM_SETCURSOR:
      handled = OnSetCursor(reinterpret_cast<HWND>(wParam));
      return TRUE;
    case WM_PAINT:
      handled = OnPaint();
      return 0;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message, handled));
    default:
      return 0;
  }
}

bool CPelmoDlg::OnCommand(WORD id, WORD notifyCode, HWND) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
      // Close, Enter and Esc only hide the window; the tray brings it back.
      ShowWindow(hwnd_, SW_HIDE);
      return true;
    case IDC_MINIMIZE:
      ShowWindow(hwnd_, SW_MINIMIZE);
      return true;
    case IDC_OPTION:
      ShowHelpMenu();
      return true;
    case IDC_RECORD:
      recording_.Record();
      return true;
    case IDC_PAUSE:
      recording_.Pause();
      return true;
    case IDC_STOP:
      recording_.Stop();
      return true;
    case IDC_OPEN_FOLDER:
      shell_.OpenFolder(recorder_.settings().Current()->WavePath);
      return true;
    case IDC_RUN_SKYPE:
      // Starting the client or sending it commands may take its time.
      shell_.OpenSkype(recorder_.link(), static_cast<SkypeClientState>(statusLines_.clientState()));
      return true;
    case IDC_OPEN_VIRTUALSTORE:
      if (osMajorVersion_ >= 6) shell_.OpenVirtualStore(recorder_.settings().Current()->WavePath);
      return true;
    case IDC_BANNER:
      if (notifyCode == STN_CLICKED) shell_.OpenAddress(kHomePageAddress);
      return true;
    case ID_MENU_SETTING:
    case ID_TRAY_SETTING:
      dialogs_.OpenSettings();
      return true;
    case ID_MENU_RECORDINGS:
      dialogs_.OpenRecordings();
      return true;
    case ID_MENU_ABOUT:
    case ID_TRAY_ABOUT:
      dialogs_.ShowAbout();
      return true;
    case ID_MENU_TOP_WINDOW:
      ToggleKeepOnTop();
      return true;
    case ID_MENU_EXIT:
    case ID_TRAY_EXIT:
      RequestExit();
      return true;
    case ID_TRAY_OPEN:
      RestoreMainWindow(false);
      return true;
    default:
      return false;
  }
}

// --- The recorder's events ------------------------------------------------------

void CPelmoDlg::OnClientStateChanged() { statusLines_.CheckClient(); }

void CPelmoDlg::OnCallStarted() {
  // The client's calls are not recorded while the computer's sound is.
  if (recorder_.RecordsSound()) return;
  recording_.OnCallStarted();
  if (recorder_.settings().Current()->AutoRecord == 1) recording_.AutoRecordClientCall();
  // A recording may be about to start: the folder line looks again now
  // rather than at its next round.
  statusLines_.ScheduleFolderCheck();
}

void CPelmoDlg::OnCallEnded() {
  if (recorder_.RecordsSound()) return;
  if (recorder_.calls().CallInProgress()) return;
  recording_.OnClientCallsEnded();
  recording_.Stop();
}

void CPelmoDlg::OnCaptureHeld(uint64_t hold) { recording_.OnCaptureHeld(hold); }

void CPelmoDlg::OnCaptureDevice(Direction direction, bool open, const std::wstring& what) {
  statusLines_.OnSoundDevice(direction, open, what);
}

void CPelmoDlg::OnAutoRecord(bool start, const std::wstring& app) {
  recording_.OnAutoRecord(start, app);
  if (start) statusLines_.ScheduleFolderCheck();
}

void CPelmoDlg::OnPartnerKnown() {
  if (!recorder_.RecordsSound()) recording_.OnPartnerKnown();
  if (recorder_.settings().Current()->ShowStatusOnTray != 0 && recorder_.session().Exists())
    tray_.ScheduleStateBalloon(100);
}

void CPelmoDlg::OnRecordingStarted() { recording_.OnStarted(); }
void CPelmoDlg::OnRecordingResumed(bool timeRunning) { recording_.OnResumed(timeRunning); }
void CPelmoDlg::OnRecordingPaused() { recording_.OnPaused(); }
void CPelmoDlg::OnRecordingFinishing() { recording_.OnFinishing(); }
void CPelmoDlg::OnRecordingStopped() { recording_.OnStopped(); }
void CPelmoDlg::OnRecordingFinished(const FinishedRecording& finished) {
  recording_.OnFinished(finished);
  dialogs_.RecordingsChanged();
}
void CPelmoDlg::OnRecordingFailed(RecordingFailure failure) { recording_.OnFailed(failure); }

void CPelmoDlg::OnRecordingsRecovered(const RecoveryReport& report) {
  // Shown whatever ShowStatusOnTray says, for a balloon's time.
  if (!report.recovered.empty()) tray_.ShowBalloon(recorder_.language().Text(L"Recovered_Message"));
  dialogs_.RecordingsChanged();
}

void CPelmoDlg::KeepRecordingsForTheirDays() {
  const SettingsSnapshot settings = recorder_.settings().Current();
  if (settings->KeepDays <= 0) return;
  HWND window = hwnd_;
  CPelmoDlg* self = this;
  const std::wstring folder = settings->WavePath;
  const int days = settings->KeepDays;
  // Side files keep a running recording and one awaiting recovery out of it
  // (ApplyRetention looks for them).
  retention_.Run([window, self, folder, days] {
    const RetentionResult result = ApplyRetention(folder, days, UnixTimeNow());
    if (result.removed == 0 && result.failed == 0) return;
    PostToWindow(window, [self, result] {
      const LanguageTable& language = self->recorder_.language();
      std::wstring text;
      if (result.removed > 0)
        text = FormatText(language.TextOr(L"Retention_Removed",
                                          L"%s recordings older than the days to keep were moved to the Recycle Bin."),
                          {std::to_wstring(result.removed)});
      if (result.failed > 0)
        text += (text.empty() ? L"" : L"\n") +
                FormatText(language.TextOr(L"Retention_Failed",
                                           L"%s old recordings could not be moved to the Recycle Bin and were kept."),
                           {std::to_wstring(result.failed)});
      self->tray_.ShowBalloon(text);
      self->dialogs_.RecordingsChanged();
    });
  });
}

// --- Commands ------------------------------------------------------------------

void CPelmoDlg::FinishForExit() {
  recording_.SetExiting();
  dialogs_.SetExiting();
  recording_.Stop();
  dialogs_.CloseSettings();
}

void CPelmoDlg::RequestExit() {
  FinishForExit();
  tray_.Remove();
  PostQuitMessage(0);
}

void CPelmoDlg::ShowHelpMenu() {
  const LanguageTable& language = recorder_.language();
  CHelpMenu menu;
  menu.itemWidth = 130;
  menu.itemHeight = 23;
  menu.textIndent = 15;
  if (!menu.CreatePopupMenu()) return;
  const wchar_t* topKey = keepOnTop_ ? L"Menu_Cancel_Top_Window" : L"Menu_Top_Window";
  menu.AppendItem(ID_MENU_SETTING, {language.Text(L"Menu_Setting"), RGB(0, 0, 0), 0});
  menu.AppendItem(ID_MENU_RECORDINGS, {language.TextOr(L"Menu_Recordings", L"Recordings"), RGB(0, 0, 0), 1});
  menu.AppendItem(ID_MENU_ABOUT, {language.Text(L"Menu_About"), RGB(0, 0, 0), 1});
  menu.AppendItem(ID_MENU_TOP_WINDOW, {language.Text(topKey), RGB(0, 0, 0), 1});
  menu.AppendItem(ID_MENU_EXIT, {language.Text(L"Menu_Exit"), RGB(0, 0, 0), 0});
  menu.SetBackground(menuBrush_.get());
  RECT button;
  GetWindowRect(GetDlgItem(IDC_OPTION), &button);
  SetForegroundWindow(hwnd_);
  // The Option button's tip would cover the menu's first item.
  tooltips_.Suspend();
  menu.Track(hwnd_, button.right - ScaleForScreen(92), button.top + ScaleForScreen(23));
  tooltips_.Resume();
}

void CPelmoDlg::ToggleKeepOnTop() {
  SetWindowPos(hwnd_, keepOnTop_ ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  keepOnTop_ = !keepOnTop_;
}

void CPelmoDlg::RestoreMainWindow(bool fromDoubleClick) {
  // A moment on top brings the window in front of all others; it then goes
  // back to the normal order unless the user keeps it on top.
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
  if (fromDoubleClick) ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, keep);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  if (!keepOnTop_) SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
  if (fromDoubleClick) ShowWindow(hwnd_, SW_SHOWNORMAL);
}
