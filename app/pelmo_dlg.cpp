#include "app/pelmo_dlg.h"

#include <objbase.h>
#include <shellapi.h>

#include "app/pelmo_app.h"
#include "app/resource.h"
#include "app/status_text.h"
#include "platform/debug_trace.h"
#include "platform/main_window.h"
#include "platform/main_window_win32.h"
#include "platform/paths.h"
#include "record/stream_handoff.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/message_window_win32.h"
#include "skype/skype_link.h"
#include "skype/skype_transport.h"
#include "skype/window_control.h"

std::atomic<int32_t> keepOnTop{0};

namespace {

// Timers of the main window.
constexpr UINT_PTR kStartupTimer = 3;
constexpr UINT_PTR kClientStatusTimer = 4;
constexpr UINT_PTR kFolderStatusTimer = 5;
constexpr UINT_PTR kRecordStatusTimer = 7;
constexpr UINT_PTR kTrayBalloonTimer = 8;
constexpr UINT_PTR kNoCallNoticeTimer = 11;

// Work that other threads hand to the user-interface thread: the window's
// controls and timers belong to it.
constexpr UINT WM_RECORDING_VIEW = WM_APP + 1;
enum ViewRequest : WPARAM {
  kViewEnded,
  kViewTrayBalloon,
  kViewFolderStatus,
  kViewFocus,
  kViewRunning,
  kViewPaused,
  kViewShowRecordStatus,
  kViewRecordStatus,
  kViewNoCallNotice,
};

int ReadOsMajorVersion() {
  OSVERSIONINFOEXW extended = {};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) return static_cast<int>(extended.dwMajorVersion);
  OSVERSIONINFOW basic = {};
  basic.dwOSVersionInfoSize = sizeof basic;
  if (GetVersionExW(&basic)) return static_cast<int>(basic.dwMajorVersion);
  return 0;
}

std::wstring WindowText(HWND window) {
  int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(window, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

}  // namespace

CPelmoDlg::CPelmoDlg()
    : CDialog(IDD_CALVORORECORD_DIALOG),
      outServer_(Direction::Out, kOutPort, outTarget_),
      inServer_(Direction::In, kInPort, inTarget_) {
  icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CPelmoDlg::~CPelmoDlg() {
  outServer_.Stop();
  inServer_.Stop();
}

BOOL CPelmoDlg::OnInitDialog() {
  osMajorVersion_ = ReadOsMajorVersion();

  wchar_t aboutResource[128] = L"";
  if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutResource, 128) > 0) {
    if (HMENU systemMenu = GetSystemMenu(hwnd_, FALSE)) {
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, LanguageText(L"About").c_str());
    }
  }
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  viewWindow_ = hwnd_;
  PublishMainWindow(hwnd_);

  StartAudioServers(outServer_, inServer_);

  EnableItem(IDC_PAUSE, false);
  EnableItem(IDC_STOP, false);

  InitSkypeMessageWindow();

  SetTimer(hwnd_, kStartupTimer, 2000, nullptr);
  SetTimer(hwnd_, kClientStatusTimer, 100, nullptr);
  SetTimer(hwnd_, kFolderStatusTimer, 100, nullptr);

  if (osMajorVersion_ < 6) {
    ShowItem(IDC_VIRTUALSTORE_HINT, false);
    ShowItem(IDC_OPEN_VIRTUALSTORE, false);
  }
  ApplyMainWindowTexts();
  return TRUE;
}

void CPelmoDlg::OnDestroy() {
  viewWindow_ = nullptr;
  PublishMainWindow(nullptr);
}

void CPelmoDlg::ApplyMainWindowTexts() {
  IniFile language(LanguageIniPath());
  std::wstring caption = LanguageText(language, L"Main_Caption");
  SetWindowTextW(hwnd_, caption.c_str());
  SetItemText(IDC_TITLE, caption.c_str());
  SetItemText(IDC_OPEN_FOLDER, LanguageText(language, L"Button_Open_Record_Folder").c_str());
  SetItemText(IDC_OPEN_VIRTUALSTORE, LanguageText(language, L"Button_Open_VirtualStore").c_str());
  SetItemText(IDC_RUN_SKYPE, LanguageText(language, L"Button_Open_Skype").c_str());
  SetItemText(IDC_VIRTUALSTORE_HINT, LanguageText(language, L"Win7_VirtualStore_Prompt").c_str());
  SetItemText(IDC_HELP_TEXT,
              FormatText(LanguageText(language, L"Help_Info"), {L"support@calvoro.example"}).c_str());
  SetItemText(IDC_INFO_1, LanguageText(language, L"Business_Info_1").c_str());
  SetItemText(IDC_INFO_2, LanguageText(language, L"Business_Info_2").c_str());
  SetItemText(IDC_INFO_3, LanguageText(language, L"Business_Info_3").c_str());
}

