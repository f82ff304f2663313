#include "app/shell_open.h"

#include <shellapi.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "app/status_text.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "skype/window_control.h"

namespace {
std::mutex hookMutex;
ShellOpenHook hook;

// The window takes the keyboard focus back, on its own thread.
void FocusBack(HWND window) {
  PostToWindow(window, [window] { SetFocus(window); });
}

// A folder opened by the shell gets a moment to come up before the window
// takes the focus back.
void OpenThenFocus(const std::wstring& target, HWND window) {
  ShellOpen(target, SW_SHOW);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  FocusBack(window);
}
}  // namespace

void SetShellOpenHook(ShellOpenHook newHook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  hook = std::move(newHook);
}

void ShellOpen(const std::wstring& target, int showCommand, const std::wstring& parameters) {
  ShellOpenHook current;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    current = hook;
  }
  if (current)
    current(parameters.empty() ? target : target + L" " + parameters, showCommand);
  else
    ShellExecuteW(nullptr, L"open", target.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                  showCommand);
}

void ShellLauncher::OpenFolder(const std::wstring& folder) {
  HWND window = window_;
  work_.Run([folder, window] { OpenThenFocus(folder, window); });
}

void ShellLauncher::ShowFileInFolder(const std::wstring& file) {
  // The user asked for the folder: it keeps the focus.
  // The file explorer opens the folder with the file selected in it.
  work_.Run([file] { ShellOpen(L"explorer.exe", SW_SHOWNORMAL, L"/select,\"" + file + L"\""); });
}

void ShellLauncher::OpenAddress(const std::wstring& address) {
  work_.Run([address] { ShellOpen(address, SW_SHOWNORMAL); });
}

void ShellLauncher::OpenClient(const CallRecorder& recorder, SkypeClientState lastState) {
  HWND window = window_;
  std::function<bool()> open = recorder.ClientOpener(lastState);
  work_.Run([open, window] {
    if (open()) FocusBack(window);
  });
}

void ShellLauncher::OpenVirtualStore(const std::wstring& recordFolder) {
  HWND window = window_;
  work_.Run([recordFolder, window] {
    std::wstring localAppData = GetLocalAppDataFolder();
    DebugTrace(L"The local application data folder: %s", {localAppData});
    std::wstring copy = VirtualStoreFolder(localAppData, recordFolder);
    if (!copy.empty() && PathExists(copy)) OpenThenFocus(copy, window);
  });
}
