#include "skype/window_control.h"

#include <chrono>
#include <thread>

#include "skype/skype_api.h"
#include "skype/window_control_platform.h"

void RunSkype(const std::wstring& path) { window_control_platform::ShellOpen(path); }

SkypeClientState GetSkypeClientState() {
  std::wstring path;
  if (!GetSkypePath(path)) return NotInstalled;
  if (!IsSkypeRunning()) return NotRunning;
  if (loggedOut.load() == 1) return LoggedOut;
  if (attached.load() == 1) return Attached;
  return NotAttached;
}

void OpenSkype(SkypeClientState lastState) {
  if (lastState == NotInstalled) {
    window_control_platform::ShellOpen(kSkypeWebSite);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    window_control_platform::FocusMainWindow();
    return;
  }
  if (attached.load() == 1) {
    SendCommandToSkype(kSetWindowStateNormal);
    SendCommandToSkype(kFocus);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    window_control_platform::FocusMainWindow();
    return;
  }
  std::wstring path;
  if (!GetSkypePath(path)) return;
  RunSkype(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  window_control_platform::FocusMainWindow();
}
