// Opening a folder, a web address or the client's program with the shell
// (ShellExecuteW, verb "open"). It may take long (the shell starts a program, a
// share does not answer), so the main window hands it to ShellLauncher, which
// does it on a thread of its own and gives the focus back to the window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/call_recorder.h"
#include "ui/background_work.h"

void ShellOpen(const std::wstring& target, int showCommand, const std::wstring& parameters = std::wstring());

// Tests see what would be opened instead of the shell opening it (a program
// with its parameters as one text); an empty hook gives the shell back.
using ShellOpenHook = std::function<void(const std::wstring& target, int showCommand)>;
void SetShellOpenHook(ShellOpenHook hook);

class ShellLauncher {
 public:
  ShellLauncher() = default;
  // `atEnd`: a window that closes while an opening is under way leaves it to
  // finish (kFinishInBackground) rather than wait for the shell.
  explicit ShellLauncher(BackgroundWork::AtEnd atEnd) : work_(true, atEnd) {}

  // The window that takes the focus back after each opening.
  void SetWindow(HWND window) { window_ = window; }

  // The folder, shown; a moment later the window takes the focus back.
  void OpenFolder(const std::wstring& folder);
  // The folder of the file, with the file selected in it (it keeps the focus).
  void ShowFileInFolder(const std::wstring& file);
  // The address, shown normally (the banner's home page).
  void OpenAddress(const std::wstring& address);
  // The Run Skype button, given the state the client line shows.
  void OpenClient(const CallRecorder& recorder, SkypeClientState lastState);
  // The system's VirtualStore copy of the record folder, when there is one.
  void OpenVirtualStore(const std::wstring& recordFolder);

 private:
  HWND window_ = nullptr;
  // The shell asks its callers for a single-threaded apartment.
  BackgroundWork work_{true};
};
