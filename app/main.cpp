// The program's entry point: one recorder per machine, started, shown in the
// main window until the user exits, then finished and ended in order.
#include <windows.h>
#include <commctrl.h>
#include <winsock2.h>

#include <chrono>
#include <cwchar>
#include <memory>

#include "app/main_window.h"
#include "app/resource.h"
#include "app/user_messages.h"
#include "app/window_events.h"
#include "common/contracts.h"
#include "engine/call_recorder.h"
#include "platform/debug_trace.h"
#include "settings/config_location.h"
#include "skype/skype_transport.h"
#include "ui/background_work.h"
#include "ui/gdiplus_session.h"

namespace {

// The text after the program name on the command line, leading blanks
// removed.
const wchar_t* CommandTail(const wchar_t* line) {
  if (!line) return L"";
  const wchar_t* p = line;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// The command line asks for a hidden start: the whole text after the program
// name is exactly "hide", however long it is.
bool StartsHidden() {
  return std::wcscmp(CommandTail(GetCommandLineW()), kHideArgument) == 0;
}

// One instance per machine: a second start brings the first one's window
// forward and ends. The mutex is created once and the answer decides, so two
// starts at the same moment cannot both go on (an open followed by a create
// could let both through). It is held until the process ends.
bool ClaimSingleInstance() {
  HANDLE instance = CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
  if (instance && GetLastError() != ERROR_ALREADY_EXISTS) return true;
  if (HWND window = FindWindowW(kMainWindowClassName, nullptr)) {
    DebugTrace(L"Another instance runs: its window is brought forward.");
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
  }
  return false;
}

int RunRecorder(HINSTANCE instance) {
  const bool startHidden = StartsHidden();
  if (!ClaimSingleInstance()) return 0;

  // Declared before the recorder: the recorder reports to it until its end.
  WindowEventChannel events;
  auto recorder = std::make_unique<CallRecorder>(events, RecorderPlaces{PrepareConfigIniPath(), LanguageIniPath()});
  events.SetLanguage(&recorder->language());

  INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    wchar_t text[256] = L"";
    LoadStringW(instance, IDP_SOCKETS_INIT_FAILED, text, 256);
    std::wstring fallback = text[0] ? text : kSocketsInitFailed.fallback;
    MessageBoxW(nullptr, recorder->language().TextOr(kSocketsInitFailed.key, fallback).c_str(), L"Calvoro Record",
                MB_OK);
    return 0;
  }
  RegisterMainWindowClass(instance);
  // The image library for the whole run; every window holds it as well.
  auto gdiplus = std::make_unique<GdiplusSession>();

  recorder->Start();
  {
    MainWindow window(*recorder, events, startHidden);
    window.DoModal();
    // The loop may also have ended without the exit command (the link's
    // window closed from outside): a recording still running is finished all
    // the same.
    window.FinishForExit();
    recorder->CloseClientWindow();
    // A finishing started by the exit reports to the window until its end;
    // the window stays until then. Messages sent to this thread meanwhile (by
    // the shell) are still served.
    CallRecorder& running = *recorder;
    WaitServingSentMessages([&running] { return !running.FinishingRunning(); }, std::chrono::hours(24));
  }
  // The link threads stop, the audio servers close, a finishing still under
  // way completes, so no stream or output file is left half written.
  if (!recorder->Shutdown()) {
    // A link thread waits on a client that does not answer and still uses the
    // recorder: it ends with the process.
    DebugTrace(L"The link threads did not stop: the recorder ends with the process.");
    (void)recorder.release();
  }
  recorder.reset();
  gdiplus.reset();
  WSACleanup();
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return RunRecorder(instance); }
