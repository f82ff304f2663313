// The native build has no client to look at: each operation asks the client
// stand-in that a test has set.
#include "skype/window_control.h"
#include "skype/window_control_platform.h"
#include "tests/support/skype_client_standin.h"

WindowId FindSkypeMainWindow() {
  auto find = CurrentSkypeClientStandIn().findMainWindow;
  return find ? find() : 0;
}

void CloseCallQualityWindows() {
  auto close = CurrentSkypeClientStandIn().closeCallQualityWindows;
  if (close) close();
}

bool GetSkypePath(std::wstring& path) {
  auto skypePath = CurrentSkypeClientStandIn().skypePath;
  return skypePath ? skypePath(path) : false;
}

bool IsSkypeRunning() {
  auto running = CurrentSkypeClientStandIn().skypeRunning;
  return running ? running() : false;
}

void window_control_platform::ShellOpen(const std::wstring& target) {
  auto open = CurrentSkypeClientStandIn().shellOpen;
  if (open) open(target);
}
