// CEventSocket: a table of up to 63 TCP sockets (one listening socket and the
// connections it accepted), each with an event of its own, served by a single
// thread that waits on all of them at once and handles one socket's network
// events per ProcessEvents call.
//
// The logic (the table, the round-robin wait, the accept condition, the order in
// which events are handled, the locking that lets Close wake a blocked receive
// thread) is in event_socket.cpp. The platform operations it needs are in
// event_socket_win32.cpp (Winsock: WSAEventSelect, WSAWaitForMultipleEvents,
// WSAAccept, a waitable timer as the wake-up) and event_socket_posix.cpp (poll,
// a wake-up pipe).
//
// The receive path is kept lean, for a stream that may come fast: one wait
// reports every socket that is ready and each is then served in turn without
// another wait; a read that filled the whole buffer is followed, at the
// connection's next turn, by another read without a wait, as more is likely
// waiting (at most kServedPerWait turns pass between two waits, so a new event
// is never kept waiting long); and the bytes of a read go to the consumer
// straight from the receive buffer.
//
// Every result is 0 for success or a Windows Sockets error code, on every
// platform: the POSIX implementation translates errno values into the same codes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Results with a fixed meaning here.
constexpr uint32_t kWaitTimedOut = 1460;         // ERROR_TIMEOUT: the wait timed out
constexpr uint32_t kWsaNotEnoughMemory = 8;      // WSA_NOT_ENOUGH_MEMORY
constexpr uint32_t kWsaEWouldBlock = 10035;      // WSAEWOULDBLOCK
constexpr uint32_t kWsaEAddrInUse = 10048;       // WSAEADDRINUSE
constexpr uint32_t kWsaENetDown = 10050;         // WSAENETDOWN: no local address
constexpr uint32_t kWsaEConnAborted = 10053;     // WSAECONNABORTED
constexpr uint32_t kWsaEConnReset = 10054;       // WSAECONNRESET
constexpr uint32_t kWsaEIsConn = 10056;          // WSAEISCONN: Listen on an object that has sockets
constexpr uint32_t kWsaENotConn = 10057;         // WSAENOTCONN: the table is empty
constexpr uint32_t kWsaEShutdown = 10058;        // WSAESHUTDOWN
constexpr uint32_t kWsaEConnRefused = 10061;     // WSAECONNREFUSED: the accept condition said no
constexpr uint32_t kWsaSysCallFailure = 10107;   // WSASYSCALLFAILURE

// Network events, as the FD_* bits of Winsock.
constexpr uint32_t kFdRead = 1u << 0;
constexpr uint32_t kFdWrite = 1u << 1;
constexpr uint32_t kFdOob = 1u << 2;
constexpr uint32_t kFdAccept = 1u << 3;
constexpr uint32_t kFdConnect = 1u << 4;
constexpr uint32_t kFdClose = 1u << 5;
constexpr uint32_t kFdAllEvents = 1023;  // FD_ALL_EVENTS: the ten events above and QOS to address-list change
constexpr int kFdEventKinds = 10;        // FD_MAX_EVENTS: one error code per event bit

// The table: the listening socket and up to 62 connections. With the wake-up
// entry that makes 64 events, the most one multi-event wait takes.
constexpr size_t kMaxSlots = 63;
constexpr size_t kEventEntries = kMaxSlots + 1;
// One read takes at most this many bytes.
constexpr size_t kReceiveBufferSize = 65536;
// Sockets served, at most, on what one wait reported (and on reads that
// filled the buffer) before the next wait looks at every socket again.
constexpr size_t kServedPerWait = 8;
constexpr int kListenBacklog = 64;
// A connection whose owner is unknown, arriving while the connections already
// taken stream as many as may stream at once, is held: read but not handed on
// (at most kHeldBytes), and taken only once one of those streams ends within
// kHoldFor; otherwise closed with what it sent. A connection streams when
// bytes came from it in the last kStreamingWithin.
constexpr std::chrono::milliseconds kStreamingWithin{3000};
constexpr std::chrono::milliseconds kHoldFor{3000};
constexpr size_t kHeldBytes = 65536;
constexpr uint32_t kInfiniteWait = 0xFFFFFFFFu;

// Platform handles, widened to one type: SOCKET and WSAEVENT on Windows, file
// descriptors on POSIX.
using NativeSocket = uintptr_t;
using NativeEvent = uintptr_t;
constexpr NativeSocket kNoSocket = ~static_cast<NativeSocket>(0);

// A growable byte buffer: a connection's received bytes on their way to the
// consumer, which removes them from the front.
class RecvMemory {
 public:
  explicit RecvMemory(size_t capacity = kReceiveBufferSize);
  // Appends n bytes; when they do not fit, the buffer grows to the larger of twice
  // its capacity and count + n, keeping its contents. False when memory runs out
  // (nothing is appended then).
  bool Append(const uint8_t* data, size_t n);
  // Removes n bytes (at most count) from the front.
  void Consume(size_t n);
  void Clear() { count_ = 0; }

