#include "tests/net/test_peer.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace {

#ifdef _WIN32
constexpr int kSendFlags = 0;
using RawSocket = SOCKET;
struct SocketsStarted {
  SocketsStarted() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};
void EnsureSockets() { static SocketsStarted started; }
void CloseRaw(RawSocket s) { closesocket(s); }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
void SetNonBlocking(RawSocket s, bool on) {
  u_long mode = on ? 1 : 0;
  ioctlsocket(s, FIONBIO, &mode);
}
#else
// A peer that the server dropped gets an error from send, not a SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
using RawSocket = int;
void EnsureSockets() {}
void CloseRaw(RawSocket s) { close(s); }
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
void SetNonBlocking(RawSocket s, bool on) {
  int flags = fcntl(s, F_GETFL, 0);
  fcntl(s, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}
#endif

RawSocket Raw(intptr_t s) { return static_cast<RawSocket>(s); }

uint32_t NextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

}  // namespace

TestPeer::TestPeer() { EnsureSockets(); }

TestPeer::~TestPeer() { Close(); }

uint16_t TestPeer::Bind() {
  Close();
  RawSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
#ifdef _WIN32
  if (s == INVALID_SOCKET) return 0;
#else
  if (s < 0) return 0;
#endif
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &local.sin_addr);
  sockaddr_in bound = {};
  socklen_t length = sizeof bound;
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    CloseRaw(s);
    return 0;
  }
  bound_ = static_cast<intptr_t>(s);
  return ntohs(bound.sin_port);
}

bool TestPeer::Connect(uint16_t port, const char* address) {
  RawSocket s = Raw(bound_);
  bound_ = kNone;
  Close();
#ifdef _WIN32
  if (s == INVALID_SOCKET) s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return false;
#else
  if (s < 0) s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return false;
#endif
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  inet_pton(AF_INET, address, &to.sin_addr);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    CloseRaw(s);
    return false;
  }
  socket_ = static_cast<intptr_t>(s);
  return true;
}

bool TestPeer::SendAll(const std::string& bytes) {
  if (socket_ == kNone) return false;
  size_t sent = 0;
  while (sent < bytes.size()) {
    size_t piece = std::min<size_t>(bytes.size() - sent, 1 << 20);
    int n = static_cast<int>(send(Raw(socket_), bytes.data() + sent, static_cast<int>(piece), kSendFlags));
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

size_t TestPeer::SendUntilFull(const std::string& bytes) {
  if (socket_ == kNone) return 0;
  SetNonBlocking(Raw(socket_), true);
  size_t sent = 0;
  while (sent < bytes.size()) {
    size_t piece = std::min<size_t>(bytes.size() - sent, 65536);
    int n = static_cast<int>(send(Raw(socket_), bytes.data() + sent, static_cast<int>(piece), kSendFlags));
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  SetNonBlocking(Raw(socket_), false);
  return sent;
}

void TestPeer::Close() {
  if (bound_ != kNone) {
    CloseRaw(Raw(bound_));
    bound_ = kNone;
  }
  if (socket_ == kNone) return;
  CloseRaw(Raw(socket_));
  socket_ = kNone;
}

void TestPeer::Reset() {
  if (socket_ == kNone) return;
  linger abort = {};
  abort.l_onoff = 1;
  abort.l_linger = 0;
  setsockopt(Raw(socket_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
  Close();
}

bool TestPeer::WaitDroppedByServer(std::chrono::milliseconds deadline) {
  if (socket_ == kNone) return true;
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Raw(socket_), &readable);
    timeval step = {0, 20000};
    int ready = select(static_cast<int>(Raw(socket_) + 1), &readable, nullptr, nullptr, &step);
    if (ready > 0) {
      char byte;
      int n = static_cast<int>(recv(Raw(socket_), &byte, 1, 0));
      if (n <= 0) return true;  // the end of the stream or a reset
    } else if (ready < 0 && !WouldBlock()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
  }
}

uint32_t OutwardLocalAddress() {
  EnsureSockets();
  // A datagram socket "connected" to an outside address picks the interface a
  // packet would leave by; nothing is sent.
  RawSocket s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  inet_pton(AF_INET, "192.0.2.1", &to.sin_addr);
  uint32_t address = 0;
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    sockaddr_in local = {};
#ifdef _WIN32
    int length = sizeof local;
#else
    socklen_t length = sizeof local;
#endif
    if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0) address = local.sin_addr.s_addr;
  }
  CloseRaw(s);
  uint8_t bytes[4];
  std::memcpy(bytes, &address, 4);
  if (bytes[0] == 127) return 0;
  return address;
}

std::string DottedAddress(uint32_t networkOrderAddress) {
  uint8_t b[4];
  std::memcpy(b, &networkOrderAddress, 4);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

std::string TaggedStream(unsigned id, size_t length) {
  std::string bytes(length, '\0');
  uint32_t state = 0x9E3779B9u ^ (id * 0x85EBCA6Bu) ^ 1u;
  uint32_t bits = 0;
  for (size_t i = 0; i < length; ++i) {
    if (i % 16 == 0) bits = NextRandom(state);
    bytes[i] = static_cast<char>(((id & 63u) << 2) | ((bits >> ((i % 16) * 2)) & 3u));
  }
  return bytes;
}

std::string RandomBytes(uint32_t seed, size_t length) {
  std::string bytes(length, '\0');
  uint32_t state = seed * 2654435761u + 1u;
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(NextRandom(state) >> 24);
  return bytes;
}

void TaggedSink::operator()(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++chunks_;
  total_ += n;
  if (n == 0) return;
  unsigned id = data[0] >> 2;
  bool mixed = false;
  for (size_t i = 0; i < n; ++i) {
    unsigned byteId = data[i] >> 2;
    if (byteId != id) mixed = true;
    streams_[byteId].push_back(static_cast<char>(data[i]));
  }
  if (mixed) ++mixed_;
}

std::string TaggedSink::streamOf(unsigned id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return streams_[id & 63u];
}

size_t TaggedSink::total() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_;
}

size_t TaggedSink::chunks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return chunks_;
}

size_t TaggedSink::mixedChunks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mixed_;
}

void CollectingSink::operator()(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  bytes_.append(reinterpret_cast<const char*>(data), n);
}

std::string CollectingSink::bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

size_t CollectingSink::total() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_.size();
}
