// The hand-off through which a direction's receiving thread passes audio to that
// direction's writer thread, without the receiver ever waiting for the disk.
//
// Two blocks of 2 MiB: the handoff block and the overflow block. Each begins
// with a 32-bit header word, the count of audio bytes in bits 0-23 and the
// block's state in bits 24-31, followed by a data area of 2,097,148 bytes, of
// which at most 2,097,147 are used. The handoff block is Filling (the receiver
// appends), Ready (full, waiting for the writer) or Taken (the writer has taken
// it; its data are stale); the overflow block is always Filling.
//
// The receiver's common case, an append to a Filling block, is one copy and one
// compare-and-swap of the header word: the bytes are copied before the new
// header is published (release), and the writer reads the header with acquire
// before it reads the bytes. The rarer transitions (moving the overflow into the
// handoff block, appending to the overflow block, the writer taking data, the
// session's reset) are made under a small lock that is never held across a
// disk write, so the receiver waits at most for a memory copy. The writer copies
// what it takes into a buffer of its own before it writes it, so a reset at a
// resume can never change bytes that are being written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "common/direction.h"

constexpr size_t kHandoffBlockBytes = 2097152;
constexpr size_t kHandoffDataBytes = kHandoffBlockBytes - 4;  // 2,097,148
constexpr uint32_t kHandoffMaxCount = kHandoffDataBytes - 1;  // 2,097,147

enum HandoffState : uint32_t {
  Filling = 0x00,
  Ready = 0xFF,
  Taken = 0xFE,
};

constexpr uint32_t HeaderCount(uint32_t header) { return header & 0x00FFFFFFu; }
constexpr uint32_t HeaderState(uint32_t header) { return header >> 24; }
constexpr uint32_t MakeHeader(uint32_t state, uint32_t count) { return (state << 24) | (count & 0x00FFFFFFu); }

struct HandoffBlock {
  std::atomic<uint32_t> header{0};
  uint8_t data[kHandoffDataBytes];
};
static_assert(sizeof(HandoffBlock) == kHandoffBlockBytes, "a hand-off block is 2 MiB");

class StreamHandoff {
 public:
  StreamHandoff() = default;
  ~StreamHandoff();
  StreamHandoff(const StreamHandoff&) = delete;
  StreamHandoff& operator=(const StreamHandoff&) = delete;

  // Allocates the handoff block and then the overflow block, each only if it
  // is missing, cleared to zero. False when a block cannot be allocated.
  bool Allocate();
  bool IsAllocated() const;
  // Only when no receiver or writer uses the hand-off any more (at exit).
  void Free();

  // Empties both blocks: Filling with nothing in them. Audio the writer has
  // already taken is not affected.
  void Reset();

  // Receiver side: places n bytes by the hand-off's three rules.
  //  1. The handoff block is Filling and count + n < 2,097,148: the bytes are
  //     appended to it.
  //  2. It is Taken: the overflow block's contents become the handoff block's
  //     (Filling), the overflow block is emptied, and the bytes are appended as
  //     in rule 1 or dropped when they do not fit.
  //  3. Otherwise (Ready, or the bytes do not fit): the handoff block becomes
  //     Ready and the bytes are appended to the overflow block if its count + n
  //     stays below 2,097,148, else dropped.
  // One receiving thread per hand-off. Returns the number of bytes kept (n or 0).
  size_t Append(const uint8_t* data, size_t n);

  // Writer side. Each copies into `out` (room for kHandoffDataBytes) and
  // returns the number of bytes copied.
  //
  // A Ready handoff block: its data, after which it is Taken.
  size_t TakeReady(uint8_t* out);

  // What a pause or a stop must write, in stream order, in at most two pieces:
  // piece 0 is the handoff block's data if it is Filling or Ready (at a stop a
  // Filling block first becomes Ready, so the receiver no longer appends to it),
  // piece 1 the overflow block's data, which is empty unless the handoff block
  // was Ready or Taken. Piece 1 is taken only after piece 0 has been written and
  // comes back empty when a reset came between the two.
  struct Pending {
    bool withOverflow = false;
    uint64_t generation = 0;
  };
  size_t TakePendingHandoff(uint8_t* out, bool stopping, Pending& pending);
  size_t TakePendingOverflow(uint8_t* out, const Pending& pending);

  // For tests and diagnostics: the header words as they are now.
  uint32_t HandoffHeader() const;
  uint32_t OverflowHeader() const;

 private:
  bool AppendToHandoff(const uint8_t* data, size_t n);

  // Set once by Allocate, which may run while the receiver already appends.
  std::atomic<HandoffBlock*> handoff_{nullptr};
  std::atomic<HandoffBlock*> overflow_{nullptr};
  std::mutex mutex_;          // the transitions other than rule 1
  uint64_t generation_ = 0;   // counts resets, under mutex_
};

// The per-direction flags of a recording, 32-bit words polled by the writer.
struct WriterFlags {
  std::atomic<uint32_t> pause{0};       // set by the session's pause
  std::atomic<uint32_t> pauseNoted{0};  // set by the writer once it has flushed for the pause
  std::atomic<uint32_t> stop{0};        // set by the finishing sequence
  // Counts the pauses and is never cleared. The writer flushes once for each
  // pause it sees by this count, not by pauseNoted: a resume clears the flags
  // while the writer may still be flushing for the pause before, and a
  // pauseNoted it sets after that clear must not make it skip the next pause.
  std::atomic<uint32_t> pauseRequests{0};
  // The pauseRequests value the writer last flushed for: the pending audio of
  // the latest pause is on disk when the two are equal.
  std::atomic<uint32_t> pauseFlushed{0};

  void RequestPause() {
    pauseRequests.fetch_add(1);
    pause.store(1);
  }
  void Clear() {
    pause.store(0);
    pauseNoted.store(0);
    stop.store(0);
  }
};

// The two process-wide hand-offs, Out and In, from start-up to exit.
StreamHandoff& HandoffOf(Direction direction);

// Makes sure the four blocks exist (Out handoff, Out overflow, In handoff, In
// overflow, in this order, each only if missing). When a block cannot be
// allocated the message box "allocate stream buf fail" is shown, once per call,
// and the result is false: a hand-off with a missing block must not be used.
bool AllocateHandoffs();
// Empties both hand-offs (at every start and resume of a recording).
void ResetHandoffs();
void FreeHandoffs();

// Fault injection for tests: the next `count` block allocations fail.
void FailNextHandoffAllocations(int count);
