// The audio servers with their receive threads, as the main window runs them:
// many peers at once, peers that misbehave, the table full, Close and
// destruction while the thread waits, and the start-up's message boxes. Every
// peer's bytes must reach the sink exactly and in order, and a failure of one
// connection must leave the others and the server running.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/audio_server.h"
#include "tests/net/test_peer.h"
#include "tests/support/capture.h"
#include "tests/support/wait.h"

namespace {

class AudioServerTest : public ::testing::Test {
 protected:
  MessageBoxCapture boxes;
  TaggedSink sink;
  AudioServer server{Direction::Out, 0, [this](const uint8_t* data, size_t n) { sink(data, n); }};

  void SetUp() override {
    ASSERT_TRUE(StartAudioServer(server));
    ASSERT_TRUE(server.Receiving());
    ASSERT_NE(server.ListeningPort(), 0);
  }
};

}  // namespace

TEST_F(AudioServerTest, ManyConnectionsAtOnceEachStreamArrivesExactly) {
  constexpr unsigned kPeers = 16;
  std::vector<std::string> streams;
  for (unsigned id = 0; id < kPeers; ++id) streams.push_back(TaggedStream(id, 200000 + id * 7919));
  std::vector<std::thread> senders;
  std::atomic<unsigned> failed{0};
  for (unsigned id = 0; id < kPeers; ++id) {
    senders.emplace_back([&, id] {
      TestPeer peer;
      if (!peer.Connect(server.ListeningPort())) {
        ++failed;
        return;
      }
      // Uneven pieces, so reads of different connections interleave.
      const std::string& bytes = streams[id];
      size_t offset = 0;
      size_t piece = 1 + id * 977;
      while (offset < bytes.size()) {
        size_t n = std::min(piece, bytes.size() - offset);
        if (!peer.SendAll(bytes.substr(offset, n))) {
          ++failed;
          return;
        }
        offset += n;
        piece = piece * 3 % 20011 + 1;
      }
      peer.Close();
    });
  }
  for (std::thread& sender : senders) sender.join();
  ASSERT_EQ(failed.load(), 0u);
  size_t expected = 0;
  for (const std::string& s : streams) expected += s.size();
  ASSERT_TRUE(WaitUntil([&] { return sink.total() == expected && server.eventSocket().slotCount() == 1; }))
      << sink.total() << " of " << expected << " bytes";
  for (unsigned id = 0; id < kPeers; ++id) EXPECT_EQ(sink.streamOf(id), streams[id]) << "peer " << id;
  EXPECT_EQ(sink.mixedChunks(), 0u);
  EXPECT_TRUE(server.Receiving());
  EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(AudioServerTest, SixtyThirdConnectionIsRefusedAndTheLoopGoesOn) {
  std::vector<std::unique_ptr<TestPeer>> peers;
  for (unsigned id = 0; id < 62; ++id) {
    peers.push_back(std::make_unique<TestPeer>());
    ASSERT_TRUE(peers.back()->Connect(server.ListeningPort())) << "peer " << id;
    ASSERT_TRUE(peers.back()->SendAll(TaggedStream(id, 1000 + id)));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.eventSocket().slotCount() == kMaxSlots; }));

  TestPeer extra;
  ASSERT_TRUE(extra.Connect(server.ListeningPort()));
  EXPECT_TRUE(extra.WaitDroppedByServer(kGenerousDeadline));
  EXPECT_EQ(server.eventSocket().slotCount(), kMaxSlots);
  EXPECT_TRUE(server.Receiving());

  // The loop goes on: a place freed is taken again, and everyone's bytes arrive.
  peers[30]->Close();
  ASSERT_TRUE(WaitUntil([&] { return server.eventSocket().slotCount() == kMaxSlots - 1; }));
  TestPeer late;
  ASSERT_TRUE(late.Connect(server.ListeningPort()));
  std::string lateBytes = TaggedStream(63, 70000);
  ASSERT_TRUE(late.SendAll(lateBytes));
  ASSERT_TRUE(WaitUntil([&] { return sink.streamOf(63).size() == lateBytes.size(); }));
  EXPECT_EQ(sink.streamOf(63), lateBytes);
  for (unsigned id = 0; id < 62; ++id) {
    ASSERT_TRUE(WaitUntil([&] { return sink.streamOf(id).size() == 1000 + id; }));
    EXPECT_EQ(sink.streamOf(id), TaggedStream(id, 1000 + id)) << "peer " << id;
  }
  EXPECT_TRUE(server.Receiving());
  EXPECT_EQ(server.eventSocket().slotCount(), kMaxSlots);
}

