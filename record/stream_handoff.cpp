#include "record/stream_handoff.h"

#include <cstring>
#include <new>

namespace {

bool Fits(uint32_t count, size_t n) { return n < kHandoffDataBytes && count + n < kHandoffDataBytes; }
}  // namespace

StreamHandoff::~StreamHandoff() { Free(); }

HandoffBlock* StreamHandoff::NewBlock() {
  for (int left = failingAllocations_.load(); left > 0; left = failingAllocations_.load())
    if (failingAllocations_.compare_exchange_weak(left, left - 1)) return nullptr;
  // Value-initialised: the header and the whole data area are zero.
  return new (std::nothrow) HandoffBlock();
}

bool StreamHandoff::Allocate() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!handoff_.load()) handoff_.store(NewBlock());
  if (!overflow_.load()) overflow_.store(NewBlock());
  if (!bounce_) bounce_.reset(new (std::nothrow) uint8_t[kReceiveRoomBytes]);
  return IsAllocated();
}

bool StreamHandoff::IsAllocated() const { return handoff_.load() && overflow_.load(); }

void StreamHandoff::Free() {
  std::lock_guard<std::mutex> lock(mutex_);
  delete handoff_.exchange(nullptr);
  delete overflow_.exchange(nullptr);
}

void StreamHandoff::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated()) return;
  // Only the header words say what a block holds: bytes beyond a count are
  // never read, and the receiver may be copying into the data area right now.
  // A block being written must not be filled again before the writer is done
  // with it: Ready with no data sends the receiver to the overflow block, and
  // an overflow block being written takes nothing until then.
  handoff_.load()->header.store(MakeHeader(busy_ == Piece::kNone || busy_ == Piece::kOverflow ? Filling : Ready, 0),
                                std::memory_order_release);
  overflow_.load()->header.store(MakeHeader(Filling, 0), std::memory_order_release);
  overflowHeld_ = busy_ == Piece::kOverflow;
  written_ = 0;
  ++generation_;
  // A writer that waits for audio waits for the first byte of the new audio.
  if (wakeAt_.load() != kNoWake) wakeAt_.store(1);
}

void StreamHandoff::SetWriterWake(WriterWake* wake) { wake_.store(wake); }

void StreamHandoff::WakeWriter() {
  if (WriterWake* wake = wake_.load()) wake->Notify();
}

void StreamHandoff::WakeWriterAt(uint32_t count) {
  // Sequentially consistent with the writer's ArmWake: either the writer sees
  // the new count, or this sees what it armed.
  uint32_t at = wakeAt_.load();
  if (count >= at && wakeAt_.compare_exchange_strong(at, kNoWake)) WakeWriter();
}

bool StreamHandoff::AppendToHandoff(const uint8_t* data, size_t n) {
  HandoffBlock* block = handoff_.load();
  uint32_t header = block->header.load(std::memory_order_acquire);
  for (;;) {
    uint32_t count = HeaderCount(header);
    if (HeaderState(header) != Filling || !Fits(count, n)) return false;
    if (n > 0) std::memcpy(block->data + count, data, n);
    // Published only if nobody changed the header meanwhile (a reset, or the
    // writer making the block Ready at a stop); otherwise look again.
    if (block->header.compare_exchange_weak(header, MakeHeader(Filling, count + static_cast<uint32_t>(n)),
                                            std::memory_order_seq_cst, std::memory_order_acquire)) {
      WakeWriterAt(count + static_cast<uint32_t>(n));
      return true;
    }
  }
}

size_t StreamHandoff::Append(const uint8_t* data, size_t n) {
  if (!IsAllocated()) return 0;
  if (AppendToHandoff(data, n)) return n;  // rule 1, without the lock
  std::lock_guard<std::mutex> lock(mutex_);
  return AppendLocked(data, n);
}

uint8_t* StreamHandoff::ReceiveSpace(size_t bytes) {
  HandoffBlock* block = handoff_.load();
  if (!block || !bounce_ || bytes > kReceiveRoomBytes) return nullptr;
  uint32_t header = block->header.load(std::memory_order_acquire);
  if (HeaderState(header) != Filling || !Fits(HeaderCount(header), bytes)) return nullptr;
  // Behind the count: neither the writer nor a reset touches it.
  return block->data + HeaderCount(header);
}

