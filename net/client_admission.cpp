#include "net/client_admission.h"

#include <algorithm>

#include "platform/debug_trace.h"

ConnectionAdmission::Verdict ClientAdmission::Judge(uint32_t peerAddress, uint16_t peerPort, uint16_t localPort) {
  const ConnectionOwner owner = owners_.Find(peerAddress, peerPort, localPort);
  if (!owner.listed || owner.process == 0) return Verdict::Unknown;
  const uint32_t client = clientProcess_ ? clientProcess_() : 0;
  if (owner.process == client) return Verdict::Take;
  // No client attached, or another process: nobody else sends audio here.
  DebugTrace(L"Port %u: the connection from port %u belongs to process %u, the client is %u",
             {static_cast<unsigned>(localPort), static_cast<unsigned>(peerPort), owner.process, client});
  return Verdict::Refuse;
}

size_t ClientAdmission::Streams() { return std::max<size_t>(1, streams_ ? streams_() : 1); }
