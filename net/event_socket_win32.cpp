// CEventSocket's platform operations on Windows Sockets 2: one WSAEVENT per
// socket registered with WSAEventSelect, WSAWaitForMultipleEvents over them and
// the wake-up timer, WSAAccept with a condition function.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "net/event_socket_platform.h"
#include "platform/debug_trace.h"

struct event_socket_platform::WakeUp {
  HANDLE timer = nullptr;  // auto-reset waitable timer
};

namespace event_socket_platform {

namespace {

struct AcceptContext {
  AcceptConditionFunction condition;
  void* context;
};

int CALLBACK AcceptConditionProc(LPWSABUF callerId, LPWSABUF, LPQOS, LPQOS, LPWSABUF, LPWSABUF, GROUP*,
                                 DWORD_PTR callbackData) {
  auto* accept = reinterpret_cast<AcceptContext*>(callbackData);
  uint32_t peer = 0;
  if (callerId != nullptr && callerId->buf != nullptr && callerId->len >= sizeof(sockaddr_in)) {
    const auto* address = reinterpret_cast<const sockaddr_in*>(callerId->buf);
    if (address->sin_family == AF_INET) peer = address->sin_addr.s_addr;
  }
  return accept->condition(accept->context, peer) ? CF_ACCEPT : CF_REJECT;
}

}  // namespace

uint32_t StartSockets() {
  WSADATA data;
  return static_cast<uint32_t>(WSAStartup(MAKEWORD(2, 0), &data));
}

void StopSockets() { WSACleanup(); }

uint32_t CreateWakeUp(WakeUp*& wakeUp) {
  HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  if (timer == nullptr) {
    uint32_t error = GetLastError();
    return error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY;
  }
  wakeUp = new WakeUp{timer};
  return 0;
}

void DestroyWakeUp(WakeUp* wakeUp) {
  if (wakeUp == nullptr) return;
  CloseHandle(wakeUp->timer);
  delete wakeUp;
}

void FireWakeUp(WakeUp* wakeUp) {
  LARGE_INTEGER due;
  due.QuadPart = -1;  // relative, 100 ns: at once
  SetWaitableTimer(wakeUp->timer, &due, 0, nullptr, nullptr, FALSE);
}

NativeEvent WakeUpEntry(WakeUp* wakeUp) { return reinterpret_cast<NativeEvent>(wakeUp->timer); }

// The wait that reported the auto-reset timer has reset it.
void ResetWakeUp(WakeUp*) {}

uint32_t WaitForEntries(const NativeEvent* entries, size_t n, size_t first, uint32_t timeoutMs, uint32_t* ready) {
  // The wait names the lowest signalled entry of its array: starting the array
  // at `first` makes that the next one in round-robin order, in one call.
  WSAEVENT handles[kEventEntries];
  for (size_t k = 0; k < n; ++k) handles[k] = reinterpret_cast<WSAEVENT>(entries[(first + k) % n]);
  DWORD wait = WSAWaitForMultipleEvents(static_cast<DWORD>(n), handles, FALSE, timeoutMs, FALSE);
  if (wait == WSA_WAIT_FAILED) return static_cast<uint32_t>(WSAGetLastError());
  if (wait == WSA_WAIT_TIMEOUT) return kWaitTimedOut;
  if (wait >= WSA_WAIT_EVENT_0 && wait < WSA_WAIT_EVENT_0 + n) {
    ready[(first + (wait - WSA_WAIT_EVENT_0)) % n] = 1;
    return 0;
  }
  return wait;
}

uint32_t OpenStreamSocket(NativeSocket& socket) {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return static_cast<uint32_t>(WSAGetLastError());
  socket = static_cast<NativeSocket>(s);
  return 0;
}

uint32_t CreateSocketEvent(NativeSocket socket, NativeEvent& event) {
  WSAEVENT created = WSACreateEvent();
  if (created == WSA_INVALID_EVENT) return static_cast<uint32_t>(WSAGetLastError());
  if (WSAEventSelect(static_cast<SOCKET>(socket), created, FD_ALL_EVENTS) == SOCKET_ERROR) {
    uint32_t error = static_cast<uint32_t>(WSAGetLastError());
    WSACloseEvent(created);
    return error;
  }
  event = reinterpret_cast<NativeEvent>(created);
  return 0;
}

void CloseSocketEvent(NativeEvent event) {
  if (event != 0) WSACloseEvent(reinterpret_cast<WSAEVENT>(event));
}

uint32_t BindAndListen(NativeSocket socket, uint32_t address, uint16_t port, int backlog, uint16_t& boundPort) {
  SOCKET s = static_cast<SOCKET>(socket);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = address;
  local.sin_port = htons(port);
  // No other program may bind the same port with SO_REUSEADDR and take part
  // of a call's audio. Without the option the server still works.
  BOOL exclusive = TRUE;
  if (setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive) ==
      SOCKET_ERROR)
    DebugTrace(L"SO_EXCLUSIVEADDRUSE refused: %d\n", {static_cast<int>(WSAGetLastError())});
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) == SOCKET_ERROR)
    return static_cast<uint32_t>(WSAGetLastError());
  if (listen(s, backlog) == SOCKET_ERROR) return static_cast<uint32_t>(WSAGetLastError());
  sockaddr_in bound = {};
  int length = sizeof bound;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == SOCKET_ERROR)
    return static_cast<uint32_t>(WSAGetLastError());
  boundPort = ntohs(bound.sin_port);
  return 0;
}

