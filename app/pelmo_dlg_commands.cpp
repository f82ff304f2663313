// What the main window does for its buttons, the Option menu, the system
// menu, the tray icon and its menu, and the system's own window messages.
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "app/about_dlg.h"
#include "app/pelmo_dlg.h"
#include "app/resource.h"
#include "app/setting_dlg.h"
#include "app/shell_open.h"
#include "app/status_text.h"
#include "platform/debug_trace.h"
#include "platform/main_window.h"
#include "platform/main_window_win32.h"
#include "platform/paths.h"
#include "record/recording_session.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/skype_transport.h"
#include "skype/window_control.h"
#include "ui/dpi.h"
#include "ui/help_menu.h"

namespace {

// A folder opened by the shell gets a moment to come up before the main
// window takes the focus back.
void OpenThenFocus(const std::wstring& target) {
  ShellOpen(target, SW_SHOW);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  FocusPublishedMainWindow();
}

// Each tray menu command with the language key of its text.
constexpr std::pair<UINT, const wchar_t*> kTrayMenuTexts[] = {
    {ID_TRAY_OPEN, L"Menu_Open"}, {ID_TRAY_SETTING, L"Menu_Setting"},
    {ID_TRAY_ABOUT, L"Menu_About"}, {ID_TRAY_EXIT, L"Menu_Exit"}};

}  // namespace

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
      if (!exiting_.load()) StartRecording(*this);
      return true;
    case IDC_PAUSE:
      PauseRecording(*this);
      return true;
    case IDC_STOP:
      StartFinishing();
      return true;
    case IDC_OPEN_FOLDER:
      OpenFolderInShell(Settings.Current()->WavePath);
      return true;
    case IDC_RUN_SKYPE: {
      // Starting the client or sending it commands may take its time.
      SkypeClientState state = static_cast<SkypeClientState>(clientState_);
      shell_.Run([state] { OpenSkype(state); });
      return true;
    }
    case IDC_OPEN_VIRTUALSTORE:
      OpenVirtualStoreFolder();
      return true;
    case IDC_BANNER:
      if (notifyCode == STN_CLICKED) shell_.Run([] { ShellOpen(kHomePageAddress, SW_SHOWNORMAL); });
      return true;
    case ID_MENU_SETTING:
    case ID_TRAY_SETTING:
      RunSettingsDialog();
      return true;
    case ID_MENU_ABOUT:
    case ID_TRAY_ABOUT:
      ShowAboutBox();
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

bool CPelmoDlg::OnCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  // Every message of the program's own is answered here and never reaches the
  // default dialog processing, which takes WM_USER+0..2 for DM_GETDEFID,
  // DM_SETDEFID and DM_REPOSITION: each call would change the default button
  // and could move the window.
  result = 0;
  switch (message) {
    case WM_SKYPE_CALL_STARTED:
      // A call that starts while the program is on its way out is not
      // recorded: nothing would be left to finish it.
      if (Settings.Current()->AutoRecord == 1 && !exiting_.load()) StartRecording(*this);
      return true;
    case WM_SKYPE_CALL_ENDED:
      if (activeCallCount.load() == 0) StartFinishing();
      return true;
    case WM_SKYPE_STATUS_CHANGED:
      ClientStatusLine();
      return true;
    case WM_STREAM_FILE_FAILED:
      OnWriterFailed();
      return true;
    case WM_SKYPE_PARTNER_KNOWN:
      if (Settings.Current()->ShowStatusOnTray != 0 && recordingSession.Exists())
        SetTimer(hwnd_, kTrayBalloonTimer, 100, nullptr);
      return true;
    case WM_EXIT_REQUEST:
      RequestExit();
      return true;
    case WM_SETTINGS_APPLIED:
      ApplyMainWindowTexts();
      InvalidateRect(hwnd_, nullptr, TRUE);
      return true;
    case WM_TRAY_NOTIFY:
      result = OnTrayNotify(wParam, lParam);
      return true;
    case WM_SETTINGS_CLOSED:
      ApplyMainWindowTexts();
      FolderStatusLine();
      return true;
    case WM_RECORDING_VIEW: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
      OnViewRequest(wParam, text.get());
      return true;
    }
    case WM_POSTED_ACTION:
      RunPostedAction(lParam);
      return true;
    case WM_MAIN_WINDOW_FOCUS:
      SetFocus(hwnd_);
      return true;
    case WM_ENDSESSION:
      // Windows is logging off or shutting down and ends the process when this
      // returns: the recording is finished first.
      if (wParam) {
        FinishForExit();
        WaitServingSentMessages([] { return !FinishingRunning(); }, std::chrono::hours(24));
      }
      return true;
    default:
      // The shell was restarted: its new taskbar has none of the old icons.
      if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) {
        trayIcon_.Restore();
        return true;
      }
      return false;
  }
}

void CPelmoDlg::StartFinishing() {
  if (recordingSession.finishing.load()) return;
  StartFinishRecording(*this);
}

void CPelmoDlg::FinishForExit() {
  exiting_ = true;
  StartFinishing();
  CloseSettingsDialog();
}

void CPelmoDlg::RequestExit() {
  FinishForExit();
  trayIcon_.Delete();
  PostQuitMessage(0);
}

