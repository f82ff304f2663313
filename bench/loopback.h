// A plain listening socket on 127.0.0.1 and a free port, for the bare loops
// the benchmarks compare the audio servers with.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace bench {

// The listening descriptor with its port, or -1.
inline int ListenOnLoopback(int backlog, uint16_t& port) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(listener, backlog) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    if (listener >= 0) close(listener);
    return -1;
  }
  port = ntohs(local.sin_port);
  return listener;
}

}  // namespace bench
