// A thin application object in the manner of the classic framework: one static
// instance derived from CWinApp; the entry point calls InitInstance, runs the
// message loop only when it returns TRUE, and always ends with ExitInstance.
#pragma once

#include <windows.h>

class CDialog;

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return exitCode_; }
  // The message loop for an application that keeps running after InitInstance.
  virtual int Run();

  HINSTANCE m_hInstance = nullptr;
  // The command line after the program name, with leading blanks removed.
  const wchar_t* m_lpCmdLine = L"";
  // Number of arguments after the program name.
  int m_argumentCount = 0;
  CDialog* m_pMainWnd = nullptr;

 protected:
  int exitCode_ = 0;
};

CWinApp* AfxGetApp();

// Called by wWinMain.
int AfxWinMain(HINSTANCE instance, int showCommand);
