// CEventSocket driven directly, one ProcessEvents call at a time, against real
// loopback connections: the table's states, what each call serves, the bytes of
// each connection byte for byte, the accept condition and the round-robin wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "net/event_socket.h"
#include "tests/net/test_peer.h"
#include "tests/support/wait.h"

namespace {

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  uint32_t address;
  std::memcpy(&address, bytes, 4);
  return address;
}

// A listening object whose waits end after 20 ms, so that a missing event shows
// as a failed condition instead of a hang; every chunk goes to a tagged sink.
class EventSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(server.Listen(0), 0u);
    server.SetWaitTimeout(20);
    port = server.LocalPort();
    ASSERT_NE(port, 0);
  }

  uint32_t Step(EventReport& report) {
    return server.ProcessEvents(report, [this](const uint8_t* data, size_t n) {
      sink(data, n);
      ++deliveries;
    });
  }

  // Serves events until the condition holds; each call's result and report go
  // to `observe`, results other than success and the timeout are also kept.
  // (The report's recvMemory is not for the observer: the slot may be gone.)
  bool ServeUntil(const std::function<bool()>& done,
                  const std::function<void(uint32_t, const EventReport&)>& observe = {}) {
    auto end = std::chrono::steady_clock::now() + kGenerousDeadline;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      EventReport report;
      uint32_t result = Step(report);
      if (observe) observe(result, report);
      if (result != 0 && result != kWaitTimedOut) failures.push_back(result);
    }
    return true;
  }

  CEventSocket server;
  uint16_t port = 0;
  TaggedSink sink;
  size_t deliveries = 0;
  std::vector<uint32_t> failures;
};

}  // namespace

TEST(RecvMemory, GrowsToTwiceItsCapacityOrToWhatFitsAndConsumesFromTheFront) {
  RecvMemory memory;
  EXPECT_EQ(memory.capacity(), 65536u);
  std::string first = RandomBytes(1, 65536);
  ASSERT_TRUE(memory.Append(reinterpret_cast<const uint8_t*>(first.data()), first.size()));
  EXPECT_EQ(memory.capacity(), 65536u);  // exactly full: no growth
  ASSERT_TRUE(memory.Append(reinterpret_cast<const uint8_t*>("x"), 1));
  EXPECT_EQ(memory.capacity(), 131072u);  // twice the capacity
  std::string big = RandomBytes(2, 400000);
  ASSERT_TRUE(memory.Append(reinterpret_cast<const uint8_t*>(big.data()), big.size()));
  EXPECT_EQ(memory.capacity(), 65537u + 400000u);  // count + n beats twice 131072
  ASSERT_EQ(memory.count(), 465537u);
  std::string all(reinterpret_cast<const char*>(memory.data()), memory.count());
  EXPECT_EQ(all, first + "x" + big);

  memory.Consume(65537);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory.data()), memory.count()), big);
  memory.Consume(1000000);  // more than it holds
  EXPECT_EQ(memory.count(), 0u);
}