void CPelmoDlg::SetLineText(int id, const std::wstring& text, bool repaintWhenChanged) {
  HWND line = GetDlgItem(id);
  if (WindowText(line) == text) return;
  SetWindowTextW(line, text.c_str());
  if (repaintWhenChanged) InvalidateRect(hwnd_, nullptr, TRUE);
}

void CPelmoDlg::ClientStatusLine() {
  IniFile language(LanguageIniPath());
  SetItemText(IDC_RUN_SKYPE, LanguageText(language, L"Button_Open_Skype").c_str());
  SkypeClientState state = GetSkypeClientState();
  clientState_ = state;
  std::wstring key = FormatText(L"Skype_Status_%d", {static_cast<int>(state)});
  std::wstring text = LanguageText(language, key);
  if (state == Attached) text = FormatText(text, {currentUserHandle.Get()});
  if (state == NotInstalled)
    SetItemText(IDC_RUN_SKYPE, LanguageText(language, L"Button_Access_Skype_Network").c_str());
  SetLineText(IDC_CLIENT_STATUS, text, true);
}

void CPelmoDlg::FolderStatusLine() {
  IniFile language(LanguageIniPath());
  std::wstring folder = Settings.Current()->WavePath;
  bool exists = PathExists(folder);
  int64_t freeBytes = -1;
  if (exists) {
    ULARGE_INTEGER available;
    std::wstring root = folder.substr(0, 3);
    if (GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr))
      freeBytes = static_cast<int64_t>(available.QuadPart);
    else
      DebugTrace(L"Get Free Space failed,error code=%ld", {static_cast<long>(GetLastError())});
  }
  FolderLine line = BuildFolderLine(language, folder, exists, freeBytes);
  folderState_ = line.state;
  ShowItem(IDC_OPEN_FOLDER, exists);
  SetLineText(IDC_FOLDER_STATUS, line.text, true);
}

void CPelmoDlg::RecordStatusLine() {
  IniFile language(LanguageIniPath());
  bool paused = recordingSession.Flags(Direction::Out).pause.load() || recordingSession.Flags(Direction::In).pause.load();
  std::wstring text = BuildRecordLine(language, recordingSession.finishing.load() != 0, paused,
                                      StatusPartnerList(false), UpdateElapsedSeconds());
  SetItemText(IDC_RECORD_STATUS, text.c_str());
  SetTimer(hwnd_, kRecordStatusTimer, 1000, nullptr);
}

void CPelmoDlg::OnTimer(UINT_PTR id) {
  KillTimer(hwnd_, id);
  switch (id) {
    case kStartupTimer:
      startupHideOver_ = true;
      break;
    case kClientStatusTimer:
      ClientStatusLine();
      SetTimer(hwnd_, kClientStatusTimer, 5000, nullptr);
      break;
    case kFolderStatusTimer:
      FolderStatusLine();
      SetTimer(hwnd_, kFolderStatusTimer, 10000, nullptr);
      break;
    case kRecordStatusTimer:
      RecordStatusLine();
      break;
    case kNoCallNoticeTimer:
      if (!recordingSession.Exists()) ShowItem(IDC_RECORD_STATUS, false);
      break;
    default:
      break;
  }
}

void CPelmoDlg::PostView(WPARAM request, const std::wstring& text) {
  auto* copy = text.empty() ? nullptr : new std::wstring(text);
  HWND window = viewWindow_.load();
  if (!window || !PostMessageW(window, WM_RECORDING_VIEW, request, reinterpret_cast<LPARAM>(copy))) delete copy;
}

