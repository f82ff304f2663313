#include "app/pelmo_app.h"

#include <commctrl.h>
#include <winsock2.h>

#include <cwchar>

#include "app/pelmo_dlg.h"
#include "app/resource.h"
#include "app/user_messages.h"
#include "common/contracts.h"
#include "platform/debug_trace.h"
#include "settings/config_location.h"
#include "skype/skype_transport.h"

CPelmoApp theApp;

bool IsHideCommandLine(int argumentCount, const wchar_t* commandTail) {
  // The whole text after the program name is compared, however long it is.
  return argumentCount >= 1 && commandTail && std::wcscmp(commandTail, kHideArgument) == 0;
}

CPelmoApp::CPelmoApp() = default;
CPelmoApp::~CPelmoApp() {
  // A recorder whose link threads did not stop is left to end with the
  // process (ExitInstance let it go): its threads still use it.
}

BOOL CPelmoApp::InitInstance() {
  const bool startHidden = IsHideCommandLine(m_argumentCount, m_lpCmdLine);

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

  recorder_ = std::make_unique<CallRecorder>(events_, RecorderPlaces{PrepareConfigIniPath(), LanguageIniPath()});
  events_.SetLanguage(&recorder_->language());
  recorder_->session().AllocateHandoffs();

  INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    wchar_t text[256] = L"";
    LoadStringW(m_hInstance, IDP_SOCKETS_INIT_FAILED, text, 256);
    std::wstring fallback = text[0] ? text : kSocketsInitFailed.fallback;
    MessageBoxW(nullptr, recorder_->language().TextOr(kSocketsInitFailed.key, fallback).c_str(), L"Calvoro Record",
                MB_OK);
    return FALSE;
  }
  socketsStarted_ = true;

  RegisterMainWindowClass(m_hInstance);

  gdiplus_ = std::make_unique<GdiplusSession>();

  recorder_->LoadSettings();
  recorder_->StartLinkThreads();

  {
    CPelmoDlg dialog(*recorder_, events_, startHidden);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    // The loop may also have ended without the exit command (the link's window
    // closed from outside): a recording still running is finished all the same.
    dialog.FinishForExit();
    // The client is told no more: its notifications now fail at once instead
    // of waiting for a thread that has stopped reading them.
    if (HWND linkWindow = reinterpret_cast<HWND>(recorder_->link().messageWindow.load())) DestroyWindow(linkWindow);
    // A finishing sequence started by the exit reports to the window until its
    // end; the window stays until then. Messages sent to this thread meanwhile
    // (by the link threads, the shell) are still served.
    RecordingSession& session = recorder_->session();
    WaitServingSentMessages([&session] { return !session.FinishingRunning(); }, std::chrono::hours(24));
    session.WaitForFinishing();
    m_pMainWnd = nullptr;
  }
  return FALSE;
}

int CPelmoApp::ExitInstance() {
  if (recorder_) {
    // A finishing sequence started by the exit (or still running from a Stop)
    // completes first, so no stream or output file is left half written; the
    // link threads stop, the audio servers close.
    if (!recorder_->Shutdown()) {
      DebugTrace(L"The link threads did not stop: the recorder ends with the process");
      (void)recorder_.release();
    }
    recorder_.reset();
  }
  gdiplus_.reset();
  if (socketsStarted_) WSACleanup();
  return CWinApp::ExitInstance();
}