size_t StreamHandoff::CommitReceived(uint8_t* space, size_t n) {
  HandoffBlock* block = handoff_.load();
  if (!block || n == 0) return 0;
  const uint32_t offset = static_cast<uint32_t>(space - block->data);
  uint32_t expected = MakeHeader(Filling, offset);
  // Published as rule 1 publishes, unless the block changed while the bytes
  // came in: a reset or a stop. Then they are placed as any others would be,
  // from a copy, since a move of the overflow could land on them.
  if (block->header.compare_exchange_strong(expected, MakeHeader(Filling, offset + static_cast<uint32_t>(n)),
                                            std::memory_order_seq_cst, std::memory_order_acquire)) {
    WakeWriterAt(offset + static_cast<uint32_t>(n));
    return n;
  }
  std::memcpy(bounce_.get(), space, n);
  return Append(bounce_.get(), n);
}

size_t StreamHandoff::AppendLocked(const uint8_t* data, size_t n) {
  HandoffBlock* handoff = handoff_.load();
  HandoffBlock* overflow = overflow_.load();
  for (;;) {
    uint32_t header = handoff->header.load(std::memory_order_acquire);
    uint32_t state = HeaderState(header), count = HeaderCount(header);
    if (state == Filling && Fits(count, n)) {
      // A reset came meanwhile; the writer may still make the block Ready.
      if (AppendToHandoff(data, n)) return n;
      continue;
    }

    if (state == Taken) {
      // Rule 2: the overflow's contents move to the front of the handoff block.
      uint32_t moved = MoveOverflowLocked();
      if (!Fits(moved, n)) {
        handoff->header.store(MakeHeader(Filling, moved), std::memory_order_seq_cst);
        WakeWriterAt(moved);
        return 0;
      }
      if (n > 0) std::memcpy(handoff->data + moved, data, n);
      handoff->header.store(MakeHeader(Filling, moved + static_cast<uint32_t>(n)), std::memory_order_seq_cst);
      WakeWriterAt(moved + static_cast<uint32_t>(n));
      return n;
    }

    // Rule 3: the handoff block is (or now becomes) Ready; the bytes go to the
    // overflow block if they fit there.
    if (state == Filling) {
      handoff->header.store(MakeHeader(Ready, count), std::memory_order_release);
      WakeWriter();
    }
    uint32_t used = HeaderCount(overflow->header.load(std::memory_order_acquire));
    if (overflowHeld_ || !Fits(used, n)) return 0;
    if (n > 0) std::memcpy(overflow->data + used, data, n);
    overflow->header.store(MakeHeader(Filling, used + static_cast<uint32_t>(n)), std::memory_order_release);
    return n;
  }
}

uint32_t StreamHandoff::MoveOverflowLocked() {
  HandoffBlock* handoff = handoff_.load();
  HandoffBlock* overflow = overflow_.load();
  uint32_t moved = HeaderCount(overflow->header.load(std::memory_order_acquire));
  std::memcpy(handoff->data, overflow->data, moved);
  overflow->header.store(MakeHeader(Filling, 0), std::memory_order_release);
  written_ = 0;
  return moved;
}

void StreamHandoff::MoveOverflowForward() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated() || busy_ != Piece::kNone) return;
  HandoffBlock* handoff = handoff_.load();
  if (HeaderState(handoff->header.load(std::memory_order_acquire)) != Taken ||
      HeaderCount(overflow_.load()->header.load(std::memory_order_acquire)) == 0)
    return;
  // While the block is Taken the receiver reaches either block only under the
  // lock, so the move is the one its next append would have made.
  uint32_t moved = MoveOverflowLocked();
  handoff->header.store(MakeHeader(Filling, moved), std::memory_order_seq_cst);
}

StreamHandoff::Piece StreamHandoff::PieceOf(Piece::Kind kind, HandoffBlock* block, uint32_t begin, uint32_t end) {
  Piece piece;
  piece.kind_ = kind;
  piece.generation_ = generation_;
  piece.end_ = end;
  if (end > begin) {
    piece.data_ = block->data + begin;
    piece.size_ = end - begin;
  }
  busy_ = kind == Piece::kOverflow ? Piece::kOverflow : Piece::kHandoff;
  return piece;
}

StreamHandoff::Piece StreamHandoff::TakeReady() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated()) return Piece();
  uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
  if (HeaderState(header) != Ready) return Piece();
  // While the block is Ready the receiver does not touch it.
  uint32_t count = HeaderCount(header);
  return PieceOf(Piece::kReady, handoff_.load(), written_ < count ? written_ : count, count);
}