  const uint8_t* data() const { return data_.get(); }
  size_t count() const { return count_; }
  size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_;
  size_t count_ = 0;
};

struct SocketSlot {
  NativeSocket socket = kNoSocket;
  // The peer's IPv4 address as the accept call delivered it (network byte order);
  // 0 for the listening socket.
  uint32_t peerAddress = 0;
  bool listening = false;
  // The connection's close event was handled; the slot goes at the start of the
  // next ProcessEvents call.
  bool closed = false;
  // What the last wait reported for the socket and was not served yet (the
  // platform's readiness, nonzero when signalled).
  uint32_t ready = 0;
  // The last read filled the buffer: the next turn reads again without a wait.
  bool moreToRead = false;
  // The bytes read when no consumer takes them, or while the connection is
  // held; created on the slot's first read.
  std::unique_ptr<RecvMemory> recvMemory;
  uint16_t peerPort = 0;  // host byte order
  // Held: its owner is unknown and others stream (see kHoldFor).
  bool held = false;
  std::chrono::steady_clock::time_point acceptedAt{};
  std::chrono::steady_clock::time_point lastBytesAt{};  // when bytes last came; epoch: none yet
};

// What one ProcessEvents call served.
struct EventReport {
  NativeSocket socket = kNoSocket;  // the served slot's socket (a new connection's after an accept)
  uint32_t peerAddress = 0;
  uint32_t events = 0;              // the network events handled, kFd* bits
  // The slot's received bytes when data was read and no consumer took them;
  // valid until the next call of ProcessEvents or Close, and only for a caller
  // that no other thread can disturb. Null when the slot was removed in the same
  // call.
  RecvMemory* recvMemory = nullptr;
  size_t bytesRead = 0;             // bytes read in this call
  // With an error result, where it came from. An error of one accepted connection or of one
  // accept ends that connection (or that attempt) only; the listening socket
  // and the object go on. An error of the listening socket itself, or of the
  // object's wait, leaves nothing to serve.
  enum class Source : uint8_t { None, Object, Listener, Accept, Connection };
  Source errorSource = Source::None;
};

// Who may send through the object's connections; asked once for each accepted
// connection, on the thread in ProcessEvents, with the object locked.
class ConnectionAdmission {
 public:
  enum class Verdict {
    Take,     // the connection's owner may send
    Refuse,   // it may not: closed at once, nothing of it read
    Unknown,  // its owner is not known: held while others stream (kHoldFor)
  };
  virtual ~ConnectionAdmission() = default;
  // peerAddress in network byte order, the ports in host order.
  virtual Verdict Judge(uint32_t peerAddress, uint16_t peerPort, uint16_t localPort) = 0;
  // How many connections of unknown owners may stream at once (at least 1).
  virtual size_t Streams() = 0;
};

// The calls under CEventSocket that a test can make fail (InjectFault).
enum class SocketOp { Receive, Accept, Listen };

// Where the bytes of each read go. Called inside ProcessEvents while the object
// is locked, so a Close from another thread cannot free them meanwhile.
class ChunkTarget {
 public:
  virtual ~ChunkTarget() = default;
  // Room where the next read may put up to kReceiveBufferSize bytes itself,
  // which spares a copy; null when there is none: the read goes to the
  // object's own receive buffer and from there to Take.
  virtual uint8_t* ReceiveSpace() { return nullptr; }
  // The read put n bytes (at least one) into the room ReceiveSpace gave.
  virtual void Received(uint8_t* space, size_t n) { Take(space, n); }
  // A read's bytes in the object's receive buffer: the target copies what it
  // keeps.
  virtual void Take(const uint8_t* data, size_t n) = 0;
};

// A target that is one function taking each read's bytes.
using ChunkConsumer = std::function<void(const uint8_t* data, size_t n)>;

// 127.0.0.0/8, with the address in network byte order.
bool IsLoopbackAddress(uint32_t networkOrderAddress);
// The accept condition: a connection is taken only from a loopback peer and only
// while the table has room (slotCount below 63).
bool AcceptCondition(size_t slotCount, uint32_t peerAddress);

struct EventSocketLocks;  // the mutex, the gate and the platform's wake-up

class CEventSocket {
 public:
  enum State : int { kEmpty = 0, kListening = 2, kListeningWithConnections = 3 };

  CEventSocket();
  // Closes every socket, waits until no thread is inside ProcessEvents any more,
  // then frees the receive buffer and the locks. The receive thread must not call
  // ProcessEvents again after the destructor has begun (its owner joins it).
  ~CEventSocket();
  CEventSocket(const CEventSocket&) = delete;
  CEventSocket& operator=(const CEventSocket&) = delete;

