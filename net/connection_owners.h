// Who is at the other end of an accepted connection: the system's table of TCP
// connections with the process that owns each end (Windows:
// GetExtendedTcpTable with TCP_TABLE_OWNER_PID_CONNECTIONS), behind a seam that
// tests replace with a table of their own.
#pragma once

#include <cstdint>
#include <memory>

// The peer's end of one connection as the table lists it.
struct ConnectionOwner {
  bool listed = false;   // the table holds the connection
  uint32_t process = 0;  // its owning process; 0 when the table does not say (wine says 0 for all)
};

class ConnectionOwners {
 public:
  virtual ~ConnectionOwners() = default;
  // The end bound at peerAddress:peerPort (address in network byte order,
  // port in host order) of a connection to localPort on this machine.
  virtual ConnectionOwner Find(uint32_t peerAddress, uint16_t peerPort, uint16_t localPort) = 0;
};

// The system's table; off Windows one that lists nothing.
std::unique_ptr<ConnectionOwners> MakeSystemConnectionOwners();