void CPelmoDlg::ShowRecordingEnded() { PostView(kViewEnded); }
void CPelmoDlg::ScheduleTrayBalloon() { PostView(kViewTrayBalloon); }
void CPelmoDlg::ScheduleFolderStatus() { PostView(kViewFolderStatus); }
void CPelmoDlg::ShowRecordingRunning() { PostView(kViewRunning); }
void CPelmoDlg::ShowRecordingPaused() { PostView(kViewPaused); }
void CPelmoDlg::ShowRecordStatus() { PostView(kViewShowRecordStatus); }
void CPelmoDlg::ScheduleRecordStatus() { PostView(kViewRecordStatus); }
void CPelmoDlg::ShowNoCallNotice(const std::wstring& text) { PostView(kViewNoCallNotice, text); }

void CPelmoDlg::OpenRecordFolder(const std::wstring& folder) {
  // Not for the recording the exit finishes: nobody is there to look at it.
  if (exiting_.load()) return;
  // The shell may use COM on this (finishing) thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOW);
  if (SUCCEEDED(com)) CoUninitialize();
  Sleep(100);
  PostView(kViewFocus);
}

void CPelmoDlg::OnViewRequest(WPARAM request, const std::wstring* text) {
  switch (request) {
    case kViewEnded: {
      bool pendingStart = TakePendingStart();
      // A new recording may have started since this was posted.
      if (recordingSession.Exists()) break;
      EnableItem(IDC_RECORD, true);
      EnableItem(IDC_PAUSE, false);
      EnableItem(IDC_STOP, false);
      ShowItem(IDC_RECORD_STATUS, false);
      KillTimer(hwnd_, kRecordStatusTimer);
      // A call that came into progress while the recording was being finished
      // is recorded now.
      if (pendingStart && activeCallCount.load() > 0 && !exiting_.load()) StartDeferredRecording(*this);
      break;
    }
    case kViewTrayBalloon:
      // The tray icon and its balloons come with the skinned window.
      break;
    case kViewFolderStatus:
      SetTimer(hwnd_, kFolderStatusTimer, 100, nullptr);
      break;
    case kViewFocus:
      SetFocus(hwnd_);
      break;
    case kViewRunning:
      EnableItem(IDC_RECORD, false);
      EnableItem(IDC_PAUSE, true);
      EnableItem(IDC_STOP, true);
      break;
    case kViewPaused:
      EnableItem(IDC_RECORD, true);
      EnableItem(IDC_PAUSE, false);
      EnableItem(IDC_STOP, true);
      break;
    case kViewShowRecordStatus:
      ShowItem(IDC_RECORD_STATUS, true);
      break;
    case kViewRecordStatus:
      SetTimer(hwnd_, kRecordStatusTimer, 10, nullptr);
      break;
    case kViewNoCallNotice:
      SetItemText(IDC_RECORD_STATUS, text ? text->c_str() : L"");
      ShowItem(IDC_RECORD_STATUS, true);
      SetTimer(hwnd_, kNoCallNoticeTimer, 3000, nullptr);
      break;
    default:
      break;
  }
}

void CPelmoDlg::StartFinishing() {
  if (recordingSession.finishing.load()) return;
  StartFinishRecording(*this);
}

void CPelmoDlg::FinishForExit() {
  exiting_ = true;
  StartFinishing();
}

void CPelmoDlg::RequestExit() {
  FinishForExit();
  PostQuitMessage(0);
}

void CPelmoDlg::ShowHelpMenu() {
  IniFile language(LanguageIniPath());
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  std::wstring top = LanguageText(language, keepOnTop.load() ? L"Menu_Cancel_Top_Window" : L"Menu_Top_Window");
  std::wstring exit = LanguageText(language, L"Menu_Exit");
  AppendMenuW(menu, MF_STRING, ID_MENU_TOP_WINDOW, top.c_str());
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, ID_MENU_EXIT, exit.c_str());
  RECT button;
  GetWindowRect(GetDlgItem(IDC_OPTION), &button);
  SetForegroundWindow(hwnd_);
  TrackPopupMenu(menu, TPM_LEFTALIGN, button.right - 92, button.top + 23, 0, hwnd_, nullptr);
  DestroyMenu(menu);
}