  // Once per object: starts the sockets library and allocates the receive buffer.
  uint32_t Initialize();
  // Opens the listening socket on the loopback address and the given port (0: any
  // free port, see LocalPort). 10056 when the table already holds a socket.
  uint32_t Listen(uint16_t port);
  // Serves one socket's events; see the report. 10057 when the table is empty,
  // 1460 when the wait timed out, 0 when the wake-up fired.
  uint32_t ProcessEvents(EventReport& report, const ChunkConsumer& consume = {});
  uint32_t ProcessEvents(EventReport& report, ChunkTarget& target);
  // Removes every socket, waking a thread blocked in ProcessEvents first. 10057
  // when there is none.
  uint32_t Close();
  // This host's IPv4 addresses (network byte order), in the order of the name
  // lookup; 10050 when it has none.
  uint32_t GetLocalIPs(std::vector<uint32_t>& list);

  int state() const { return state_.load(); }
  size_t slotCount() const { return slotCount_.load(); }
  bool HoldsSockets() const { return slotCount_.load() != 0; }
  // The port the listening socket is bound to (the chosen one after Listen(0)).
  uint16_t LocalPort() const { return localPort_.load(); }
  // Who may send (null, the default: every accepted connection). Set before
  // Listen; it must outlive the object's connections.
  void SetAdmission(ConnectionAdmission* admission) { admission_.store(admission); }
  // Connections closed unread, or held and then closed, since the object was made.
  uint32_t refusedConnections() const { return refused_.load(); }
  // Listen sets the wait to INFINITE; tests that drive ProcessEvents themselves
  // shorten it afterwards so that a missing event cannot hang them.
  void SetWaitTimeout(uint32_t milliseconds) { waitTimeout_.store(milliseconds); }

  // Fault injection for tests, at the seam under the object: its next `count`
  // receive calls on accepted connections (SocketOp::Receive) or accept calls
  // (SocketOp::Accept) fail with `code` (a reset with an unusual code, an
  // accept without buffers), as the platform would report them.
  void InjectFault(SocketOp op, uint32_t code, int count = 1);
  void ClearFaults();

 private:
  // An injected fault: the code and how many calls are left to fail.
  struct Fault {
    std::atomic<uint32_t> code{0};
    std::atomic<int> left{0};
  };
  bool TakeFault(SocketOp op, uint32_t& code);
  uint32_t CreateLocks();
  uint32_t Lock();           // the gate, then the mutex
  void Unlock();
  uint32_t LockForClosing(); // wakes the waiting thread and keeps it out until unlocked
  uint32_t Wait(uint32_t timeoutMs);
  bool NextReady(size_t& index);
  uint32_t ProcessEventsWith(EventReport& report, ChunkTarget* target);
  uint32_t ProcessEventsGuarded(EventReport& report, ChunkTarget* target);
  uint32_t ServeSlot(size_t i, EventReport& report, ChunkTarget* target, bool& served);
  uint32_t HandleAccept(size_t i, const uint32_t* errors, EventReport& report);
  uint32_t HandleConnection(size_t i, uint32_t events, const uint32_t* errors, EventReport& report,
                            ChunkTarget* target);
  uint32_t Read(size_t i, EventReport& report, ChunkTarget* target, size_t& got, bool& endOfStream);
  void AddSlot(NativeSocket socket, NativeEvent event, uint32_t peerAddress, bool listening);
  void RemoveSlot(size_t i);
  void RemoveAllSlots();
  uint32_t ProcessEventsLocked(EventReport& report, ChunkTarget* target);
  // Takes, or closes, the held connections whose wait is over.
  void SettleHeld(ChunkTarget* target);
  size_t Streaming(std::chrono::steady_clock::time_point now) const;
  // How many connections of unknown owners may stream at once.
  size_t AllowedStreams() const;
  void Refuse(size_t i, const wchar_t* why);

  std::mutex initMutex_;          // Initialize may be reached from two threads
  std::atomic<bool> initialized_{false};
  size_t roundRobinIndex_ = 0;
  bool wakeUpReady_ = false;      // the last wait reported the wake-up, not served yet
  size_t servedSinceWait_ = 0;
  std::atomic<size_t> slotCount_{0};
  std::atomic<int> state_{kEmpty};
  NativeEvent events_[kEventEntries] = {};
  SocketSlot slots_[kMaxSlots];
  std::mutex locksMutex_;         // creation of the lock set
  std::atomic<EventSocketLocks*> locks_{nullptr};
  std::unique_ptr<uint8_t[]> receiveBuffer_;
  Fault faults_[3];
  std::atomic<uint32_t> waitTimeout_{kInfiniteWait};
  std::atomic<uint16_t> localPort_{0};
  std::atomic<int> threadsInside_{0};  // threads inside ProcessEvents, for the destructor
  std::atomic<ConnectionAdmission*> admission_{nullptr};
  std::atomic<uint32_t> refused_{0};
  size_t heldCount_ = 0;
};