StreamHandoff::Piece StreamHandoff::TakeFilling() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated()) return Piece();
  uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
  // The receiver appends behind the count: what lies before it stays put.
  if (HeaderState(header) != Filling || HeaderCount(header) <= written_) return Piece();
  return PieceOf(Piece::kHandoff, handoff_.load(), written_, HeaderCount(header));
}

StreamHandoff::Piece StreamHandoff::TakePendingHandoff(bool stopping, Pending& pending) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending = Pending{};
  if (!IsAllocated()) return Piece();
  pending.generation = generation_;
  HandoffBlock* handoff = handoff_.load();
  uint32_t header = handoff->header.load(std::memory_order_acquire);
  switch (HeaderState(header)) {
    case Filling:
      if (stopping) {
        // Ready first, so that the receiver no longer appends to the block
        // while it is written; what arrives meanwhile goes to the overflow.
        while (HeaderState(header) == Filling &&
               !handoff->header.compare_exchange_weak(header, MakeHeader(Ready, HeaderCount(header)),
                                                      std::memory_order_acq_rel, std::memory_order_acquire)) {
        }
      }
      // At a pause the overflow is empty now, and what reaches it later
      // belongs to the pause.
      pending.withOverflow = stopping;
      break;
    case Ready:
      pending.withOverflow = true;
      break;
    default:  // Taken: nothing of the block is pending. Ready with no data
              // keeps the receiver from moving the overflow away before it is
              // written; its new audio goes behind the overflow's.
      handoff->header.store(MakeHeader(Ready, 0), std::memory_order_release);
      written_ = 0;
      pending.withOverflow = true;
      return PieceOf(Piece::kHandoff, handoff, 0, 0);
  }
  uint32_t count = HeaderCount(header);
  return PieceOf(Piece::kHandoff, handoff, written_ < count ? written_ : count, count);
}

StreamHandoff::Piece StreamHandoff::TakePendingOverflow(const Pending& pending) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated() || !pending.withOverflow || pending.generation != generation_) return Piece();
  // The receiver appends behind the count, and cannot move the overflow away
  // while the handoff block is Ready.
  uint32_t count = HeaderCount(overflow_.load()->header.load(std::memory_order_acquire));
  return PieceOf(Piece::kOverflow, overflow_.load(), 0, count);
}

void StreamHandoff::Done(const Piece& piece) {
  if (piece.kind_ == Piece::kNone) return;
  std::lock_guard<std::mutex> lock(mutex_);
  busy_ = Piece::kNone;
  overflowHeld_ = false;
  // After a reset the piece's bytes belonged to the audio before it; the
  // blocks hold other audio now.
  if (piece.generation_ != generation_ || !IsAllocated()) return;
  if (piece.kind_ == Piece::kReady) {
    handoff_.load()->header.store(MakeHeader(Taken, piece.end_), std::memory_order_release);
    written_ = 0;
  } else if (piece.kind_ == Piece::kHandoff) {
    written_ = piece.end_;
  }
}

uint32_t StreamHandoff::Unwritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated()) return 0;
  uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
  return HeaderState(header) == Filling && HeaderCount(header) > written_ ? HeaderCount(header) - written_ : 0;
}

bool StreamHandoff::ArmWake(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated()) return true;
  const uint32_t at = written_ + bytes;
  auto work = [&] {
    uint32_t header = handoff_.load()->header.load(std::memory_order_seq_cst);
    return HeaderState(header) == Ready || (HeaderState(header) == Filling && HeaderCount(header) >= at);
  };
  if (work()) return false;
  wakeAt_.store(at);
  // An append published just before: its receiver may have missed the wake.
  if (!work()) return true;
  wakeAt_.store(kNoWake);
  return false;
}

void StreamHandoff::DisarmWake() { wakeAt_.store(kNoWake); }

uint32_t StreamHandoff::HandoffHeader() const {
  HandoffBlock* block = handoff_.load();
  return block ? block->header.load(std::memory_order_acquire) : 0;
}

uint32_t StreamHandoff::OverflowHeader() const {
  HandoffBlock* block = overflow_.load();
  return block ? block->header.load(std::memory_order_acquire) : 0;
}