TEST_F(AudioServerTest, GarbageAndAbruptResetsLeaveTheLoopRunning) {
  // Well-behaved peers stream while others send random bytes and reset their
  // connections (SO_LINGER 0), some at once, some after a pause.
  std::vector<std::thread> threads;
  std::vector<std::string> good;
  for (unsigned id = 0; id < 4; ++id) good.push_back(TaggedStream(id, 300000));
  std::atomic<unsigned> failed{0};
  for (unsigned id = 0; id < 4; ++id) {
    threads.emplace_back([&, id] {
      TestPeer peer;
      if (!peer.Connect(server.ListeningPort())) {
        ++failed;
        return;
      }
      for (size_t offset = 0; offset < good[id].size(); offset += 10000) {
        if (!peer.SendAll(good[id].substr(offset, 10000))) ++failed;
      }
      peer.Close();
    });
  }
  for (unsigned id = 10; id < 30; ++id) {
    threads.emplace_back([&, id] {
      TestPeer peer;
      if (!peer.Connect(server.ListeningPort())) return;
      // Tagged like the others so the sink can sort them, random beyond that.
      std::string bytes = RandomBytes(id, 3000 + id * 1000);
      for (char& c : bytes) c = static_cast<char>((id << 2) | (c & 3));
      peer.SendAll(bytes);
      if (id % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(id));
      peer.Reset();
    });
  }
  for (std::thread& t : threads) t.join();
  ASSERT_EQ(failed.load(), 0u);
  ASSERT_TRUE(WaitUntil([&] {
    for (unsigned id = 0; id < 4; ++id) {
      if (sink.streamOf(id).size() != good[id].size()) return false;
    }
    return server.eventSocket().slotCount() == 1;
  }));
  for (unsigned id = 0; id < 4; ++id) EXPECT_EQ(sink.streamOf(id), good[id]) << "peer " << id;
  // What a reset connection delivered is a beginning of what it sent.
  for (unsigned id = 10; id < 30; ++id) {
    std::string bytes = RandomBytes(id, 3000 + id * 1000);
    for (char& c : bytes) c = static_cast<char>((id << 2) | (c & 3));
    std::string got = sink.streamOf(id);
    EXPECT_EQ(got, bytes.substr(0, got.size())) << "peer " << id;
  }
  EXPECT_EQ(sink.mixedChunks(), 0u);
  // Each reset ended its own connection only (wine reports a reset connection
  // as no longer connected, which must not pass for an empty table).
  EXPECT_TRUE(server.Receiving());

  // Still serving.
  TestPeer after;
  ASSERT_TRUE(after.Connect(server.ListeningPort()));
  ASSERT_TRUE(after.SendAll(TaggedStream(50, 1234)));
  ASSERT_TRUE(WaitUntil([&] { return sink.streamOf(50).size() == 1234; }));
  EXPECT_EQ(sink.streamOf(50), TaggedStream(50, 1234));
}

// Errors with codes outside the usual four, from one connection's read and
// from one accept, end that connection or that attempt only: the peer that
// connects again is recorded.
TEST_F(AudioServerTest, UnusualErrorsOfOneConnectionOrOneAcceptEndOnlyThat) {
  TestPeer first;
  ASSERT_TRUE(first.Connect(server.ListeningPort()));
  ASSERT_TRUE(first.SendAll(TaggedStream(1, 500)));
  ASSERT_TRUE(WaitUntil([&] { return sink.streamOf(1).size() == 500; }));
  server.eventSocket().InjectFault(SocketOp::Receive, kWsaSysCallFailure);
  ASSERT_TRUE(first.SendAll(TaggedStream(1, 700).substr(500)));
  // The failed read ends that connection, and nothing of it is handed on.
  EXPECT_TRUE(first.WaitDroppedByServer(kGenerousDeadline));
  ASSERT_TRUE(WaitUntil([&] { return server.eventSocket().slotCount() == 1; }));
  EXPECT_EQ(sink.streamOf(1), TaggedStream(1, 500));
  EXPECT_TRUE(server.Receiving());
  // An accept that fails for lack of buffers (WSAENOBUFS) loses that
  // connection; the next one is taken.
  server.eventSocket().InjectFault(SocketOp::Accept, 10055);
  TestPeer lost;
  ASSERT_TRUE(lost.Connect(server.ListeningPort()));
  EXPECT_TRUE(lost.WaitDroppedByServer(kGenerousDeadline));
  TestPeer again;
  ASSERT_TRUE(again.Connect(server.ListeningPort()));
  std::string audio = TaggedStream(2, 5000);
  ASSERT_TRUE(again.SendAll(audio));
  ASSERT_TRUE(WaitUntil([&] { return sink.streamOf(2) == audio; }));
  server.eventSocket().ClearFaults();
  EXPECT_TRUE(server.Receiving());
  EXPECT_EQ(server.eventSocket().slotCount(), 2u);
}