TEST(EventSocket, StatesFollowTheTableAndListenTwiceOrCloseEmptyAreRefused) {
  CEventSocket server;
  EXPECT_EQ(server.state(), CEventSocket::kEmpty);
  EXPECT_EQ(server.Close(), kWsaENotConn);
  EventReport report;
  EXPECT_EQ(server.ProcessEvents(report), kWsaENotConn);

  ASSERT_EQ(server.Listen(0), 0u);
  server.SetWaitTimeout(20);
  EXPECT_EQ(server.state(), CEventSocket::kListening);
  EXPECT_EQ(server.slotCount(), 1u);
  EXPECT_EQ(server.Listen(0), kWsaEIsConn);
  EXPECT_EQ(server.slotCount(), 1u);
  EXPECT_EQ(server.ProcessEvents(report), kWaitTimedOut);

  TestPeer peer;
  ASSERT_TRUE(peer.Connect(server.LocalPort()));
  ASSERT_TRUE(WaitUntil([&] {
    EventReport served;
    uint32_t result = server.ProcessEvents(served);
    if (served.events & kFdAccept) {
      EXPECT_EQ(result, 0u);
      EXPECT_TRUE(IsLoopbackAddress(served.peerAddress));
      EXPECT_NE(served.socket, kNoSocket);
    }
    return server.slotCount() == 2;
  }));
  EXPECT_EQ(server.state(), CEventSocket::kListeningWithConnections);

  peer.Close();
  ASSERT_TRUE(WaitUntil([&] {
    EventReport served;
    server.ProcessEvents(served);
    return server.slotCount() == 1;
  }));
  EXPECT_EQ(server.state(), CEventSocket::kListening);

  EXPECT_EQ(server.Close(), 0u);
  EXPECT_EQ(server.state(), CEventSocket::kEmpty);
  EXPECT_EQ(server.slotCount(), 0u);
  EXPECT_EQ(server.Close(), kWsaENotConn);
  EXPECT_EQ(server.ProcessEvents(report), kWsaENotConn);

  // The emptied object listens again.
  ASSERT_EQ(server.Listen(0), 0u);
  EXPECT_EQ(server.state(), CEventSocket::kListening);
}

TEST(EventSocket, ListenOnATakenPortFailsAndLeavesTheObjectEmpty) {
  CEventSocket first;
  ASSERT_EQ(first.Listen(0), 0u);
  CEventSocket second;
  EXPECT_EQ(second.Listen(first.LocalPort()), kWsaEAddrInUse);
  EXPECT_EQ(second.state(), CEventSocket::kEmpty);
  EXPECT_FALSE(second.HoldsSockets());
  EXPECT_EQ(second.Listen(0), 0u);
}

TEST(EventSocket, AcceptConditionTakesLoopbackPeersWhileTheTableHasRoom) {
  EXPECT_TRUE(IsLoopbackAddress(Address(127, 0, 0, 1)));
  EXPECT_TRUE(IsLoopbackAddress(Address(127, 255, 255, 254)));
  EXPECT_TRUE(IsLoopbackAddress(Address(127, 1, 2, 3)));
  EXPECT_FALSE(IsLoopbackAddress(Address(128, 0, 0, 1)));
  EXPECT_FALSE(IsLoopbackAddress(Address(126, 255, 255, 255)));
  EXPECT_FALSE(IsLoopbackAddress(Address(10, 0, 0, 127)));
  EXPECT_FALSE(IsLoopbackAddress(Address(1, 0, 0, 127)));  // 127 in the last byte only
  EXPECT_FALSE(IsLoopbackAddress(Address(192, 0, 2, 2)));
  EXPECT_FALSE(IsLoopbackAddress(0));

  EXPECT_TRUE(AcceptCondition(1, Address(127, 0, 0, 1)));
  EXPECT_TRUE(AcceptCondition(62, Address(127, 0, 0, 1)));
  EXPECT_FALSE(AcceptCondition(63, Address(127, 0, 0, 1)));
  EXPECT_FALSE(AcceptCondition(1, Address(192, 168, 1, 20)));
  EXPECT_FALSE(AcceptCondition(1, 0));
}

TEST(EventSocket, OnlyLoopbackReachesTheListeningPort) {
  uint32_t outward = OutwardLocalAddress();
  if (outward == 0) GTEST_SKIP() << "this machine has no address besides loopback";
  CEventSocket server;
  ASSERT_EQ(server.Listen(0), 0u);
  TestPeer fromOutside;
  EXPECT_FALSE(fromOutside.Connect(server.LocalPort(), DottedAddress(outward).c_str()))
      << "the port answers on " << DottedAddress(outward);
  TestPeer local;
  EXPECT_TRUE(local.Connect(server.LocalPort()));
}

TEST(EventSocket, HostAddressesAreListed) {
  CEventSocket object;
  std::vector<uint32_t> addresses = {12345};
  ASSERT_EQ(object.GetLocalIPs(addresses), 0u);
  ASSERT_FALSE(addresses.empty());
  for (uint32_t address : addresses) EXPECT_NE(address, 0u);
  EXPECT_FALSE(object.HoldsSockets());
}

