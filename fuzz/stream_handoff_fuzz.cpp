// Drives one hand-off with an arbitrary sequence of receiver appends, writer
// takes (of a Ready block, of a filling block ahead of time, of what a stop
// leaves) and session resets, and checks it against the simplest model: what
// the writer takes is exactly, and in order, what Append kept since the last
// reset that came before the writer took it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "record/stream_handoff.h"

namespace {
StreamHandoff& Handoff() {
  static StreamHandoff* handoff = [] {
    auto* h = new StreamHandoff();
    h->Allocate();
    return h;
  }();
  return *handoff;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StreamHandoff& handoff = Handoff();
  handoff.Reset();
  // Byte k of the stream is k mod 251: any run of it starts at pattern + (k mod 251).
  static std::unique_ptr<uint8_t[]> pattern = [] {
    std::unique_ptr<uint8_t[]> p(new uint8_t[kHandoffDataBytes + 2 * 251 + 65535u * 33]);
    for (size_t k = 0; k < kHandoffDataBytes + 2 * 251 + 65535u * 33; ++k) p[k] = static_cast<uint8_t>(k % 251);
    return p;
  }();
  std::string kept, taken;  // one byte per appended byte: its position mod 251
  uint32_t position = 0;
  // Each piece is checked as it is taken: it must continue what was kept.
  auto take = [&](const StreamHandoff::Piece& piece) {
    const char* bytes = reinterpret_cast<const char*>(piece.data());
    size_t n = piece.size();
    if (taken.size() + n > kept.size() || (n != 0 && kept.compare(taken.size(), n, bytes, n) != 0)) abort();
    taken.append(bytes, n);
    handoff.Done(piece);
  };
  // At most 256 operations an input, so that each run stays short.
  for (size_t i = 0; i + 3 <= size && i < 3 * 256; i += 3) {
    uint32_t op = data[i] % 8;
    if (op == 7 && data[i] % 32 != 31) op = 0;  // whole blocks only now and then
    // Sizes up to past a whole block, weighted towards the small chunks a
    // receiver sees.
    uint32_t n = (static_cast<uint32_t>(data[i + 1]) << 8 | data[i + 2]);
    if (op == 7) n = n * 33;  // up to about 2.1 MB
    if (op <= 3 || op == 7) {
      const uint8_t* source = pattern.get() + position % 251;
      size_t got = handoff.Append(source, n);
      if (got != 0 && got != n) abort();
      if (got == n) kept.append(reinterpret_cast<const char*>(source), n);
      position += n;
    } else if (op == 4) {
      take(handoff.TakeReady());
    } else if (op == 5) {
      // A stop: everything kept so far must now be taken, and nothing else.
      StreamHandoff::Pending pending;
      take(handoff.TakePendingHandoff(true, pending));
      take(handoff.TakePendingOverflow(pending));
      if (taken.size() != kept.size()) abort();
      handoff.Reset();
      kept.clear();
      taken.clear();
    } else if (n % 2 == 1) {
      take(handoff.TakeFilling());
    } else {
      handoff.Reset();
      kept.clear();
      taken.clear();
    }
    uint32_t header = handoff.HandoffHeader();
    if (HeaderCount(header) > kHandoffMaxCount || HeaderCount(handoff.OverflowHeader()) > kHandoffMaxCount) abort();
    uint32_t state = HeaderState(header);
    if (state != Filling && state != Ready && state != Taken) abort();
  }
  return 0;
}
