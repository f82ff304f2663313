// The hand-off through which a direction's receiving thread passes audio to that
// direction's writer thread, without the receiver ever waiting for the disk.
//
// Two blocks of 2 MiB: the handoff block and the overflow block. Each begins
// with a 32-bit header word, the count of audio bytes in bits 0-23 and the
// block's state in bits 24-31, followed by a data area of 2,097,148 bytes, of
// which at most 2,097,147 are used. The handoff block is Filling (the receiver
// appends), Ready (full, waiting for the writer) or Taken (the writer has
// written it; its data are stale); the overflow block is always Filling.
//
// The receiver's common case, an append to a Filling block, is one copy and one
// compare-and-swap of the header word: the bytes are copied before the new
// header is published, and the writer reads the header before it reads the
// bytes. The rarer transitions (moving the overflow into the handoff block,
// appending to the overflow block, the writer taking a piece, the session's
// reset) are made under a small lock that is never held across a disk write,
// so the receiver waits at most for a memory copy.
//
// The writer writes straight from the blocks: it takes a piece (a stretch of a
// block that is complete), writes it without the lock, and then hands it back.
// Meanwhile the receiver appends only behind the piece or to the other block,
// and a reset, which empties the blocks, sends the receiver to the block the
// writer is not reading, so the bytes being written never change.
//
// The hand-off wakes its writer (WriterWake) when a block becomes Ready, and
// when the audio not yet written in the Filling block reaches the amount the
// writer asked to be woken for (its first byte, when the writer has written
// everything there was).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/direction.h"
#include "record/writer_wake.h"

constexpr size_t kHandoffBlockBytes = 2097152;
constexpr size_t kHandoffDataBytes = kHandoffBlockBytes - 4;  // 2,097,148
constexpr uint32_t kHandoffMaxCount = kHandoffDataBytes - 1;  // 2,097,147
// The most a receiver asks room for at a time (one read).
constexpr size_t kReceiveRoomBytes = 65536;

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
  // Fault injection for tests: the next `count` block allocations fail.
  void FailNextAllocations(int count) { failingAllocations_.store(count); }

  // Empties both blocks: Filling with nothing in them. A piece the writer is
  // writing is not affected: while it is being written the receiver is sent to
  // the other block (the handoff block is then left Ready with no data).
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

  // The receiver's way without a copy: room in the Filling handoff block where
  // the receiver may put up to `bytes` bytes itself (a receive call writes them
  // there), or null when that many might not fit (or `bytes` is more than
  // kReceiveRoomBytes): then the receiver appends them from a buffer of its own.
  uint8_t* ReceiveSpace(size_t bytes);
  // The receiver put n bytes into the room ReceiveSpace gave: they are kept or
  // dropped as Append would keep or drop them. Returns the bytes kept.
  size_t CommitReceived(uint8_t* space, size_t n);

  // The writer to wake; set by the writer when it starts.
  void SetWriterWake(WriterWake* wake);

  // Writer side. A piece is a stretch of a block to be written as it stands;
  // every piece taken (empty or not) is handed back with Done once written.
  class Piece {
   public:
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

   private:
    friend class StreamHandoff;
    enum Kind : uint8_t { kNone, kReady, kHandoff, kOverflow };
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    Kind kind_ = kNone;
    uint32_t end_ = 0;         // where the piece ends in its block
    uint64_t generation_ = 0;  // the resets before it was taken
  };

  // A Ready handoff block: what of it is not yet written. Done makes the
  // block Taken. Empty when the block is not Ready.
  Piece TakeReady();
  // What a Filling handoff block holds that is not yet written, for audio to
  // reach the file before the block is full. Done counts it as written.
  Piece TakeFilling();

  // What a pause or a stop must write, in stream order, in at most two pieces.
  // The first is what of the handoff block is not yet written if it is Filling
  // or Ready (at a stop a Filling block first becomes Ready, so the receiver no
  // longer appends to it). The second is the overflow block's data, which is
  // empty unless the handoff block was Ready or Taken; it is taken only after
  // the first piece is done, and comes back empty when a reset came between.
  struct Pending {
    bool withOverflow = false;
    uint64_t generation = 0;
  };
  Piece TakePendingHandoff(bool stopping, Pending& pending);
  Piece TakePendingOverflow(const Pending& pending);

  void Done(const Piece& piece);

  // Rule 2 made by the writer: a Taken block receives what spilled into the
  // overflow while it was Ready, so that this audio reaches the file without
  // waiting for the receiver's next append (none may come for a long while:
  // the call goes quiet, or it was the last audio before a crash). Nothing
  // happens unless the block is Taken and the overflow holds audio.
  void MoveOverflowForward();

  // Bytes of the Filling handoff block that are not yet written (0 when the
  // block is not Filling).
  uint32_t Unwritten();
  // The writer is about to sleep: the receiver is to wake it once `bytes` are
  // not yet written in the Filling block (it is woken for a Ready block in any
  // case). False, with nothing armed, when that is so already or the block is
  // Ready: the writer has work instead.
  bool ArmWake(uint32_t bytes);
  // The writer sleeps for other reasons (a pause): audio wakes it no longer.
  void DisarmWake();

  // For tests and diagnostics: the header words as they are now.
  uint32_t HandoffHeader() const;
  uint32_t OverflowHeader() const;

 private:
  HandoffBlock* NewBlock();
  bool AppendToHandoff(const uint8_t* data, size_t n);
  size_t AppendLocked(const uint8_t* data, size_t n);
  uint32_t MoveOverflowLocked();
  Piece PieceOf(Piece::Kind kind, HandoffBlock* block, uint32_t begin, uint32_t end);
  void WakeWriter();
  void WakeWriterAt(uint32_t count);

  // Set once by Allocate, which may run while the receiver already appends.
  std::atomic<HandoffBlock*> handoff_{nullptr};
  std::atomic<HandoffBlock*> overflow_{nullptr};
  std::atomic<WriterWake*> wake_{nullptr};
  // The handoff block's count at which the receiver wakes the writer.
  static constexpr uint32_t kNoWake = 0xFFFFFFFFu;
  std::atomic<uint32_t> wakeAt_{kNoWake};
  std::atomic<int> failingAllocations_{0};

  std::mutex mutex_;          // the transitions other than rule 1
  uint64_t generation_ = 0;   // counts resets
  uint32_t written_ = 0;      // bytes of the handoff block's present contents already written
  Piece::Kind busy_ = Piece::kNone;  // the block a piece is being written from
  bool overflowHeld_ = false; // a reset came while the overflow was being written
  // Where received bytes go when the block changed while they came in.
  std::unique_ptr<uint8_t[]> bounce_;
};
