#include "app/pelmo_app.h"

#include <commctrl.h>
#include <winsock2.h>

#include <cwchar>

#include "app/pelmo_dlg.h"
#include "app/resource.h"
#include "platform/debug_trace.h"
#include "record/recording_control.h"
#include "record/recording_session.h"
#include "settings/settings.h"
#include "skype/link_threads.h"
#include "skype/skype_link.h"
#include "skype/skype_transport.h"

CPelmoApp theApp;

bool IsHideCommandLine(int argumentCount, const wchar_t* commandTail) {
  // The whole text after the program name is compared, however long it is.
  return argumentCount >= 1 && commandTail && std::wcscmp(commandTail, L"hide") == 0;
}

CPelmoApp::CPelmoApp() = default;

BOOL CPelmoApp::InitInstance() {
  AllocateHandoffs();

  if (IsHideCommandLine(m_argumentCount, m_lpCmdLine)) startHidden = 1;

  // One instance per machine: a second start brings the first one's window
  // forward and ends. The mutex is created once and the answer decides, so
  // two starts at the same moment cannot both go on (an open followed by a
  // create could let both through). It is held until the process ends.
  HANDLE instance = CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
  if (!instance || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (HWND window = FindWindowW(kMainWindowClassName, nullptr)) {
      DebugTrace(L"mirror system already run, show it!");
      ShowWindow(window, SW_SHOWNORMAL);
      SetForegroundWindow(window);
    }
    return FALSE;
  }
  DebugTrace(L"first run!");

  INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    wchar_t text[256] = L"Windows sockets initialization failed.";
    LoadStringW(m_hInstance, IDP_SOCKETS_INIT_FAILED, text, 256);
    MessageBoxW(nullptr, text, L"Calvoro Record", MB_OK);
    return FALSE;
  }

  RegisterMainWindowClass(m_hInstance);

  gdiplus_ = std::make_unique<GdiplusSession>();

  LoadSettings();

  StartLinkThreads();
  linkStarted_ = true;

  {
    CPelmoDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    // The loop may also have ended without the exit command (the link's window
    // closed from outside): a recording still running is finished all the same.
    dialog.FinishForExit();
    // The client is told no more: its notifications now fail at once instead
    // of waiting for a thread that has stopped reading them.
    if (HWND linkWindow = reinterpret_cast<HWND>(messageWindow.load())) DestroyWindow(linkWindow);
    // A finishing sequence started by the exit reports to the dialog object
    // until its end; the object stays until then. Messages sent to this
    // thread meanwhile (by the link threads, the shell) are still served.
    WaitServingSentMessages([] { return !FinishingRunning(); }, std::chrono::hours(24));
    WaitForFinishing();
    m_pMainWnd = nullptr;
  }
  return FALSE;
}

int CPelmoApp::ExitInstance() {
  // A finishing sequence started by the exit (or still running from a Stop)
  // completes first, so no stream or output file is left half written.
  WaitForFinishing();
  if (linkStarted_) StopLinkThreads();
  FreeHandoffs();
  gdiplus_.reset();
  WSACleanup();
  return CWinApp::ExitInstance();
}
