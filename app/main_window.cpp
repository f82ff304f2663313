#include "app/main_window.h"

#include <commctrl.h>

#include <chrono>

#include "app/resource.h"
#include "app/status_text.h"
#include "app/user_messages.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "skype/skype_transport.h"
#include "ui/background_work.h"
#include "ui/dpi.h"
#include "ui/option_menu.h"

namespace {

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

MainWindow::MainWindow(CallRecorder& recorder, WindowEventChannel& events, bool startHidden)
    : CDialog(IDD_CALVORORECORD_DIALOG),
      recorder_(recorder),
      events_(events),
      tray_(recorder),
      statusLines_(*this, recorder),
      recording_(*this, recorder, tray_, statusLines_, shell_),
      // An apply is told by the recorder itself (OnSettingsChanged); once the
      // dialog has gone, the folder is looked at again.
      dialogs_(recorder, [this] { statusLines_.CheckFolder(); }),
      startHidden_(startHidden) {
  icon_ = LoadAppIcon(SM_CXICON, SM_CYICON);
  smallIcon_ = LoadAppIcon(SM_CXSMICON, SM_CYSMICON);
  menuBrush_.reset(CreateSolidBrush(RGB(215, 215, 215)));
}

MainWindow::~MainWindow() {
  // The window goes before the controls, brushes and bitmaps it paints with.
  if (hwnd_) DestroyWindow(hwnd_);
}

BOOL MainWindow::OnInitDialog() {
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

  // From now on the recorder's events come to this window, those of the
  // start-up first.
  events_.Attach(hwnd_, this);
  shell_.SetWindow(hwnd_);
  dialogs_.SetMainWindow(hwnd_);
  tray_.Init(hwnd_, icon_, L"Skype", [this](bool fromDoubleClick) { RestoreMainWindow(fromDoubleClick); });

  recording_.Init();
  ShowServerFailures(recorder_.ServersStart());
  SetUpSkin();

  SetTimer(hwnd_, kStartupTimer, 2000, nullptr);
  statusLines_.Start(osMajorVersion_ >= 6);

  SetUpTooltips();
  if (osMajorVersion_ < 6) {
    ShowItem(IDC_VIRTUALSTORE_HINT, false);
    ShowItem(IDC_OPEN_VIRTUALSTORE, false);
  }
  // The texts and the hotkey come with the start-up's OnSettingsChanged.
  return TRUE;
}

void MainWindow::RegisterRecordHotkey() {
  // The hotkey the settings name now, then the source's line, which says
  // whether another program has it.
  if (hotkeyRegistered_) UnregisterHotKey(hwnd_, kRecordHotkeyId);
  hotkeyRegistered_ = false;
  const std::wstring hotkey = recorder_.settings().Current()->recordHotkey;
  unsigned modifiers = 0, key = 0;
  bool taken = false;
  if (ParseHotkey(hotkey, modifiers, key)) {
    hotkeyRegistered_ = RegisterHotKey(hwnd_, kRecordHotkeyId, modifiers | MOD_NOREPEAT, key) != FALSE;
    // Record and Stop still work in the window.
    taken = !hotkeyRegistered_;
    if (taken) DebugTrace(L"The hotkey %s is taken (error %d).", {hotkey, static_cast<int>(GetLastError())});
  } else if (!hotkey.empty() && hotkey != L"None") {
    DebugTrace(L"The hotkey setting %s names no hotkey.", {hotkey});
  }
  statusLines_.SetHotkeyTaken(taken);
  statusLines_.CheckClient();
}

void MainWindow::ShowServerFailures(const AudioServersStart& start) {
  for (const std::wstring& text : ServerStartMessages(recorder_.language(), start)) events_.ShowBox(text);
  // No port at all for a direction: a line, not a box that waits for OK.
  std::wstring noAudio = NoAudioMessage(recorder_.language(), start);
  if (!noAudio.empty()) recording_.ShowNoAudio(noAudio);
}

void MainWindow::OnDestroy() {
  events_.Detach();
  if (hotkeyRegistered_) UnregisterHotKey(hwnd_, kRecordHotkeyId);
  hotkeyRegistered_ = false;
  // An icon left behind would stay in the tray until the pointer passes it.
  tray_.Remove();
}

// --- Dispatch ----------------------------------------------------------------

INT_PTR MainWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
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
    case WM_EXIT_REQUEST:
      RequestExit();
      return 0;
    case WM_ENDSESSION:
      // Windows is logging off or shutting down and ends the process when this
      // returns: the recording is finished first.
      if (wParam) {
        FinishForExit();
        CallRecorder& recorder = recorder_;
        WaitServingSentMessages([&recorder] { return !recorder.FinishingRunning(); }, std::chrono::hours(24));
      }
      return 0;
    case WM_TIMER:
      KillTimer(hwnd_, wParam);
      if (wParam == kStartupTimer) startupHideOver_ = true;
      tray_.OnTimer(wParam) || statusLines_.OnTimer(wParam) || recording_.OnTimer(wParam);
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd_, SW_HIDE);
      return 0;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_HOTKEY:
      if (wParam == kRecordHotkeyId) recorder_.ToggleRecording();
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

