// What an audio server hands its bytes to: the direction's hand-off. A read
// lands straight in the hand-off's block when the block has room for a whole
// read; otherwise it is read into the server's buffer and appended. Either way
// the bytes are kept or dropped by the hand-off's rules.
#pragma once

#include <atomic>

#include "net/event_socket.h"
#include "record/stream_handoff.h"

//
// While the computer's sound is the source, its capture threads fill the
// hand-offs and whatever reaches the ports is dropped: a hand-off has one
// filler.
class HandoffTarget : public ChunkTarget {
 public:
  explicit HandoffTarget(StreamHandoff& handoff) : handoff_(handoff) {}

  void SetOpen(bool open) { open_.store(open); }

  uint8_t* ReceiveSpace() override { return open_.load() ? handoff_.ReceiveSpace(kReceiveBufferSize) : nullptr; }
  void Received(uint8_t* space, size_t n) override { handoff_.CommitReceived(space, n); }
  void Take(const uint8_t* data, size_t n) override {
    if (open_.load()) handoff_.Append(data, n);
  }

 private:
  StreamHandoff& handoff_;
  std::atomic<bool> open_{true};
};
