#include "ui/win_app.h"

#include <shellapi.h>

namespace {
CWinApp* theApplication = nullptr;

// The text after the program name, as the framework hands it to the application.
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
}  // namespace

CWinApp::CWinApp() { theApplication = this; }

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = nullptr;
}

int CWinApp::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return ExitInstance();
}

CWinApp* AfxGetApp() { return theApplication; }

int AfxWinMain(HINSTANCE instance, int) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->m_hInstance = instance;
  const wchar_t* line = GetCommandLineW();
  app->m_lpCmdLine = CommandTail(line);
  int argc = 0;
  if (LPWSTR* argv = CommandLineToArgvW(line, &argc)) LocalFree(argv);
  app->m_argumentCount = argc > 0 ? argc - 1 : 0;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
