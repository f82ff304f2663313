#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "record/stream_handoff.h"
#include "tests/record/record_test_support.h"
#include "tests/support/capture.h"
#include "tests/support/wait.h"

namespace {

// What a writer writes of a piece: its bytes, after which it hands it back.
std::string Written(StreamHandoff& handoff, const StreamHandoff::Piece& piece) {
  std::string bytes(reinterpret_cast<const char*>(piece.data()), piece.size());
  handoff.Done(piece);
  return bytes;
}

class HandoffTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(handoff.Allocate()); }

  size_t Put(const std::string& bytes) {
    return handoff.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  size_t PutZeros(size_t n) { return Put(std::string(n, '\0')); }
  uint32_t State() const { return HeaderState(handoff.HandoffHeader()); }
  uint32_t Count() const { return HeaderCount(handoff.HandoffHeader()); }
  uint32_t OverflowCount() const { return HeaderCount(handoff.OverflowHeader()); }
  std::string TakeReady() { return Written(handoff, handoff.TakeReady()); }
  std::string PendingHandoff(bool stopping, StreamHandoff::Pending& pending) {
    return Written(handoff, handoff.TakePendingHandoff(stopping, pending));
  }
  std::string PendingOverflow(const StreamHandoff::Pending& pending) {
    return Written(handoff, handoff.TakePendingOverflow(pending));
  }

  StreamHandoff handoff;
};

}  // namespace

TEST_F(HandoffTest, ABlockHoldsAtMost2097147Bytes) {
  EXPECT_EQ(PutZeros(kHandoffMaxCount), kHandoffMaxCount);
  EXPECT_EQ(State(), Filling);
  EXPECT_EQ(Count(), 2097147u);

  StreamHandoff other;
  ASSERT_TRUE(other.Allocate());
  std::string tooMany(2097148, 'x');
  // Refused by the handoff block, which becomes Ready with nothing in it, and
  // by the overflow block as well: the bytes are dropped.
  EXPECT_EQ(other.Append(reinterpret_cast<const uint8_t*>(tooMany.data()), tooMany.size()), 0u);
  EXPECT_EQ(HeaderState(other.HandoffHeader()), Ready);
  EXPECT_EQ(HeaderCount(other.HandoffHeader()), 0u);
  EXPECT_EQ(other.OverflowHeader(), 0u);
}

TEST_F(HandoffTest, TheAppendThatWouldReachTheLimitGoesToTheOverflow) {
  ASSERT_EQ(PutZeros(2097000), 2097000u);
  ASSERT_EQ(Put(Pattern(146, 1)), 146u);
  EXPECT_EQ(Count(), 2097146u);
  ASSERT_EQ(Put(Pattern(1, 2)), 1u);  // 2,097,147: still fits
  EXPECT_EQ(State(), Filling);
  EXPECT_EQ(Count(), 2097147u);
  std::string next = Pattern(10, 3);
  ASSERT_EQ(Put(next), 10u);
  EXPECT_EQ(State(), Ready);
  EXPECT_EQ(Count(), 2097147u);
  EXPECT_EQ(OverflowCount(), 10u);
  // Once Ready, even a byte that would fit stays out of the handoff block.
  ASSERT_EQ(Put("y"), 1u);
  EXPECT_EQ(Count(), 2097147u);
  EXPECT_EQ(OverflowCount(), 11u);
  EXPECT_EQ(HeaderState(handoff.OverflowHeader()), Filling);
}

TEST_F(HandoffTest, AFullOverflowDropsWhatDoesNotFit) {
  ASSERT_EQ(PutZeros(kHandoffMaxCount), kHandoffMaxCount);
  ASSERT_EQ(PutZeros(2097140), 2097140u);  // to the overflow
  EXPECT_EQ(Put(Pattern(8, 4)), 0u);       // 2,097,148: dropped
  EXPECT_EQ(OverflowCount(), 2097140u);
  EXPECT_EQ(Put(Pattern(7, 5)), 7u);  // 2,097,147: kept
  EXPECT_EQ(OverflowCount(), kHandoffMaxCount);
  EXPECT_EQ(Put("z"), 0u);
}