bool CPelmoDlg::OnCommand(WORD id, WORD, HWND) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
      ShowWindow(hwnd_, SW_HIDE);
      return true;
    case IDC_MINIMIZE:
      ShowWindow(hwnd_, SW_MINIMIZE);
      return true;
    case IDC_OPTION:
      ShowHelpMenu();
      return true;
    case IDC_RECORD:
      if (!exiting_.load()) StartRecording(*this);
      return true;
    case IDC_PAUSE:
      PauseRecording(*this);
      return true;
    case IDC_STOP:
      StartFinishing();
      return true;
    case IDC_OPEN_FOLDER:
      ShellExecuteW(nullptr, L"open", Settings.Current()->WavePath.c_str(), nullptr, nullptr, SW_SHOW);
      Sleep(100);
      SetFocus(hwnd_);
      return true;
    case IDC_RUN_SKYPE:
      OpenSkype(static_cast<SkypeClientState>(clientState_));
      return true;
    case ID_MENU_TOP_WINDOW:
      SetWindowPos(hwnd_, keepOnTop.load() ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      keepOnTop = keepOnTop.load() ? 0 : 1;
      return true;
    case ID_MENU_EXIT:
      RequestExit();
      return true;
    default:
      return false;
  }
}

INT_PTR CPelmoDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  switch (message) {
    case WM_SKYPE_CALL_STARTED:
      // A call that starts while the program is on its way out is not
      // recorded: nothing would be left to finish it.
      if (Settings.Current()->AutoRecord == 1 && !exiting_.load()) StartRecording(*this);
      return 0;
    case WM_ENDSESSION:
      // Windows is logging off or shutting down and ends the process when this
      // returns: the recording is finished first.
      if (wParam) {
        FinishForExit();
        WaitServingSentMessages([] { return !FinishingRunning(); }, std::chrono::hours(24));
      }
      return 0;
    case WM_SKYPE_CALL_ENDED:
      if (activeCallCount.load() == 0) StartFinishing();
      return 0;
    case WM_SKYPE_STATUS_CHANGED:
      ClientStatusLine();
      return 0;
    case WM_STREAM_FILE_FAILED: {
      AbortRecording(*this);
      std::wstring text = LanguageText(L"Error_Message_1");
      SetItemText(IDC_RECORD_STATUS, text.c_str());
      ShowItem(IDC_RECORD_STATUS, true);
      KillTimer(hwnd_, kTrayBalloonTimer);
      return 0;
    }
    case WM_SKYPE_PARTNER_KNOWN:
      return 0;
    case WM_EXIT_REQUEST:
      RequestExit();
      return 0;
    case WM_SETTINGS_APPLIED:
      ApplyMainWindowTexts();
      InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    case WM_RECORDING_VIEW: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
      OnViewRequest(wParam, text.get());
      handled = true;
      return 0;
    }
    case WM_TIMER:
      OnTimer(wParam);
      handled = true;
      return 0;
    case WM_CLOSE:
      ShowWindow(hwnd_, SW_HIDE);
      handled = true;
      return 0;
    case WM_SYSCOMMAND:
      return 0;
    case WM_WINDOWPOSCHANGING:
      if (startHidden.load() && !startupHideOver_) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
      return 0;
    case WM_LBUTTONDOWN:
      // The window has no caption: a press on its background drags it.
      PostMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
      return 0;
    case WM_CTLCOLORSTATIC: {
      int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      HDC dc = reinterpret_cast<HDC>(wParam);
      COLORREF color;
      if (id == IDC_CLIENT_STATUS)
        color = clientState_ == Attached ? RGB(0, 128, 0) : RGB(255, 0, 0);
      else if (id == IDC_FOLDER_STATUS)
        color = folderState_ == 2 ? RGB(0, 128, 0) : RGB(255, 0, 0);
      else if (id == IDC_RECORD_STATUS)
        color = (activeCallCount.load() != 0 &&
                 WindowText(GetDlgItem(IDC_RECORD_STATUS)) != LanguageText(L"Error_Message_1"))
                    ? RGB(0, 128, 0)
                    : RGB(255, 0, 0);
      else
        return 0;
      SetTextColor(dc, color);
      SetBkMode(dc, TRANSPARENT);
      handled = true;
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
      return 0;
  }
}