uint32_t EnumNetworkEvents(NativeSocket socket, NativeEvent event, bool, uint32_t, uint32_t& events,
                           uint32_t errors[kFdEventKinds]) {
  WSANETWORKEVENTS network = {};
  if (WSAEnumNetworkEvents(static_cast<SOCKET>(socket), reinterpret_cast<WSAEVENT>(event), &network) ==
      SOCKET_ERROR)
    return static_cast<uint32_t>(WSAGetLastError());
  events = static_cast<uint32_t>(network.lNetworkEvents);
  for (int k = 0; k < kFdEventKinds; ++k) errors[k] = static_cast<uint32_t>(network.iErrorCode[k]);
  return 0;
}

uint32_t AcceptConnection(NativeSocket listener, AcceptConditionFunction condition, void* context,
                          NativeSocket& accepted, uint32_t& peerAddress, uint16_t& peerPort) {
  AcceptContext accept = {condition, context};
  sockaddr_in peer = {};
  int length = sizeof peer;
  SOCKET s = WSAAccept(static_cast<SOCKET>(listener), reinterpret_cast<sockaddr*>(&peer), &length,
                       AcceptConditionProc, reinterpret_cast<DWORD_PTR>(&accept));
  if (s == INVALID_SOCKET) return static_cast<uint32_t>(WSAGetLastError());
  accepted = static_cast<NativeSocket>(s);
  peerAddress = peer.sin_addr.s_addr;
  peerPort = ntohs(peer.sin_port);
  return 0;
}

uint32_t Receive(NativeSocket socket, uint8_t* buffer, size_t capacity, size_t& received) {
  WSABUF one;
  one.buf = reinterpret_cast<char*>(buffer);
  one.len = static_cast<ULONG>(capacity);
  DWORD bytes = 0;
  DWORD flags = 0;
  received = 0;
  if (WSARecv(static_cast<SOCKET>(socket), &one, 1, &bytes, &flags, nullptr, nullptr) == SOCKET_ERROR)
    return static_cast<uint32_t>(WSAGetLastError());
  received = bytes;
  return 0;
}

void ShutdownAndClose(NativeSocket socket) {
  SOCKET s = static_cast<SOCKET>(socket);
  shutdown(s, SD_BOTH);
  closesocket(s);
}

uint32_t LookUpHostAddresses(std::vector<uint32_t>& list) {
  char name[500] = {};
  if (gethostname(name, sizeof name) == SOCKET_ERROR) return static_cast<uint32_t>(WSAGetLastError());
  hostent* host = gethostbyname(name);
  if (host == nullptr) return static_cast<uint32_t>(WSAGetLastError());
  if (host->h_addrtype != AF_INET || host->h_length != 4) return 0;
  for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
    in_addr address;
    memcpy(&address, *entry, sizeof address);
    list.push_back(address.s_addr);
  }
  return 0;
}

bool SystemErrorMessage(uint32_t code, std::wstring& message) {
  wchar_t buffer[1000];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 1000, nullptr);
  if (length == 0) return false;
  message.assign(buffer, length);
  return true;
}

}  // namespace event_socket_platform
