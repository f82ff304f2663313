#include "skype/window_control.h"

#include <chrono>
#include <thread>

#include "skype/skype_api.h"
#include "skype/window_control_platform.h"

void RunSkype(const std::wstring& path) { window_control_platform::ShellOpen(path); }

SkypeClientState GetSkypeClientState(const SkypeLink& link) { return ClientStateOf(CheckClientPresence(), link); }

ClientPresence CheckClientPresence() {
  ClientPresence presence;
  std::wstring path;
  presence.installed = GetSkypePath(path);
  presence.running = presence.installed && IsSkypeRunning();
  return presence;
}

SkypeClientState ClientStateOf(const ClientPresence& presence, const SkypeLink& link) {
  // An attached link is the surest sign of a running client: the registry may
  // not name it (a client without the value, or in another place) and the
  // process list may not show it under the usual name.
  if (link.attached.load() == 1) return link.loggedOut.load() == 1 ? LoggedOut : Attached;
  if (!presence.installed) return NotInstalled;
  if (!presence.running) return NotRunning;
  if (link.loggedOut.load() == 1) return LoggedOut;
  if (link.attached.load() == 1) return Attached;
  return NotAttached;
}

bool OpenSkype(SkypeLink& link, SkypeClientState lastState) {
  return OpenSkype(link.attached.load() == 1, link.Route(), lastState);
}

bool OpenSkype(bool attached, const CommandRoute& route, SkypeClientState lastState) {
  if (lastState == NotInstalled) {
    window_control_platform::ShellOpen(kSkypeWebSite);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
  }
  if (attached) {
    SendCommandTo(route, kSetWindowStateNormal);
    SendCommandTo(route, kFocus);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
  }
  std::wstring path;
  if (!GetSkypePath(path)) return false;
  RunSkype(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return true;
}
