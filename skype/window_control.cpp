#include "skype/window_control.h"

#include <chrono>
#include <thread>

#include "skype/skype_api.h"

void RunSkype(const std::wstring& path) { ShellOpen(path); }

void OpenSkype(SkypeClientState lastState) {
  if (lastState == NotInstalled) {
    ShellOpen(kSkypeWebSite);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    FocusMainWindow();
    return;
  }
  if (attached.load() == 1) {
    SendCommandToSkype(kSetWindowStateNormal);
    SendCommandToSkype(kFocus);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    FocusMainWindow();
    return;
  }
  std::wstring path;
  if (!GetSkypePath(path)) return;
  RunSkype(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  FocusMainWindow();
}
