// Who may speak into a recording. The client's connections to an audio port
// are taken and any other process's are closed unread; where the system names
// no owner, a further connection is held while the client streams, and taken
// only once that stream has ended (a client connecting again after a reset).
// Real sockets, with the table of owners set by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/audio_server.h"
#include "net/client_admission.h"
#include "net/connection_owners.h"
#include "tests/net/test_peer.h"
#include "tests/support/fake_owners.h"
#include "tests/support/wait.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr uint32_t kClient = 4242;
constexpr uint32_t kStranger = 777;
// 127.0.0.1 in network byte order.
const uint32_t kLoopback = [] {
  const uint8_t bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}();

// A peer sending its tagged stream as a call's audio comes: 640 bytes every
// 10 ms, from its own thread, until stopped or done.
class StreamingPeer {
 public:
  StreamingPeer(unsigned id, FakeConnectionOwners& owners, uint32_t process) : stream_(TaggedStream(id, 2000000)) {
    uint16_t own = peer_.Bind();
    if (own != 0 && process != 0) owners.Set(own, process);
  }
  ~StreamingPeer() { Stop(); }

  bool Start(uint16_t port) {
    if (!peer_.Connect(port)) return false;
    thread_ = std::thread([this] {
      while (!stop_.load() && sent_.load() < stream_.size()) {
        if (!peer_.SendAll(stream_.substr(sent_.load(), 640))) break;
        sent_ += 640;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    return true;
  }
  // Stops sending; the connection stays open.
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  std::string sent() const { return stream_.substr(0, sent_.load()); }
  TestPeer& peer() { return peer_; }

 private:
  std::string stream_;
  TestPeer peer_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> sent_{0};
};

// The ids of the peers in the order their bytes reached the hand-off, one
// entry per change of peer.
class OrderSink {
 public:
  // The order first: a test that sees the bytes in tagged() then finds them
  // in order() as well.
  void operator()(const uint8_t* data, size_t n) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (size_t k = 0; k < n; ++k) {
        unsigned id = data[k] >> 2;
        if (order_.empty() || order_.back() != id) order_.push_back(id);
      }
    }
    tagged_(data, n);
  }
  std::vector<unsigned> order() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return order_;
  }
  TaggedSink& tagged() { return tagged_; }

 private:
  mutable std::mutex mutex_;
  std::vector<unsigned> order_;
  TaggedSink tagged_;
};

class ClientOnlyServer : public ::testing::Test {
 protected:
  FakeConnectionOwners owners;
  std::atomic<uint32_t> client{kClient};
  std::atomic<size_t> calls{1};
  ClientAdmission admission{owners, [this] { return client.load(); }, [this] { return calls.load(); }};
  OrderSink sink;
  AudioServer server{Direction::Out, 0, [this](const uint8_t* data, size_t n) { sink(data, n); }};

  void SetUp() override {
    server.eventSocket().SetAdmission(&admission);
    ASSERT_TRUE(StartAudioServer(server));
  }
  uint16_t port() { return server.ListeningPort(); }
  // The client's stream has reached the server: it streams.
  void WaitStreaming(unsigned id) {
    ASSERT_TRUE(WaitUntil([&] { return sink.tagged().streamOf(id).size() >= 6400; }));
  }
  // The server has accepted this many connections besides its listening
  // socket (an accepted connection is judged at once: taken, or held).
  bool WaitAccepted(size_t connections) {
    return WaitUntil([&] { return server.eventSocket().slotCount() == 1 + connections; });
  }
};

}  // namespace

TEST(ClientAdmission, TheClientsProcessIsTakenAnyOtherRefusedAndAnUnknownOwnerLeftToTheHold) {
  FakeConnectionOwners owners;
  uint32_t client = kClient;
  size_t calls = 0;
  ClientAdmission admission(owners, [&] { return client; }, [&] { return calls; });
  owners.Set(5001, kClient);
  owners.Set(5002, kStranger);
  owners.Set(5003, 0);  // listed, but the system does not say by whom (wine)
  using V = ConnectionAdmission::Verdict;
  EXPECT_EQ(admission.Judge(kLoopback, 5001, 6285), V::Take);
  EXPECT_EQ(admission.Judge(kLoopback, 5002, 6285), V::Refuse);
  EXPECT_EQ(admission.Judge(kLoopback, 5003, 6285), V::Unknown);
  EXPECT_EQ(admission.Judge(kLoopback, 5004, 6285), V::Unknown);  // not listed
  // The connection is looked up by the peer's end and our port.
  auto asked = owners.asked();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].address, kLoopback);
  EXPECT_EQ(asked[0].peerPort, 5001);
  EXPECT_EQ(asked[0].localPort, 6285);
  // Without an attached client, nobody with a known owner may send.
  client = 0;
  EXPECT_EQ(admission.Judge(kLoopback, 5001, 6285), V::Refuse);
  EXPECT_EQ(admission.Judge(kLoopback, 5004, 6285), V::Unknown);
  // One stream at least; as many as the client has calls.
  EXPECT_EQ(admission.Streams(), 1u);
  calls = 3;
  EXPECT_EQ(admission.Streams(), 3u);
}

