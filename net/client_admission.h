// Only the client speaks into a recording: of the connections to the audio
// ports, those whose owning process is known are taken when it is the client's
// process and closed unread otherwise. Where the system does not name the
// owner (wine names none), the event socket's rule for unknown owners holds: a
// further connection is held while the ones taken stream, as many as the
// client has calls in progress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "net/connection_owners.h"
#include "net/event_socket.h"

class ClientAdmission : public ConnectionAdmission {
 public:
  // clientProcess: the process of the client the link is attached to (0:
  // none). streams: how many of its calls send audio at once now.
  ClientAdmission(ConnectionOwners& owners, std::function<uint32_t()> clientProcess,
                  std::function<size_t()> streams)
      : owners_(owners), clientProcess_(std::move(clientProcess)), streams_(std::move(streams)) {}

  Verdict Judge(uint32_t peerAddress, uint16_t peerPort, uint16_t localPort) override;
  size_t Streams() override;

 private:
  ConnectionOwners& owners_;
  std::function<uint32_t()> clientProcess_;
  std::function<size_t()> streams_;
};