TEST_F(EventSocketTest, ConnectionThatClosesWithDataDeliversAllOfItBeforeItGoes) {
  // More than one read's worth waits behind the close when the connection is
  // first served: all of it is read before the slot goes. 100,000 bytes fit the
  // first receive window, so they and the close are there before the accept;
  // the larger stream closes while the reads are under way.
  unsigned id = 5;
  for (size_t length : {size_t{100000}, size_t{1000003}}) {
    std::string sent = TaggedStream(id, length);
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(port));
    ASSERT_TRUE(peer.SendAll(sent));
    peer.Close();
    ASSERT_TRUE(ServeUntil([&] { return sink.streamOf(id).size() == sent.size() && server.slotCount() == 1; }))
        << sink.streamOf(id).size() << " of " << sent.size() << " bytes";
    EXPECT_EQ(sink.streamOf(id), sent);
    ++id;
  }
  EXPECT_EQ(sink.mixedChunks(), 0u);
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(server.state(), CEventSocket::kListening);
}

TEST_F(EventSocketTest, ConnectionThatClosesWithNothingIsAcceptedThenRemoved) {
  TestPeer peer;
  ASSERT_TRUE(peer.Connect(port));
  ASSERT_TRUE(ServeUntil([&] { return server.slotCount() == 2; }));
  peer.Close();
  bool closeSeen = false;
  ASSERT_TRUE(ServeUntil([&] { return closeSeen && server.slotCount() == 1; },
                         [&](uint32_t result, const EventReport& report) {
                           if (report.events & kFdClose) {
                             closeSeen = true;
                             EXPECT_EQ(result, 0u);  // an orderly close
                             EXPECT_EQ(report.bytesRead, 0u);
                           }
                         }));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(sink.total(), 0u);
  EXPECT_EQ(server.state(), CEventSocket::kListening);
}

TEST_F(EventSocketTest, BusyConnectionDoesNotStarveAnother) {
  // The busy peer has megabytes waiting, enough for dozens of reads, before the
  // quiet one sends a few bytes; the quiet one is served within a few calls.
  TestPeer busy;
  ASSERT_TRUE(busy.Connect(port));
  std::string flood = TaggedStream(1, 16 << 20);
  size_t queued = busy.SendUntilFull(flood);
  ASSERT_GE(queued, 16u * 65536u) << "the connection took too little to keep a reader busy";
  TestPeer quiet;
  ASSERT_TRUE(quiet.Connect(port));
  std::string word = TaggedStream(2, 16);
  ASSERT_TRUE(quiet.SendAll(word));
  ASSERT_TRUE(ServeUntil([&] { return server.slotCount() == 3; }));

  size_t busyReadsBefore = 0;
  size_t busySoFar = sink.streamOf(1).size();
  ASSERT_TRUE(ServeUntil([&] { return sink.streamOf(2).size() == word.size(); },
                         [&](uint32_t, const EventReport&) {
                           size_t now = sink.streamOf(1).size();
                           if (now > busySoFar && sink.streamOf(2).empty()) ++busyReadsBefore;
                           busySoFar = now;
                         }));
  EXPECT_EQ(sink.streamOf(2), word);
  EXPECT_LE(busyReadsBefore, 8u) << "the quiet connection waited behind " << busyReadsBefore << " reads";
  EXPECT_LT(sink.streamOf(1).size(), queued) << "the busy connection was emptied first";
  // And the busy one's bytes are whole and in order so far.
  std::string got = sink.streamOf(1);
  EXPECT_EQ(got, flood.substr(0, got.size()));
}

