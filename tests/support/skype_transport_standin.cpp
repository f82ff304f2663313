// The native build has no window messages: commands and broadcasts go to the
// client stand-in that a test has set.
#include <mutex>
#include <thread>

#include "skype/skype_transport.h"
#include "tests/support/skype_client_standin.h"

namespace {
std::mutex standInMutex;
SkypeClientStandIn standInHooks;
}  // namespace

void SetSkypeClientStandIn(SkypeClientStandIn standIn) {
  std::lock_guard<std::mutex> lock(standInMutex);
  standInHooks = std::move(standIn);
}

SkypeClientStandIn CurrentSkypeClientStandIn() {
  std::lock_guard<std::mutex> lock(standInMutex);
  return standInHooks;
}

bool DeliverCommandToSkype(WindowId apiWindow, WindowId fromWindow, const std::string& data) {
  auto command = CurrentSkypeClientStandIn().command;
  return command ? command(apiWindow, fromWindow, data) : false;
}

bool ClientWindowExists(WindowId apiWindow) {
  auto exists = CurrentSkypeClientStandIn().windowExists;
  return exists ? exists(apiWindow) : true;
}

uint32_t ClientWindowProcess(WindowId apiWindow) {
  auto process = CurrentSkypeClientStandIn().windowProcess;
  return process && apiWindow != 0 ? process(apiWindow) : 0;
}

void PostDiscoverBroadcast(WindowId fromWindow) {
  auto discover = CurrentSkypeClientStandIn().discover;
  if (discover) discover(fromWindow);
}

bool WaitServingSentMessages(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  auto begins = CurrentSkypeClientStandIn().waitBegins;
  if (begins) begins();
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