TEST(AudioServer, CloseWhileTheReceiveThreadWaitsEndsIt) {
  for (int round = 0; round < 10; ++round) {
    CollectingSink sink;
    AudioServer server(Direction::In, 0, [&](const uint8_t* data, size_t n) { sink(data, n); });
    ASSERT_TRUE(StartAudioServer(server));
    TestPeer peer;
    if (round % 2 == 1) {
      // A connection that has delivered and is idle: the thread waits again.
      ASSERT_TRUE(peer.Connect(server.ListeningPort()));
      ASSERT_TRUE(peer.SendAll("abc"));
      ASSERT_TRUE(WaitUntil([&] { return sink.total() == 3; }));
    }
    EXPECT_EQ(server.eventSocket().Close(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return !server.Receiving(); }));
    EXPECT_EQ(server.eventSocket().state(), CEventSocket::kEmpty);
    EXPECT_FALSE(server.eventSocket().HoldsSockets());
    if (round % 2 == 1) {
      EXPECT_EQ(sink.bytes(), "abc");
      EXPECT_TRUE(peer.WaitDroppedByServer(kGenerousDeadline));
    }
  }
}

TEST(AudioServer, CloseWhileBytesFlowKeepsWhatArrivedWholeAndInOrder) {
  for (int round = 0; round < 3; ++round) {
    CollectingSink sink;
    AudioServer server(Direction::Out, 0, [&](const uint8_t* data, size_t n) { sink(data, n); });
    ASSERT_TRUE(StartAudioServer(server));
    std::string stream = TaggedStream(3, 64 << 20);
    TestPeer peer;
    ASSERT_TRUE(peer.Connect(server.ListeningPort()));
    std::thread sender([&] { peer.SendAll(stream); });  // ends when the server drops it
    ASSERT_TRUE(WaitUntil([&] { return sink.total() >= (1u << 20); }));
    EXPECT_EQ(server.eventSocket().Close(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return !server.Receiving(); }));
    sender.join();
    std::string got = sink.bytes();
    EXPECT_EQ(got, stream.substr(0, got.size()));
    EXPECT_FALSE(server.eventSocket().HoldsSockets());
  }
}

TEST(AudioServer, DestroyingARunningServerEndsItsThreadAndFreesThePort) {
  uint16_t port = 0;
  TestPeer peer;
  {
    AudioServer server(Direction::Out, 0, [](const uint8_t*, size_t) {});
    ASSERT_TRUE(StartAudioServer(server));
    port = server.ListeningPort();
    ASSERT_TRUE(peer.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return server.eventSocket().slotCount() == 2; }));
  }
  EXPECT_TRUE(peer.WaitDroppedByServer(kGenerousDeadline));
  // The port is free again.
  AudioServer again(Direction::Out, port, [](const uint8_t*, size_t) {});
  ServerStart start = StartAudioServer(again);
  EXPECT_TRUE(start);
  EXPECT_EQ(start.failure, ServerStart::kNone);
}

TEST(AudioServer, StartingTwiceSaysTheSocketIsAlreadyInUse) {
  AudioServer server(Direction::Out, 0, [](const uint8_t*, size_t) {});
  ASSERT_TRUE(StartAudioServer(server));
  uint16_t port = server.ListeningPort();
  ServerStart again = StartAudioServer(server);
  EXPECT_FALSE(again);
  EXPECT_EQ(again.failure, ServerStart::kSocketInUse);
  // The running server is untouched.
  EXPECT_TRUE(server.Receiving());
  EXPECT_EQ(server.ListeningPort(), port);
}

