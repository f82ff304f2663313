#include <windows.h>

#include "platform/debug_trace.h"
#include "skype/skype_transport.h"

namespace {
constexpr UINT kCommandTimeoutMs = 5000;
}  // namespace

bool DeliverCommandToSkype(WindowId apiWindow, WindowId fromWindow, const std::string& data) {
  COPYDATASTRUCT copy = {};
  copy.dwData = 0;
  copy.cbData = static_cast<DWORD>(data.size());
  copy.lpData = const_cast<char*>(data.data());
  // A client that has stopped answering its window must not hang the
  // recorder's threads (the window, or the thread that follows the calls): the
  // command then counts as not accepted.
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(reinterpret_cast<HWND>(apiWindow), WM_COPYDATA, static_cast<WPARAM>(fromWindow),
                           reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL | SMTO_ABORTIFHUNG, kCommandTimeoutMs,
                           &answer)) {
    DebugTrace(L"The client did not take a command: %d\n", {static_cast<int>(GetLastError())});
    return false;
  }
  return answer != 0;
}

bool ClientWindowExists(WindowId apiWindow) { return IsWindow(reinterpret_cast<HWND>(apiWindow)) != 0; }

uint32_t ClientWindowProcess(WindowId apiWindow) {
  if (apiWindow == 0) return 0;
  DWORD process = 0;
  if (GetWindowThreadProcessId(reinterpret_cast<HWND>(apiWindow), &process) == 0) return 0;
  return process;
}

void PostDiscoverBroadcast(WindowId fromWindow) {
  // Registered names give every process the same id: the message window's.
  static const UINT discover = RegisterWindowMessageW(kDiscoverMessageName);
  if (discover != 0) PostMessageW(HWND_BROADCAST, discover, static_cast<WPARAM>(fromWindow), 0);
}

bool WaitServingSentMessages(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    if (done()) return true;
    auto now = std::chrono::steady_clock::now();
    if (now >= end) return done();
    // Messages sent to this thread's windows by other threads are handled
    // inside PeekMessageW; posted messages stay queued for the thread's loop.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
  }
}
