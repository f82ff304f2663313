// CEventSocket's platform operations on POSIX sockets, behaving as the Winsock
// ones do: the descriptors are polled instead of event objects, a pipe stands in
// for the wake-up timer, and errno values are translated into Windows Sockets
// codes. One poll reports every ready descriptor with its poll bits, from which
// the network events are read without asking the system again.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/strings.h"
#include "net/event_socket_platform.h"

struct event_socket_platform::WakeUp {
  int readEnd = -1;  // readable while the wake-up has fired and was not yet reset
  int writeEnd = -1;
};

namespace event_socket_platform {

namespace {

#ifndef POLLRDHUP
#define POLLRDHUP 0
#endif

constexpr int kAcceptBit = 3;
constexpr int kCloseBit = 5;

struct ErrnoCode {
  int error;
  uint32_t code;
};

// errno values and the Windows Sockets codes that mean the same.
const ErrnoCode kErrnoCodes[] = {
    {ENOMEM, 8},           {EINTR, 10004},       {EBADF, 10009},           {EACCES, 10013},
    {EFAULT, 10014},       {EINVAL, 10022},      {EMFILE, 10024},          {ENFILE, 10024},
    {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036}, {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045}, {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},  {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},   {ECONNABORTED, 10053},    {ECONNRESET, 10054},
    {ENOBUFS, 10055},      {EISCONN, 10056},     {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {EPIPE, 10058},        {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},      {ECONNREFUSED, 10061},
    {ELOOP, 10062},        {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},      {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},    {EUSERS, 10068},      {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

uint32_t CodeFromErrno(int error) {
  if (error == EAGAIN) return 10035;
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.error == error) return entry.code;
  }
  return kWsaSysCallFailure;
}

uint32_t LastCode() { return CodeFromErrno(errno); }

int Descriptor(uintptr_t handle) { return static_cast<int>(handle); }

short WatchedEvents(size_t index) { return index == 0 ? POLLIN : static_cast<short>(POLLIN | POLLRDHUP); }

uint32_t CodeFromLookup(int result) {
  switch (result) {
    case EAI_AGAIN: return 11002;                        // WSATRY_AGAIN
    case EAI_FAIL: return 11003;                         // WSANO_RECOVERY
    case EAI_MEMORY: return 8;
    case EAI_SYSTEM: return LastCode();
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;                       // WSANO_DATA
#endif
    default: return 11001;                               // WSAHOST_NOT_FOUND
  }
}

}  // namespace

uint32_t StartSockets() { return 0; }
void StopSockets() {}

uint32_t CreateWakeUp(WakeUp*& wakeUp) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0) return LastCode();
  wakeUp = new WakeUp{pipeEnds[0], pipeEnds[1]};
  return 0;
}

void DestroyWakeUp(WakeUp* wakeUp) {
  if (wakeUp == nullptr) return;
  close(wakeUp->readEnd);
  close(wakeUp->writeEnd);
  delete wakeUp;
}

void FireWakeUp(WakeUp* wakeUp) {
  // A full pipe has fired already.
  const char byte = 1;
  ssize_t written = write(wakeUp->writeEnd, &byte, 1);
  (void)written;
}

NativeEvent WakeUpEntry(WakeUp* wakeUp) { return static_cast<NativeEvent>(wakeUp->readEnd); }

void ResetWakeUp(WakeUp* wakeUp) {
  char bytes[64];
  while (read(wakeUp->readEnd, bytes, sizeof bytes) > 0) {
  }
}

uint32_t WaitForEntries(const NativeEvent* entries, size_t n, size_t, uint32_t timeoutMs, uint32_t* ready) {
  pollfd all[kEventEntries];
  for (size_t i = 0; i < n; ++i) all[i] = {Descriptor(entries[i]), WatchedEvents(i), 0};
  int timeout = timeoutMs == kInfiniteWait ? -1 : static_cast<int>(timeoutMs);
  int count;
  do {
    count = poll(all, static_cast<nfds_t>(n), timeout);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return LastCode();
  if (count == 0) return kWaitTimedOut;
  for (size_t i = 0; i < n; ++i) ready[i] = static_cast<uint16_t>(all[i].revents);
  return 0;
}

uint32_t OpenStreamSocket(NativeSocket& socket) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return LastCode();
  socket = static_cast<NativeSocket>(s);
  return 0;
}