TEST_F(HandoffTest, TakenMovesTheOverflowToTheFrontAndAppendsBehindIt) {
  std::string first = Pattern(kHandoffMaxCount, 6), spill = Pattern(5000, 7), after = Pattern(300, 8);
  ASSERT_EQ(Put(first), first.size());
  ASSERT_EQ(Put(spill), spill.size());
  EXPECT_TRUE(SameBytes(TakeReady(), first));
  EXPECT_EQ(State(), Taken);
  EXPECT_EQ(TakeReady(), "");  // nothing Ready any more

  ASSERT_EQ(Put(after), after.size());
  EXPECT_EQ(State(), Filling);
  EXPECT_EQ(Count(), spill.size() + after.size());
  EXPECT_EQ(OverflowCount(), 0u);
  StreamHandoff::Pending pending;
  EXPECT_EQ(PendingHandoff(true, pending), spill + after);
}

TEST_F(HandoffTest, AfterTheMoveBytesThatDoNotFitAreDropped) {
  ASSERT_EQ(PutZeros(kHandoffMaxCount), kHandoffMaxCount);
  ASSERT_EQ(PutZeros(2000000), 2000000u);
  TakeReady();
  // The overflow's 2,000,000 bytes move; 97,148 more would reach the limit.
  EXPECT_EQ(PutZeros(97148), 0u);
  EXPECT_EQ(State(), Filling);
  EXPECT_EQ(Count(), 2000000u);
  EXPECT_EQ(OverflowCount(), 0u);
  EXPECT_EQ(PutZeros(97147), 97147u);
  EXPECT_EQ(Count(), kHandoffMaxCount);
}

TEST_F(HandoffTest, APauseTakesWhatIsFillingAndLeavesTheReceiverFilling) {
  std::string before = Pattern(1234, 9);
  Put(before);
  StreamHandoff::Pending pending;
  EXPECT_EQ(PendingHandoff(false, pending), before);
  EXPECT_EQ(State(), Filling);
  Put(Pattern(10, 10));  // during the pause
  EXPECT_EQ(PendingOverflow(pending), "");
  EXPECT_EQ(Count(), 1244u);
}

TEST_F(HandoffTest, AStopMakesAFillingBlockReadySoNewAudioGoesBehindIt) {
  std::string before = Pattern(5000, 11), meanwhile = Pattern(700, 12);
  Put(before);
  StreamHandoff::Pending pending;
  EXPECT_EQ(PendingHandoff(true, pending), before);
  EXPECT_EQ(State(), Ready);
  Put(meanwhile);  // while piece 0 is being written
  EXPECT_EQ(PendingOverflow(pending), meanwhile);
}

TEST_F(HandoffTest, PendingWhileTakenIsTheOverflowAndKeepsItFromMoving) {
  std::string spill = Pattern(4000, 13), meanwhile = Pattern(100, 14);
  PutZeros(kHandoffMaxCount);
  Put(spill);
  TakeReady();
  StreamHandoff::Pending pending;
  EXPECT_EQ(PendingHandoff(true, pending), "");
  // The receiver appends before the overflow is written: behind the overflow,
  // not over it.
  Put(meanwhile);
  EXPECT_EQ(PendingOverflow(pending), spill + meanwhile);
}

TEST_F(HandoffTest, ResetEmptiesBothBlocksAndVoidsATakeInProgress) {
  PutZeros(kHandoffMaxCount);
  Put(Pattern(99, 15));
  StreamHandoff::Pending pending;
  PendingHandoff(false, pending);
  handoff.Reset();
  EXPECT_EQ(handoff.HandoffHeader(), 0u);
  EXPECT_EQ(handoff.OverflowHeader(), 0u);
  EXPECT_EQ(PendingOverflow(pending), "");
  std::string fresh = Pattern(50, 16);
  Put(fresh);
  EXPECT_EQ(PendingHandoff(true, pending).substr(0, 50), fresh);
}