// Another program on the server's port: the server listens on a free port
// instead, says which and why, and receives there.
TEST(AudioServer, ATakenPortIsReplacedByAFreeOneThatReceives) {
  CEventSocket holder;
  ASSERT_EQ(holder.Listen(0), 0u);
  CollectingSink sink;
  AudioServer server(Direction::In, holder.LocalPort(), [&](const uint8_t* d, size_t n) { sink(d, n); });
  ServerStart start = StartAudioServer(server);
  ASSERT_TRUE(start);
  EXPECT_EQ(start.ownPortCode, kWsaEAddrInUse);
  EXPECT_NE(start.port, 0);
  EXPECT_NE(start.port, holder.LocalPort());
  EXPECT_EQ(start.port, server.ListeningPort());
  TestPeer peer;
  ASSERT_TRUE(peer.Connect(start.port));
  ASSERT_TRUE(peer.SendAll("abcdef"));
  EXPECT_TRUE(WaitUntil([&] { return sink.bytes() == "abcdef"; }));

  // The port given up by the holder: the next server has its own port.
  const uint16_t freed = holder.LocalPort();
  holder.Close();
  AudioServer own(Direction::Out, freed, [](const uint8_t*, size_t) {});
  ServerStart plain = StartAudioServer(own);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain.ownPortCode, 0u);
  EXPECT_EQ(plain.port, freed);
}

// No port at all: the failure with the last code, no thread, no socket left.
TEST(AudioServer, NoPortAtAllSaysListenFailedWithItsCodeAndStartsNoThread) {
  AudioServer server(Direction::In, 7, [](const uint8_t*, size_t) {});
  constexpr uint32_t kNoBuffers = 10055;  // WSAENOBUFS
  server.eventSocket().InjectFault(SocketOp::Listen, kNoBuffers, 2);
  ServerStart start = StartAudioServer(server);
  EXPECT_FALSE(start);
  EXPECT_EQ(start.failure, ServerStart::kListenFailed);
  EXPECT_EQ(start.code, kNoBuffers);
  EXPECT_EQ(start.ownPortCode, kNoBuffers);
  EXPECT_FALSE(server.Receiving());
  EXPECT_FALSE(server.eventSocket().HoldsSockets());
}

TEST(AudioServer, StartAudioServersStartsBothAndEachFeedsItsOwnSink) {
  CollectingSink outSink, inSink;
  AudioServer out(Direction::Out, 0, [&](const uint8_t* d, size_t n) { outSink(d, n); });
  AudioServer in(Direction::In, 0, [&](const uint8_t* d, size_t n) { inSink(d, n); });
  // A host whose own name does not resolve reports its local-address lookup;
  // the servers start all the same.
  AudioServersStart start = StartAudioServers(out, in);
  EXPECT_TRUE(start.out);
  EXPECT_TRUE(start.in);
  ASSERT_TRUE(out.Receiving());
  ASSERT_TRUE(in.Receiving());
  TestPeer farEnd, microphone;
  ASSERT_TRUE(farEnd.Connect(out.ListeningPort()));
  ASSERT_TRUE(microphone.Connect(in.ListeningPort()));
  std::string voice = RandomBytes(7, 100001), mic = RandomBytes(8, 99999);
  ASSERT_TRUE(farEnd.SendAll(voice));
  ASSERT_TRUE(microphone.SendAll(mic));
  ASSERT_TRUE(WaitUntil([&] { return outSink.total() == voice.size() && inSink.total() == mic.size(); }));
  EXPECT_EQ(outSink.bytes(), voice);
  EXPECT_EQ(inSink.bytes(), mic);
}

// The sink is handed each read as it came: never an empty chunk, never more
// than one read's 65,536 bytes, and together exactly the stream, also when the
// peer sends faster than one read takes and closes with bytes still waiting.
TEST(AudioServer, TheSinkGetsEachReadWholeNeverEmptyAndAtMostOneBuffer) {
  std::mutex mutex;
  std::vector<size_t> pieces;
  std::string joined;
  AudioServer server(Direction::Out, 0, [&](const uint8_t* data, size_t n) {
    std::lock_guard<std::mutex> lock(mutex);
    pieces.push_back(n);
    joined.append(reinterpret_cast<const char*>(data), n);
  });
  ASSERT_TRUE(StartAudioServer(server));
  std::string bytes = RandomBytes(9, (8 << 20) + 3392);
  TestPeer peer;
  ASSERT_TRUE(peer.Connect(server.ListeningPort()));
  ASSERT_TRUE(peer.SendAll(bytes));
  peer.Close();
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return joined.size() >= bytes.size();
  }));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_TRUE(joined == bytes) << joined.size() << " bytes received of " << bytes.size();
  EXPECT_EQ(std::count_if(pieces.begin(), pieces.end(), [](size_t n) { return n == 0 || n > kReceiveBufferSize; }), 0);
}