bool MainWindow::OnCommand(WORD id, WORD notifyCode, HWND) {
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
      ShowOptionMenu();
      return true;
    case IDC_RECORD:
      recorder_.Record();
      return true;
    case IDC_PAUSE:
      recorder_.Pause();
      return true;
    case IDC_STOP:
      recorder_.Stop();
      return true;
    case IDC_OPEN_FOLDER:
      shell_.OpenFolder(recorder_.settings().Current()->recordFolder);
      return true;
    case IDC_RUN_SKYPE:
      // Starting the client or sending it commands may take its time.
      shell_.OpenClient(recorder_, static_cast<SkypeClientState>(statusLines_.clientState()));
      return true;
    case IDC_OPEN_VIRTUALSTORE:
      if (osMajorVersion_ >= 6) shell_.OpenVirtualStore(recorder_.settings().Current()->recordFolder);
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

void MainWindow::OnClientStateChanged() { statusLines_.CheckClient(); }

void MainWindow::OnCallStarted() {
  recording_.OnCallStarted();
  // A recording may be about to start: the folder line looks again now
  // rather than at its next round.
  statusLines_.ScheduleFolderCheck();
}

void MainWindow::OnPartnerKnown() {
  if (recorder_.settings().Current()->stateBalloons != 0 && recorder_.Status().exists)
    tray_.ScheduleStateBalloon(100);
}

void MainWindow::OnSettingsChanged() {
  ApplyMainWindowTexts();
  RegisterRecordHotkey();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::OnCaptureDevice(Direction direction, bool open, const std::wstring& what) {
  statusLines_.OnSoundDevice(direction, open, what);
}

void MainWindow::OnRecordingFinished(const FinishedRecording& finished) {
  recording_.OnFinished(finished);
  dialogs_.RecordingsChanged();
}

void MainWindow::OnRecordingsRecovered(const RecoveryReport& report) {
  // Shown whatever ShowStatusOnTray says, for a balloon's time.
  if (!report.recovered.empty()) tray_.ShowBalloon(recorder_.language().Text(L"Recovered_Message"));
  dialogs_.RecordingsChanged();
}

void MainWindow::OnRecordingsExpired(const RetentionResult& result) {
  const LanguageTable& language = recorder_.language();
  std::wstring text;
  if (result.removed > 0)
    text = FormatText(
        language.TextOr(L"Retention_Removed", L"%s recordings older than the days to keep were moved to the Recycle Bin."),
        {std::to_wstring(result.removed)});
  if (result.failed > 0)
    text += (text.empty() ? L"" : L"\n") +
            FormatText(language.TextOr(L"Retention_Failed",
                                       L"%s old recordings could not be moved to the Recycle Bin and were kept."),
                       {std::to_wstring(result.failed)});
  tray_.ShowBalloon(text);
  dialogs_.RecordingsChanged();
}

// --- Commands ------------------------------------------------------------------

void MainWindow::FinishForExit() {
  recorder_.BeginExit();
  dialogs_.CloseAll();
}

void MainWindow::RequestExit() {
  FinishForExit();
  tray_.Remove();
  PostQuitMessage(0);
}

void MainWindow::ShowOptionMenu() {
  const LanguageTable& language = recorder_.language();
  OptionMenu menu;
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

void MainWindow::ToggleKeepOnTop() {
  SetWindowPos(hwnd_, keepOnTop_ ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  keepOnTop_ = !keepOnTop_;
}

void MainWindow::RestoreMainWindow(bool fromDoubleClick) {
  // A moment on top brings the window in front of all others; it then goes
  // back to the normal order unless the user keeps it on top.
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
  if (fromDoubleClick) ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, keep);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  if (!keepOnTop_) SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
  if (fromDoubleClick) ShowWindow(hwnd_, SW_SHOWNORMAL);
}