void CPelmoDlg::ShowHelpMenu() {
  IniFile language(LanguageIniPath());
  CHelpMenu menu;
  menu.itemWidth = 130;
  menu.itemHeight = 23;
  menu.textIndent = 15;
  if (!menu.CreatePopupMenu()) return;
  const wchar_t* topKey = keepOnTop.load() ? L"Menu_Cancel_Top_Window" : L"Menu_Top_Window";
  menu.AppendItem(ID_MENU_SETTING, {LanguageText(language, L"Menu_Setting"), RGB(0, 0, 0), 0});
  menu.AppendItem(ID_MENU_ABOUT, {LanguageText(language, L"Menu_About"), RGB(0, 0, 0), 1});
  menu.AppendItem(ID_MENU_TOP_WINDOW, {LanguageText(language, topKey), RGB(0, 0, 0), 1});
  menu.AppendItem(ID_MENU_EXIT, {LanguageText(language, L"Menu_Exit"), RGB(0, 0, 0), 0});
  menu.SetBackground(menuBrush_.get());
  RECT button;
  GetWindowRect(GetDlgItem(IDC_OPTION), &button);
  SetForegroundWindow(hwnd_);
  menu.Track(hwnd_, button.right - ScaleForScreen(92), button.top + ScaleForScreen(23));
}

void CPelmoDlg::ToggleKeepOnTop() {
  bool onTop = keepOnTop.load() != 0;
  SetWindowPos(hwnd_, onTop ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  keepOnTop = onTop ? 0 : 1;
}

LRESULT CPelmoDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
  if (iconId != kTrayIconId) return 1;
  if (mouseMessage == WM_LBUTTONDBLCLK)
    RestoreMainWindow(true);
  else if (mouseMessage == WM_RBUTTONUP)
    ShowTrayMenu();
  return 0;
}

void CPelmoDlg::RestoreMainWindow(bool fromDoubleClick) {
  // A moment on top brings the window in front of all others; it then goes
  // back to the normal order unless the user keeps it on top.
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
  if (fromDoubleClick) ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, keep);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  if (keepOnTop.load() == 0) SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
  if (fromDoubleClick) ShowWindow(hwnd_, SW_SHOWNORMAL);
}

void CPelmoDlg::ShowTrayMenu() {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
  if (!menu) {
    DebugTrace(L"Load tray menu fail");
    return;
  }
  HMENU popup = GetSubMenu(menu, 0);
  if (!popup) {
    DebugTrace(L"Load tray sub menu fail");
    DestroyMenu(menu);
    return;
  }
  IniFile language(LanguageIniPath());
  for (const auto& item : kTrayMenuTexts) {
    std::wstring text = L"  " + LanguageText(language, item.second) + L"  ";
    ModifyMenuW(popup, item.first, MF_BYCOMMAND | MF_STRING, item.first, text.c_str());
  }
  POINT at;
  GetCursorPos(&at);
  SetForegroundWindow(hwnd_);
  TrackPopupMenu(popup, 0, at.x, at.y, 0, hwnd_, nullptr);
  // The menu of a notification icon closes on a click elsewhere only when
  // its window gets a message after it.
  PostMessageW(hwnd_, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

void CPelmoDlg::OpenFolderInShell(const std::wstring& folder) {
  shell_.Run([folder] { OpenThenFocus(folder); });
}

void CPelmoDlg::OpenVirtualStoreFolder() {
  if (osMajorVersion_ < 6) return;
  std::wstring recordFolder = Settings.Current()->WavePath;
  shell_.Run([recordFolder] {
    std::wstring localAppData = GetLocalAppDataFolder();
    DebugTrace(L"%s", {localAppData});
    std::wstring copy = VirtualStoreFolder(localAppData, recordFolder);
    if (!copy.empty() && PathExists(copy)) OpenThenFocus(copy);
  });
}

void CPelmoDlg::RunSettingsDialog() {
  if (exiting_.load()) return;
  // One test-and-set: two requests at once open one dialog.
  if (settingsRun_->open.exchange(1) != 0) {
    // The open one comes to the front instead.
    if (DWORD thread = settingsRun_->threadId.load())
      EnumThreadWindows(
          thread, [](HWND window, LPARAM) -> BOOL { return !SetForegroundWindow(window); }, 0);
    return;
  }
  std::shared_ptr<SettingsRun> run = settingsRun_;
  HWND main = hwnd_;
  try {
    std::thread([run, main] {
      run->threadId = GetCurrentThreadId();
      {
        CSettingDlg dialog(main);
        dialog.DoModal();
      }
      run->threadId = 0;
      run->open = 0;
      // The window's controls belong to its thread: it re-reads its texts and
      // the folder line there.
      PostMessageW(main, WM_SETTINGS_CLOSED, 0, 0);
    }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"RunSettingsDialog: no thread");
    settingsRun_->open = 0;
  }
}

void CPelmoDlg::CloseSettingsDialog() {
  if (DWORD thread = settingsRun_->threadId.load())
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM) -> BOOL {
          PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
          return TRUE;
        },
        0);
}

void CPelmoDlg::ShowAboutBox() {
  if (aboutOpen_) {
    // Reached again from the tray or the system menu while it is shown.
    if (HWND about = GetLastActivePopup(hwnd_)) SetForegroundWindow(about);
    return;
  }
  aboutOpen_ = true;
  CAboutDlg about(hwnd_);
  about.DoModal();
  aboutOpen_ = false;
}