TEST(AllocateHandoffs, AMissingBlockIsReportedOnceAndTheHandoffStaysUnused) {
  SettingsStore settings;
  LanguageTable language(LanguageIniPath());
  FakeCalls calls;
  EventLog events;
  RecordingSession session(settings, language, calls, events);
  session.Handoff(Direction::Out).FailNextAllocations(2);  // Out's two blocks
  EXPECT_FALSE(session.AllocateHandoffs());
  EXPECT_EQ(events.failures(), std::vector<RecordingFailure>{RecordingFailure::HandoffMemory});
  EXPECT_FALSE(session.Handoff(Direction::Out).IsAllocated());
  EXPECT_TRUE(session.Handoff(Direction::In).IsAllocated());
  uint8_t byte = 1;
  EXPECT_EQ(session.Handoff(Direction::Out).Append(&byte, 1), 0u);
  // The next attempt allocates only what is missing.
  EXPECT_TRUE(session.AllocateHandoffs());
  EXPECT_TRUE(session.Handoff(Direction::Out).IsAllocated());
  EXPECT_EQ(events.failures().size(), 1u);
}

// A receiver appends chunks of random sizes as fast as it can while a drainer
// takes Ready blocks; at the end the drainer takes what is pending. What the
// drainer got must be exactly the chunks Append kept, in order.
TEST(HandoffUnderLoad, WhatIsTakenIsWhatWasKeptInOrder) {
  StreamHandoff handoff;
  ASSERT_TRUE(handoff.Allocate());
  const std::string source = Pattern(3 << 20, 17);
  std::string kept, taken;
  std::atomic<bool> done{false};
  std::thread receiver([&] {
    std::mt19937 random(5);
    for (int round = 0; round < 12; ++round) {
      for (size_t at = 0; at < source.size();) {
        size_t n = std::min<size_t>(1 + random() % 65536, source.size() - at);
        if (handoff.Append(reinterpret_cast<const uint8_t*>(source.data() + at), n) == n)
          kept.append(source, at, n);
        else
          std::this_thread::yield();  // let the drainer catch up, as the network would
        at += n;
      }
    }
    done = true;
  });
  while (!done) {
    std::string piece = Written(handoff, handoff.TakeReady());
    taken += piece;
    if (piece.empty()) std::this_thread::yield();
  }
  receiver.join();
  StreamHandoff::Pending pending;
  taken += Written(handoff, handoff.TakeReady());
  taken += Written(handoff, handoff.TakePendingHandoff(true, pending));
  taken += Written(handoff, handoff.TakePendingOverflow(pending));
  // Nothing can be dropped before both blocks are nearly full.
  EXPECT_GT(kept.size(), 2 * (kHandoffDataBytes - 65536));
  EXPECT_TRUE(SameBytes(taken, kept));
}

// A reset may come while the writer writes a piece straight from a block (a
// resume during a slow write): the piece's bytes must not change under it, the
// new audio must go elsewhere, and none of the old audio may be taken again.
TEST_F(HandoffTest, AResetDuringAWriteLeavesThePieceAndSendsNewAudioToTheOtherBlock) {
  std::string before = Pattern(5000, 20), after = Pattern(3000, 21), more = Pattern(100, 22);
  Put(before);
  StreamHandoff::Piece piece = handoff.TakeFilling();
  handoff.Reset();
  Put(after);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(piece.data()), piece.size()), before);
  EXPECT_EQ(State(), Ready);
  EXPECT_EQ(Count(), 0u);
  EXPECT_EQ(OverflowCount(), after.size());
  handoff.Done(piece);
  EXPECT_EQ(TakeReady(), "");
  Put(more);
  StreamHandoff::Pending pending;
  EXPECT_EQ(PendingHandoff(true, pending), after + more);

  // The overflow block being written: the receiver fills the handoff block.
  StreamHandoff other;
  ASSERT_TRUE(other.Allocate());
  std::string full = Pattern(kHandoffMaxCount, 23), spill = Pattern(4000, 24), fresh = Pattern(700, 25);
  auto put = [&](const std::string& bytes) {
    return other.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  };
  put(full);
  put(spill);
  EXPECT_EQ(Written(other, other.TakePendingHandoff(false, pending)), full);
  StreamHandoff::Piece overflow = other.TakePendingOverflow(pending);
  other.Reset();
  EXPECT_EQ(put(fresh), fresh.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(overflow.data()), overflow.size()), spill);
  EXPECT_EQ(HeaderCount(other.HandoffHeader()), fresh.size());
  other.Done(overflow);
}

