// CPelmoApp: starts the recorder as the one instance on the machine, prepares
// the shared resources and the client link, and runs the main window until the
// program ends.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "ui/gdiplus_session.h"
#include "ui/win_app.h"

constexpr wchar_t kSingleInstanceMutexName[] = L"Global\\Skype Dorv Recorder";

// The command line asks for a hidden start: at least one argument, and the text
// after the program name is exactly "hide".
bool IsHideCommandLine(int argumentCount, const wchar_t* commandTail);

class CPelmoApp : public CWinApp {
 public:
  CPelmoApp();
  BOOL InitInstance() override;
  int ExitInstance() override;

 private:
  // The image library for the whole run; every window holds it as well.
  std::unique_ptr<GdiplusSession> gdiplus_;
  bool linkStarted_ = false;
};
