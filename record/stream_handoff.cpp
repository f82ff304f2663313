#include "record/stream_handoff.h"

#include <cstring>
#include <new>

#include "platform/message_box.h"

namespace {
StreamHandoff handoffs[2];
std::atomic<int> failingAllocations{0};

HandoffBlock* NewBlock() {
  for (int left = failingAllocations.load(); left > 0; left = failingAllocations.load())
    if (failingAllocations.compare_exchange_weak(left, left - 1)) return nullptr;
  // Value-initialised: the header and the whole data area are zero.
  return new (std::nothrow) HandoffBlock();
}
}  // namespace

StreamHandoff::~StreamHandoff() { Free(); }

bool StreamHandoff::Allocate() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!handoff_.load()) handoff_.store(NewBlock());
  if (!overflow_.load()) overflow_.store(NewBlock());
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
  handoff_.load()->header.store(MakeHeader(Filling, 0), std::memory_order_release);
  overflow_.load()->header.store(MakeHeader(Filling, 0), std::memory_order_release);
  ++generation_;
}

bool StreamHandoff::AppendToHandoff(const uint8_t* data, size_t n) {
  uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
  for (;;) {
    uint32_t count = HeaderCount(header);
    if (HeaderState(header) != Filling || n >= kHandoffDataBytes || count + n >= kHandoffDataBytes) return false;
    if (n > 0) std::memcpy(handoff_.load()->data + count, data, n);
    // Published only if nobody changed the header meanwhile (a reset, or the
    // writer making the block Ready at a stop); otherwise look again.
    if (handoff_.load()->header.compare_exchange_weak(header, MakeHeader(Filling, count + static_cast<uint32_t>(n)),
                                               std::memory_order_release, std::memory_order_acquire))
      return true;
  }
}

size_t StreamHandoff::Append(const uint8_t* data, size_t n) {
  if (!IsAllocated()) return 0;
  for (;;) {
    // Rule 1, without the lock.
    if (AppendToHandoff(data, n)) return n;

    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
    uint32_t state = HeaderState(header), count = HeaderCount(header);
    if (state == Filling && n < kHandoffDataBytes && count + n < kHandoffDataBytes) continue;  // reset meanwhile

    if (state == Taken) {
      // Rule 2: the overflow's contents move to the front of the handoff block.
      uint32_t moved = HeaderCount(overflow_.load()->header.load(std::memory_order_acquire));
      std::memcpy(handoff_.load()->data, overflow_.load()->data, moved);
      overflow_.load()->header.store(MakeHeader(Filling, 0), std::memory_order_release);
      if (n >= kHandoffDataBytes || moved + n >= kHandoffDataBytes) {
        handoff_.load()->header.store(MakeHeader(Filling, moved), std::memory_order_release);
        return 0;
      }
      if (n > 0) std::memcpy(handoff_.load()->data + moved, data, n);
      handoff_.load()->header.store(MakeHeader(Filling, moved + static_cast<uint32_t>(n)), std::memory_order_release);
      return n;
    }

    // Rule 3: the handoff block is (or now becomes) Ready; the bytes go to the
    // overflow block if they fit there.
    if (state == Filling) handoff_.load()->header.store(MakeHeader(Ready, count), std::memory_order_release);
    uint32_t used = HeaderCount(overflow_.load()->header.load(std::memory_order_acquire));
    if (n >= kHandoffDataBytes || used + n >= kHandoffDataBytes) return 0;
    if (n > 0) std::memcpy(overflow_.load()->data + used, data, n);
    overflow_.load()->header.store(MakeHeader(Filling, used + static_cast<uint32_t>(n)), std::memory_order_release);
    return n;
  }
}

size_t StreamHandoff::TakeReady(uint8_t* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated()) return 0;
  uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
  if (HeaderState(header) != Ready) return 0;
  uint32_t count = HeaderCount(header);
  std::memcpy(out, handoff_.load()->data, count);
  // While the block is Ready the receiver does not touch it, so it can be
  // marked Taken as soon as its bytes are copied.
  handoff_.load()->header.store(MakeHeader(Taken, count), std::memory_order_release);
  return count;
}

size_t StreamHandoff::TakePendingHandoff(uint8_t* out, bool stopping, Pending& pending) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending = Pending{};
  if (!IsAllocated()) return 0;
  pending.generation = generation_;
  uint32_t header = handoff_.load()->header.load(std::memory_order_acquire);
  switch (HeaderState(header)) {
    case Filling:
      if (stopping) {
        // Ready first, so that the receiver no longer appends to the block
        // while it is written; what arrives meanwhile goes to the overflow.
        while (HeaderState(header) == Filling &&
               !handoff_.load()->header.compare_exchange_weak(header, MakeHeader(Ready, HeaderCount(header)),
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
      handoff_.load()->header.store(MakeHeader(Ready, 0), std::memory_order_release);
      pending.withOverflow = true;
      return 0;
  }
  uint32_t count = HeaderCount(header);
  std::memcpy(out, handoff_.load()->data, count);
  return count;
}

size_t StreamHandoff::TakePendingOverflow(uint8_t* out, const Pending& pending) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!IsAllocated() || !pending.withOverflow || pending.generation != generation_) return 0;
  uint32_t count = HeaderCount(overflow_.load()->header.load(std::memory_order_acquire));
  std::memcpy(out, overflow_.load()->data, count);
  return count;
}

uint32_t StreamHandoff::HandoffHeader() const {
  HandoffBlock* block = handoff_.load();
  return block ? block->header.load(std::memory_order_acquire) : 0;
}

uint32_t StreamHandoff::OverflowHeader() const {
  HandoffBlock* block = overflow_.load();
  return block ? block->header.load(std::memory_order_acquire) : 0;
}

StreamHandoff& HandoffOf(Direction direction) { return handoffs[DirectionIndex(direction)]; }

bool AllocateHandoffs() {
  bool out = HandoffOf(Direction::Out).Allocate();
  bool in = HandoffOf(Direction::In).Allocate();
  if (out && in) return true;
  ShowMessageBox(L"allocate stream buf fail");
  return false;
}

void ResetHandoffs() {
  HandoffOf(Direction::Out).Reset();
  HandoffOf(Direction::In).Reset();
}

void FreeHandoffs() {
  HandoffOf(Direction::Out).Free();
  HandoffOf(Direction::In).Free();
}

void FailNextHandoffAllocations(int count) { failingAllocations.store(count); }
