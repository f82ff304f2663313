#include "tools/simclient/client_state_win32.h"

#include <cstdint>

namespace simclient {

SharedState shared;
Scenario scenario;
HWND apiWindow = nullptr;
HWND foreignWindow = nullptr;
UINT attachMessage = 0;
UINT discoverMessage = 0;

HWND Recorder() {
  std::lock_guard<std::mutex> lock(shared.mutex);
  return shared.recorder;
}

std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

}  // namespace simclient
