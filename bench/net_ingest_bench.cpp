// Ingest over loopback: bytes sent by several client connections at once,
// received by an AudioServer's receive thread (CEventSocket, the round-robin
// wait, one read of at most 64 KiB per event) and copied by its sink into a
// 2 MiB block, as the hand-off's Append copies them. The raw case reads the same
// bytes with one plain blocking thread per connection and no table, for scale.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "net/audio_server.h"
#include "tests/net/test_peer.h"

namespace {

constexpr size_t kBytesPerRound = 64u << 20;  // 64 MiB per iteration, shared among the connections
constexpr size_t kBlock = 2u << 20;

// The hand-off's cost without its rules: a copy into a fixed block.
class CopySink {
 public:
  CopySink() : block_(new uint8_t[kBlock]) {}
  void Take(const uint8_t* data, size_t n) {
    while (n != 0) {
      size_t room = kBlock - used_;
      size_t piece = n < room ? n : room;
      std::memcpy(block_.get() + used_, data, piece);
      used_ = (used_ + piece) % kBlock;
      data += piece;
      n -= piece;
      total_.fetch_add(piece, std::memory_order_relaxed);
    }
  }
  size_t total() const { return total_.load(std::memory_order_relaxed); }

 private:
  std::unique_ptr<uint8_t[]> block_;
  size_t used_ = 0;
  std::atomic<size_t> total_{0};
};

void SendRound(std::vector<std::unique_ptr<TestPeer>>& peers, const std::string& share) {
  std::vector<std::thread> senders;
  for (auto& peer : peers) senders.emplace_back([&peer, &share] { peer->SendAll(share); });
  for (std::thread& sender : senders) sender.join();
}

void WaitForTotal(const std::function<size_t()>& total, size_t target) {
  while (total() < target) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void BM_AudioServerIngest(benchmark::State& state) {
  const size_t connections = static_cast<size_t>(state.range(0));
  CopySink sink;
  AudioServer server(Direction::Out, 0, [&sink](const uint8_t* data, size_t n) { sink.Take(data, n); });
  if (!StartAudioServer(server)) {
    state.SkipWithError("the server did not start");
    return;
  }
  std::vector<std::unique_ptr<TestPeer>> peers;
  for (size_t i = 0; i < connections; ++i) {
    peers.push_back(std::make_unique<TestPeer>());
    if (!peers.back()->Connect(server.ListeningPort())) {
      state.SkipWithError("connect failed");
      return;
    }
  }
  const std::string share(kBytesPerRound / connections, '\x5A');
  size_t target = 0;
  for (auto _ : state) {
    target += share.size() * connections;
    SendRound(peers, share);
    WaitForTotal([&] { return sink.total(); }, target);
  }
  state.SetBytesProcessed(static_cast<int64_t>(target));
  state.counters["connections"] = static_cast<double>(connections);
}

void BM_PlainLoopbackRead(benchmark::State& state) {
  const size_t connections = static_cast<size_t>(state.range(0));
  uint16_t port = 0;
  int listener = bench::ListenOnLoopback(64, port);
  if (listener < 0) {
    state.SkipWithError("listen failed");
    return;
  }
  std::vector<std::unique_ptr<TestPeer>> peers;
  std::vector<int> accepted;
  for (size_t i = 0; i < connections; ++i) {
    peers.push_back(std::make_unique<TestPeer>());
    peers.back()->Connect(port);
    accepted.push_back(accept(listener, nullptr, nullptr));
  }
  // One blocking reader per connection, each copying into its own block.
  std::atomic<size_t> total{0};
  std::vector<std::thread> readers;
  for (int s : accepted) {
    readers.emplace_back([s, &total] {
      std::unique_ptr<uint8_t[]> buffer(new uint8_t[65536]);
      std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
      size_t used = 0;
      for (;;) {
        ssize_t got = recv(s, buffer.get(), 65536, 0);
        if (got <= 0) return;
        size_t n = static_cast<size_t>(got);
        if (used + n > kBlock) used = 0;
        std::memcpy(block.get() + used, buffer.get(), n);
        used += n;
        total.fetch_add(n, std::memory_order_relaxed);
      }
    });
  }
  const std::string share(kBytesPerRound / connections, '\x5A');
  size_t target = 0;
  for (auto _ : state) {
    target += share.size() * connections;
    SendRound(peers, share);
    WaitForTotal([&] { return total.load(std::memory_order_relaxed); }, target);
  }
  for (auto& peer : peers) peer->Close();
  for (std::thread& reader : readers) reader.join();
  for (int s : accepted) close(s);
  close(listener);
  state.SetBytesProcessed(static_cast<int64_t>(target));
  state.counters["connections"] = static_cast<double>(connections);
}

}  // namespace

BENCHMARK(BM_AudioServerIngest)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoopbackRead)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
