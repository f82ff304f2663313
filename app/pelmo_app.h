// CPelmoApp: starts the recorder as the one instance on the machine, creates
// and owns the recorder (engine/call_recorder.h) with the channel that carries
// its events to the main window, and runs the main window until the program
// ends.
#pragma once

#include <windows.h>

#include <memory>

#include "app/window_events.h"
#include "engine/call_recorder.h"
#include "ui/gdiplus_session.h"
#include "ui/win_app.h"

// The command line asks for a hidden start: at least one argument, and the text
// after the program name is exactly "hide".
bool IsHideCommandLine(int argumentCount, const wchar_t* commandTail);

class CPelmoApp : public CWinApp {
 public:
  CPelmoApp();
  ~CPelmoApp() override;
  BOOL InitInstance() override;
  int ExitInstance() override;

 private:
  // Declared before the recorder: the recorder reports to it until its end.
  WindowEventChannel events_;
  std::unique_ptr<CallRecorder> recorder_;
  // The image library for the whole run; every window holds it as well.
  std::unique_ptr<GdiplusSession> gdiplus_;
  bool socketsStarted_ = false;
};
