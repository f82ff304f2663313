// The owners of TCP connections from the IP helper's table. Each loopback
// connection appears twice in it: once as the peer's socket (local end the
// peer's port, remote end our listening port) and once as ours; the peer's row
// is the one whose local end is the peer.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

#include "net/connection_owners.h"
#include "platform/debug_trace.h"

namespace {

// The table's ports are in network byte order in the low 16 bits of a DWORD.
uint16_t PortOf(DWORD tablePort) { return ntohs(static_cast<u_short>(tablePort & 0xFFFF)); }

class IpHelperOwners : public ConnectionOwners {
 public:
  ConnectionOwner Find(uint32_t peerAddress, uint16_t peerPort, uint16_t localPort) override {
    ConnectionOwner owner;
    std::vector<unsigned char> buffer(sizeof(MIB_TCPTABLE_OWNER_PID) + 64 * sizeof(MIB_TCPROW_OWNER_PID));
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the two calls; a few rounds settle it.
    for (int round = 0; round < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++round) {
      DWORD size = static_cast<DWORD>(buffer.size());
      result = GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
      if (result == ERROR_INSUFFICIENT_BUFFER) buffer.resize(size + 16 * sizeof(MIB_TCPROW_OWNER_PID));
    }
    if (result != NO_ERROR) {
      DebugTrace(L"The table of TCP connections could not be read: %u", {static_cast<unsigned>(result)});
      return owner;
    }
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = table->table[i];
      if (row.dwLocalAddr == peerAddress && PortOf(row.dwLocalPort) == peerPort &&
          PortOf(row.dwRemotePort) == localPort) {
        owner.listed = true;
        owner.process = row.dwOwningPid;
        break;
      }
    }
    return owner;
  }
};

}  // namespace

std::unique_ptr<ConnectionOwners> MakeSystemConnectionOwners() { return std::make_unique<IpHelperOwners>(); }
