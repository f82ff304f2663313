// The other end of the audio connections in tests: a plain TCP client that
// connects to the server under test, sends, closes in order or resets, and
// notices when the server drops it. Also the byte streams the peers send and a
// sink that sorts the received chunks back to their peers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TestPeer {
 public:
  TestPeer();
  ~TestPeer();
  TestPeer(const TestPeer&) = delete;
  TestPeer& operator=(const TestPeer&) = delete;

  // Binds a new socket to a free port of 127.0.0.1 before it connects, so the
  // peer's port is known before the server accepts it; 0 on failure.
  uint16_t Bind();
  // Blocking connect to address:port (address in dotted form), from the
  // socket Bind made if there is one. False on failure.
  bool Connect(uint16_t port, const char* address = "127.0.0.1");
  // Sends everything, blocking. False when the connection failed.
  bool SendAll(const std::string& bytes);
  // Sends without blocking until the connection takes no more (or limit bytes
  // have gone); returns the bytes sent, taken from the front of bytes.
  size_t SendUntilFull(const std::string& bytes);
  // Orderly close (FIN after all data).
  void Close();
  // Abortive close: SO_LINGER 0, so the server sees a reset.
  void Reset();
  // Waits until the server has closed or reset the connection (a receive sees
  // the end or an error). False when it is still open at the deadline.
  bool WaitDroppedByServer(std::chrono::milliseconds deadline);
  bool connected() const { return socket_ != kNone; }

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t socket_ = kNone;
  intptr_t bound_ = kNone;
};

// The machine's own address on the interface that routes outwards (network byte
// order), or 0 when it has none besides loopback.
uint32_t OutwardLocalAddress();
std::string DottedAddress(uint32_t networkOrderAddress);

// The bytes peer `id` (0 … 63) sends: each byte holds the id in its top six bits
// and two pseudo-random bits, so every byte names its peer and a lost, doubled
// or reordered piece shows.
std::string TaggedStream(unsigned id, size_t length);
// Random bytes from a seed.
std::string RandomBytes(uint32_t seed, size_t length);

// A sink that sorts chunks by the peer named in their bytes. Thread-safe.
class TaggedSink {
 public:
  void operator()(const uint8_t* data, size_t n);
  std::string streamOf(unsigned id) const;
  size_t total() const;
  size_t chunks() const;
  // Chunks that held bytes of more than one peer (must stay 0: one chunk comes
  // from one connection).
  size_t mixedChunks() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> streams_ = std::vector<std::string>(64);
  size_t total_ = 0;
  size_t chunks_ = 0;
  size_t mixed_ = 0;
};

// A sink that keeps everything in arrival order. Thread-safe.
class CollectingSink {
 public:
  void operator()(const uint8_t* data, size_t n);
  std::string bytes() const;
  size_t total() const;

 private:
  mutable std::mutex mutex_;
  std::string bytes_;
};