TEST_F(EventSocketTest, SixtyThirdConnectionIsRefusedAndTheTableGoesOn) {
  std::vector<std::unique_ptr<TestPeer>> peers;
  for (int i = 0; i < 62; ++i) {
    peers.push_back(std::make_unique<TestPeer>());
    ASSERT_TRUE(peers.back()->Connect(port)) << "peer " << i;
  }
  ASSERT_TRUE(ServeUntil([&] { return server.slotCount() == kMaxSlots; }));
  EXPECT_TRUE(failures.empty());

  TestPeer extra;
  ASSERT_TRUE(extra.Connect(port));  // the handshake completes in the backlog
  bool refused = false;
  ASSERT_TRUE(ServeUntil([&] { return refused; }, [&](uint32_t result, const EventReport& report) {
    if (result == kWsaEConnRefused) {
      refused = true;
      EXPECT_TRUE(report.events & kFdAccept);
    }
  }));
  EXPECT_EQ(failures, std::vector<uint32_t>{kWsaEConnRefused});
  EXPECT_EQ(server.slotCount(), kMaxSlots);
  EXPECT_TRUE(extra.WaitDroppedByServer(kGenerousDeadline));

  // One leaves; the next one takes its place and its bytes arrive.
  peers[17]->Close();
  ASSERT_TRUE(ServeUntil([&] { return server.slotCount() == kMaxSlots - 1; }));
  TestPeer late;
  ASSERT_TRUE(late.Connect(port));
  std::string bytes = TaggedStream(40, 5000);
  ASSERT_TRUE(late.SendAll(bytes));
  ASSERT_TRUE(ServeUntil([&] { return sink.streamOf(40).size() == bytes.size(); }));
  EXPECT_EQ(sink.streamOf(40), bytes);
  EXPECT_EQ(server.slotCount(), kMaxSlots);
}

TEST(EventSocket, CloseFromAnotherThreadWakesABlockedProcessEvents) {
  for (int round = 0; round < 20; ++round) {
    CEventSocket server;
    ASSERT_EQ(server.Listen(0), 0u);  // the wait is INFINITE
    TestPeer peer;
    if (round % 2 == 1) {
      ASSERT_TRUE(peer.Connect(server.LocalPort()));
    }
    std::atomic<bool> started{false};
    std::vector<uint32_t> results;
    std::thread receiver([&] {
      started = true;
      EventReport report;
      uint32_t result;
      do {
        result = server.ProcessEvents(report);
        results.push_back(result);
      } while (result == 0 && results.size() < 100000);
    });
    ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
    if (round % 4 < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(server.Close(), 0u);
    auto joined = std::async(std::launch::async, [&] { receiver.join(); });
    ASSERT_EQ(joined.wait_for(kGenerousDeadline), std::future_status::ready) << "the receiver stayed blocked";
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.back(), kWsaENotConn);
    EXPECT_FALSE(server.HoldsSockets());
  }
}

// A caller that gives no consumer finds each read's bytes in the slot's memory,
// reported with the call that read them, and the bytes of a connection that
// sends more than one read takes arrive whole across the calls.
TEST(EventSocket, WithoutAConsumerTheBytesWaitInTheSlotsMemory) {
  CEventSocket server;
  ASSERT_EQ(server.Listen(0), 0u);
  server.SetWaitTimeout(20);
  std::string sent = RandomBytes(11, 3 * 65536 + 1000);
  TestPeer peer;
  ASSERT_TRUE(peer.Connect(server.LocalPort()));
  ASSERT_TRUE(peer.SendAll(sent));
  std::string got;
  ASSERT_TRUE(WaitUntil([&] {
    EventReport report;
    server.ProcessEvents(report);
    if (report.recvMemory != nullptr) {
      EXPECT_EQ(report.recvMemory->count(), report.bytesRead);
      EXPECT_LE(report.bytesRead, kReceiveBufferSize);
      got.append(reinterpret_cast<const char*>(report.recvMemory->data()), report.recvMemory->count());
      report.recvMemory->Clear();
    }
    return got.size() >= sent.size();
  }));
  EXPECT_TRUE(got == sent) << got.size() << " bytes of " << sent.size();
}