// The hand-off wakes its writer for a Ready block and for the amount of
// unwritten audio the writer armed it for, and for nothing less.
TEST_F(HandoffTest, TheWriterIsWokenForAReadyBlockAndForTheAmountItArmed) {
  WriterWake wake;
  handoff.SetWriterWake(&wake);
  auto woken = [&](std::chrono::milliseconds within) {
    return wake.WaitUntil(WriterWake::Clock::now() + within);
  };
  EXPECT_TRUE(handoff.ArmWake(1));
  Put(Pattern(10, 30));
  EXPECT_TRUE(woken(kGenerousDeadline));

  EXPECT_TRUE(handoff.ArmWake(1000));
  Put(Pattern(500, 31));
  EXPECT_FALSE(woken(std::chrono::milliseconds(50)));
  Put(Pattern(490, 32));  // 1000 not yet written
  EXPECT_TRUE(woken(kGenerousDeadline));
  EXPECT_FALSE(handoff.ArmWake(1000));  // already there: the writer has work
  EXPECT_EQ(handoff.Unwritten(), 1000u);

  handoff.DisarmWake();
  PutZeros(kHandoffMaxCount - 1000);
  EXPECT_FALSE(woken(std::chrono::milliseconds(50)));
  Put("x");  // does not fit: the block becomes Ready
  EXPECT_TRUE(woken(kGenerousDeadline));
  EXPECT_FALSE(handoff.ArmWake(1));
  handoff.SetWriterWake(nullptr);
}

// A receiver may read straight into the block: what it commits is kept as an
// Append of the same bytes would keep it, also when the block was reset or
// made Ready by a stop while the bytes came in, and no room is offered where a
// whole read might not fit.
TEST_F(HandoffTest, BytesReceivedIntoTheBlockAreKeptAsAnAppendWouldKeepThem) {
  auto receive = [&](const std::string& bytes) {
    uint8_t* room = handoff.ReceiveSpace(kReceiveRoomBytes);
    EXPECT_NE(room, nullptr);
    std::memcpy(room, bytes.data(), bytes.size());
    return room;
  };
  std::string first = Pattern(1000, 40), second = Pattern(2000, 41), third = Pattern(300, 42);
  EXPECT_EQ(handoff.CommitReceived(receive(first), first.size()), first.size());
  EXPECT_EQ(Count(), first.size());

  uint8_t* room = receive(second);
  handoff.Reset();  // while the bytes came in
  EXPECT_EQ(handoff.CommitReceived(room, second.size()), second.size());
  StreamHandoff::Pending pending;
  room = receive(third);
  EXPECT_EQ(PendingHandoff(true, pending), second);  // a stop makes the block Ready
  EXPECT_EQ(handoff.CommitReceived(room, third.size()), third.size());
  EXPECT_EQ(PendingOverflow(pending), third);

  handoff.Reset();
  PutZeros(kHandoffMaxCount - kReceiveRoomBytes + 1);
  EXPECT_EQ(handoff.ReceiveSpace(kReceiveRoomBytes), nullptr);  // a whole read might not fit
  EXPECT_NE(handoff.ReceiveSpace(kReceiveRoomBytes - 1), nullptr);
  EXPECT_EQ(handoff.ReceiveSpace(kReceiveRoomBytes + 1), nullptr);
}