uint32_t CreateSocketEvent(NativeSocket socket, NativeEvent& event) {
  // The descriptor is its own event: poll watches it.
  int s = Descriptor(socket);
  int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return LastCode();
  event = static_cast<NativeEvent>(s);
  return 0;
}

void CloseSocketEvent(NativeEvent) {}

uint32_t BindAndListen(NativeSocket socket, uint32_t address, uint16_t port, int backlog, uint16_t& boundPort) {
  int s = Descriptor(socket);
  // Windows binds a listening port while old connections on it linger in
  // TIME_WAIT; Linux does so only with SO_REUSEADDR (which still refuses a port
  // that another socket listens on).
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = address;
  local.sin_port = htons(port);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return LastCode();
  if (listen(s, backlog) != 0) return LastCode();
  sockaddr_in bound = {};
  socklen_t length = sizeof bound;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return LastCode();
  boundPort = ntohs(bound.sin_port);
  return 0;
}

uint32_t EnumNetworkEvents(NativeSocket socket, NativeEvent, bool listening, uint32_t readiness, uint32_t& events,
                           uint32_t errors[kFdEventKinds]) {
  int s = Descriptor(socket);
  events = 0;
  for (int k = 0; k < kFdEventKinds; ++k) errors[k] = 0;
  if (readiness & POLLNVAL) return 10038;  // WSAENOTSOCK
  int pendingError = 0;
  if (readiness & POLLERR) {
    socklen_t length = sizeof pendingError;
    getsockopt(s, SOL_SOCKET, SO_ERROR, &pendingError, &length);
  }
  if (listening) {
    if (readiness & (POLLIN | POLLERR)) {
      events |= kFdAccept;
      if (pendingError != 0) errors[kAcceptBit] = CodeFromErrno(pendingError);
    }
    return 0;
  }
  // A connection: bytes to read (or the end of the stream, which the read
  // finds) make a read event; the peer's close or a failure makes a close
  // event carrying its code, as Winsock records them.
  if (readiness & POLLIN) events |= kFdRead;
  if (readiness & POLLERR) {
    events |= kFdClose;
    errors[kCloseBit] = pendingError != 0 ? CodeFromErrno(pendingError) : 0;
  } else if (readiness & (POLLHUP | POLLRDHUP)) {
    events |= kFdClose;
  }
  return 0;
}

uint32_t AcceptConnection(NativeSocket listener, AcceptConditionFunction condition, void* context,
                          NativeSocket& accepted, uint32_t& peerAddress, uint16_t& peerPort) {
  sockaddr_in peer = {};
  socklen_t length = sizeof peer;
  int s;
  do {
    s = accept4(Descriptor(listener), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  } while (s < 0 && errno == EINTR);
  if (s < 0) return LastCode();
  uint32_t address = peer.sin_family == AF_INET ? peer.sin_addr.s_addr : 0;
  if (!condition(context, address)) {
    // Refused as WSAAccept refuses: the peer sees its connection reset.
    linger abort = {1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(s);
    return kWsaEConnRefused;
  }
  accepted = static_cast<NativeSocket>(s);
  peerAddress = address;
  peerPort = peer.sin_family == AF_INET ? ntohs(peer.sin_port) : 0;
  return 0;
}

uint32_t Receive(NativeSocket socket, uint8_t* buffer, size_t capacity, size_t& received) {
  received = 0;
  ssize_t got;
  do {
    got = recv(Descriptor(socket), buffer, capacity, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return LastCode();
  received = static_cast<size_t>(got);
  return 0;
}

void ShutdownAndClose(NativeSocket socket) {
  int s = Descriptor(socket);
  shutdown(s, SHUT_RDWR);
  close(s);
}

uint32_t LookUpHostAddresses(std::vector<uint32_t>& list) {
  char name[500] = {};
  if (gethostname(name, sizeof name - 1) != 0) return LastCode();
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = getaddrinfo(name, nullptr, &hints, &found);
  if (result != 0) return CodeFromLookup(result);
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    list.push_back(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
  }
  freeaddrinfo(found);
  return 0;
}

bool SystemErrorMessage(uint32_t code, std::wstring& message) {
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.code != code) continue;
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may or may not be in buffer.
    const char* text = strerror_r(entry.error, buffer, sizeof buffer);
    if (text == nullptr || *text == '\0') return false;
    message = WideFromUtf8(text);
    return true;
  }
  return false;
}

}  // namespace event_socket_platform