TEST_F(ClientOnlyServer, AnotherProcesssConnectionIsClosedUnreadWhileTheClientsStreamGoesOn) {
  StreamingPeer call(1, owners, kClient);
  ASSERT_TRUE(call.Start(port()));
  WaitStreaming(1);
  TestPeer stranger;
  owners.Set(stranger.Bind(), kStranger);
  ASSERT_TRUE(stranger.Connect(port()));
  stranger.SendAll(TaggedStream(2, 6400));
  EXPECT_TRUE(stranger.WaitDroppedByServer(kGenerousDeadline));
  // A known stranger is refused even when nothing streams.
  call.Stop();
  TestPeer late;
  owners.Set(late.Bind(), kStranger);
  ASSERT_TRUE(late.Connect(port()));
  late.SendAll(TaggedStream(3, 640));
  EXPECT_TRUE(late.WaitDroppedByServer(kGenerousDeadline));
  const std::string sent = call.sent();
  ASSERT_TRUE(WaitUntil([&] { return sink.tagged().total() >= sent.size(); }));
  EXPECT_EQ(sink.tagged().streamOf(1), sent);
  EXPECT_EQ(sink.tagged().total(), sent.size());
  EXPECT_EQ(server.eventSocket().refusedConnections(), 2u);
}

TEST_F(ClientOnlyServer, UnknownOwnersAStrangerMidStreamIsHeldAndClosedWhetherItSendsOrIdles) {
  StreamingPeer call(1, owners, 0);
  ASSERT_TRUE(call.Start(port()));
  WaitStreaming(1);
  TestPeer talker, idler;
  ASSERT_TRUE(talker.Connect(port()));
  ASSERT_TRUE(talker.SendAll(TaggedStream(2, 6400)));
  talker.Close();
  ASSERT_TRUE(idler.Connect(port()));
  ASSERT_TRUE(WaitUntil([&] { return server.eventSocket().refusedConnections() == 1; }));
  // The idle one is closed once its hold is over, the client streaming all along.
  EXPECT_TRUE(idler.WaitDroppedByServer(kGenerousDeadline));
  EXPECT_EQ(server.eventSocket().refusedConnections(), 2u);
  call.Stop();
  const std::string sent = call.sent();
  ASSERT_TRUE(WaitUntil([&] { return sink.tagged().total() >= sent.size(); }));
  EXPECT_EQ(sink.tagged().streamOf(1), sent);
  EXPECT_EQ(sink.tagged().total(), sent.size());
  EXPECT_EQ(sink.order(), std::vector<unsigned>{1});
}

TEST_F(ClientOnlyServer, UnknownOwnersAConnectionHeldWhileTheClientStreamsIsTakenWhenThatStreamIsReset) {
  // The client resets its connection and connects again at once: the new
  // connection may be accepted before the reset is seen. Here it is surely
  // first, and what it sends meanwhile waits for the old stream to end.
  StreamingPeer first(1, owners, 0);
  ASSERT_TRUE(first.Start(port()));
  WaitStreaming(1);
  TestPeer again;
  ASSERT_TRUE(again.Connect(port()));
  const std::string whole = TaggedStream(2, 9600), early = whole.substr(0, 3200), late = whole.substr(3200);
  ASSERT_TRUE(again.SendAll(early));
  // Accepted while the first streams: held, its bytes kept back while the
  // first's go on arriving.
  ASSERT_TRUE(WaitAccepted(2));
  const size_t firstSoFar = sink.tagged().streamOf(1).size();
  ASSERT_TRUE(WaitUntil([&] { return sink.tagged().streamOf(1).size() >= firstSoFar + 6400; }));
  EXPECT_TRUE(sink.tagged().streamOf(2).empty());
  first.Stop();
  first.peer().Reset();
  ASSERT_TRUE(again.SendAll(late));
  ASSERT_TRUE(WaitUntil([&] { return sink.tagged().streamOf(2).size() >= early.size() + late.size(); }));
  EXPECT_EQ(sink.tagged().streamOf(2), early + late);
  // The first stream as far as it came, then the second whole: never mixed.
  const std::string firstSent = first.sent(), firstGot = sink.tagged().streamOf(1);
  EXPECT_EQ(firstGot, firstSent.substr(0, firstGot.size()));
  EXPECT_EQ(sink.order(), (std::vector<unsigned>{1, 2}));
  EXPECT_EQ(server.eventSocket().refusedConnections(), 0u);
}

TEST_F(ClientOnlyServer, UnknownOwnersOverlappingCallsStreamSideBySide) {
  calls.store(2);
  StreamingPeer one(1, owners, 0), two(2, owners, 0);
  ASSERT_TRUE(one.Start(port()));
  WaitStreaming(1);
  ASSERT_TRUE(two.Start(port()));
  WaitStreaming(2);
  one.Stop();
  two.Stop();
  const std::string a = one.sent(), b = two.sent();
  ASSERT_TRUE(WaitUntil([&] { return sink.tagged().total() >= a.size() + b.size(); }));
  EXPECT_EQ(sink.tagged().streamOf(1), a);
  EXPECT_EQ(sink.tagged().streamOf(2), b);
  EXPECT_EQ(sink.tagged().mixedChunks(), 0u);
  EXPECT_EQ(server.eventSocket().refusedConnections(), 0u);
}

TEST(ConnectionOwners, TheSystemsTableNamesThePeersEndOfALoopbackConnection) {
  AudioServer server(Direction::In, 0, [](const uint8_t*, size_t) {});
  ASSERT_TRUE(StartAudioServer(server));
  TestPeer peer;
  const uint16_t own = peer.Bind();
  ASSERT_NE(own, 0);
  ASSERT_TRUE(peer.Connect(server.ListeningPort()));
  auto owners = MakeSystemConnectionOwners();
  ConnectionOwner other = owners->Find(kLoopback, own, static_cast<uint16_t>(server.ListeningPort() + 1));
  EXPECT_FALSE(other.listed);
  ConnectionOwner found = owners->Find(kLoopback, own, server.ListeningPort());
#ifdef _WIN32
  EXPECT_TRUE(found.listed);
  // Wine lists every connection without its owner.
  EXPECT_TRUE(found.process == GetCurrentProcessId() || found.process == 0) << found.process;
#else
  EXPECT_FALSE(found.listed);  // natively no table is read
#endif
}
