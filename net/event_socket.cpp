#include "net/event_socket.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "net/event_socket_platform.h"
#include "platform/debug_trace.h"

namespace platform = event_socket_platform;

namespace {

// Positions of the events' error codes (FD_*_BIT).
constexpr int kReadBit = 0;
constexpr int kWriteBit = 1;
constexpr int kAcceptBit = 3;
constexpr int kCloseBit = 5;


// 127.0.0.1 in network byte order, whatever the host's byte order.
uint32_t LoopbackAddress() {
  const uint8_t bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

}  // namespace

void CEventSocket::InjectFault(SocketOp op, uint32_t code, int count) {
  Fault& fault = faults_[static_cast<int>(op)];
  fault.code.store(code);
  fault.left.store(count);
}

void CEventSocket::ClearFaults() {
  for (Fault& fault : faults_) fault.left.store(0);
}

bool CEventSocket::TakeFault(SocketOp op, uint32_t& code) {
  Fault& fault = faults_[static_cast<int>(op)];
  for (int left = fault.left.load(); left > 0; left = fault.left.load()) {
    if (fault.left.compare_exchange_weak(left, left - 1)) {
      code = fault.code.load();
      return true;
    }
  }
  return false;
}

// --- RecvMemory ---

RecvMemory::RecvMemory(size_t capacity) : data_(new (std::nothrow) uint8_t[capacity]), capacity_(capacity) {
  if (!data_) capacity_ = 0;  // Append grows it, or reports that memory ran out
}

bool RecvMemory::Append(const uint8_t* data, size_t n) {
  if (n == 0) return true;
  if (count_ + n > capacity_) {
    size_t grown = std::max(capacity_ * 2, count_ + n);
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown]);
    if (!bigger) return false;
    if (count_ != 0) std::memcpy(bigger.get(), data_.get(), count_);
    data_ = std::move(bigger);
    capacity_ = grown;
  }
  std::memcpy(data_.get() + count_, data, n);
  count_ += n;
  return true;
}

void RecvMemory::Consume(size_t n) {
  n = std::min(n, count_);
  if (n == 0) return;
  std::memmove(data_.get(), data_.get() + n, count_ - n);
  count_ -= n;
}

// --- The accept condition ---

bool IsLoopbackAddress(uint32_t networkOrderAddress) {
  uint8_t bytes[4];
  std::memcpy(bytes, &networkOrderAddress, sizeof bytes);
  return bytes[0] == 127;
}

bool AcceptCondition(size_t slotCount, uint32_t peerAddress) {
  // The client runs on this machine; a peer from anywhere else could inject
  // audio into a recording or take the table's places.
  return slotCount < kMaxSlots && IsLoopbackAddress(peerAddress);
}

namespace {
bool AcceptConditionOfObject(void* context, uint32_t peerAddress) {
  return AcceptCondition(static_cast<CEventSocket*>(context)->slotCount(), peerAddress);
}
}  // namespace

// --- The lock set ---

// The object mutex, held by ProcessEvents from its start to its end (also while
// it blocks in the wait), and the gate before it, which Close shuts so that the
// receive thread, once woken out of its wait, cannot take the mutex again
// first. Both are the standard library's: they cost no call into the system
// unless a thread has to wait.
struct EventSocketLocks {
  std::mutex mutex;
  std::mutex gateMutex;
  std::condition_variable gateOpened;
  bool gateOpen = true;
  platform::WakeUp* wakeUp = nullptr;
};

// --- CEventSocket ---

CEventSocket::CEventSocket() = default;

CEventSocket::~CEventSocket() {
  if (initialized_.load()) Close();
  // Close woke a receive thread blocked in the wait; let it leave ProcessEvents
  // (it finds the table empty) before its buffer and locks go away.
  while (threadsInside_.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  RemoveAllSlots();
  if (initialized_.load()) platform::StopSockets();
  receiveBuffer_.reset();
  if (EventSocketLocks* locks = locks_.exchange(nullptr)) {
    platform::DestroyWakeUp(locks->wakeUp);
    delete locks;
  }
}

uint32_t CEventSocket::Initialize() {
  std::lock_guard<std::mutex> guard(initMutex_);
  if (initialized_.load()) return 0;
  if (!receiveBuffer_) {
    receiveBuffer_.reset(new (std::nothrow) uint8_t[kReceiveBufferSize]);
    if (!receiveBuffer_) return kWsaNotEnoughMemory;
  }
  uint32_t result = platform::StartSockets();
  if (result != 0) return result;
  initialized_.store(true);
  return 0;
}

uint32_t CEventSocket::CreateLocks() {
  if (locks_.load() != nullptr) return 0;
  std::lock_guard<std::mutex> guard(locksMutex_);
  if (locks_.load() != nullptr) return 0;
  std::unique_ptr<EventSocketLocks> locks(new (std::nothrow) EventSocketLocks);
  if (!locks) return kWsaNotEnoughMemory;
  uint32_t result = platform::CreateWakeUp(locks->wakeUp);
  if (result != 0) return result;
  locks_.store(locks.release());
  return 0;
}

uint32_t CEventSocket::Lock() {
  uint32_t result = CreateLocks();
  if (result != 0) return result;
  EventSocketLocks* locks = locks_.load();
  {
    std::unique_lock<std::mutex> gate(locks->gateMutex);
    locks->gateOpened.wait(gate, [locks] { return locks->gateOpen; });
  }
  locks->mutex.lock();
  return 0;
}

void CEventSocket::Unlock() { locks_.load()->mutex.unlock(); }

uint32_t CEventSocket::LockForClosing() {
  uint32_t result = CreateLocks();
  if (result != 0) return result;
  EventSocketLocks* locks = locks_.load();
  {
    std::lock_guard<std::mutex> gate(locks->gateMutex);
    locks->gateOpen = false;
  }
  platform::FireWakeUp(locks->wakeUp);
  locks->mutex.lock();
  {
    std::lock_guard<std::mutex> gate(locks->gateMutex);
    locks->gateOpen = true;
  }
  locks->gateOpened.notify_all();
  return 0;
}

uint32_t CEventSocket::Listen(uint16_t port) {
  uint32_t result = Initialize();
  if (result != 0) return result;
  if (HoldsSockets()) return kWsaEIsConn;
  result = Lock();
  if (result != 0) return result;
  if (HoldsSockets()) {
    Unlock();
    return kWsaEIsConn;
  }
  NativeSocket socket = kNoSocket;
  result = platform::OpenStreamSocket(socket);
  if (result != 0) {
    Unlock();
    return result;
  }
  NativeEvent event = 0;
  result = platform::CreateSocketEvent(socket, event);
  if (result != 0) {
    platform::ShutdownAndClose(socket);
    Unlock();
    return result;
  }
  AddSlot(socket, event, 0, true);
  // Loopback only: the client always runs on this machine, and no other host
  // should even reach the port.
  uint16_t boundPort = 0;
  if (!TakeFault(SocketOp::Listen, result))
    result = platform::BindAndListen(socket, LoopbackAddress(), port, kListenBacklog, boundPort);
  if (result != 0) {
    RemoveAllSlots();
    Unlock();
    return result;
  }
  localPort_.store(boundPort);
  state_.store(kListening);
  waitTimeout_.store(kInfiniteWait);
  Unlock();
  return 0;
}

namespace {
class ConsumerTarget : public ChunkTarget {
 public:
  explicit ConsumerTarget(const ChunkConsumer& consume) : consume_(consume) {}
  void Take(const uint8_t* data, size_t n) override { consume_(data, n); }

 private:
  const ChunkConsumer& consume_;
};
}  // namespace

uint32_t CEventSocket::ProcessEvents(EventReport& report, const ChunkConsumer& consume) {
  if (!consume) return ProcessEventsWith(report, nullptr);
  ConsumerTarget target(consume);
  return ProcessEventsWith(report, &target);
}

uint32_t CEventSocket::ProcessEvents(EventReport& report, ChunkTarget& target) {
  return ProcessEventsWith(report, &target);
}

uint32_t CEventSocket::ProcessEventsWith(EventReport& report, ChunkTarget* target) {
  report = EventReport{};
  uint32_t result = ProcessEventsGuarded(report, target);
  // What ServeSlot did not name came from the object: its lock or its wait.
  if (result != 0 && result != kWaitTimedOut && result != kWsaENotConn &&
      report.errorSource == EventReport::Source::None)
    report.errorSource = EventReport::Source::Object;
  return result;
}

uint32_t CEventSocket::ProcessEventsGuarded(EventReport& report, ChunkTarget* target) {
  struct Inside {
    std::atomic<int>& count;
    explicit Inside(std::atomic<int>& c) : count(c) { ++count; }
    ~Inside() { --count; }
  } inside(threadsInside_);

  uint32_t result = Lock();
  if (result != 0) return result;
  struct Unlocker {
    CEventSocket* object;
    ~Unlocker() { object->Unlock(); }  // also when the target throws
  } unlocker{this};
  return ProcessEventsLocked(report, target);
}

uint32_t CEventSocket::ProcessEventsLocked(EventReport& report, ChunkTarget* target) {
  SettleHeld(target);
  for (size_t i = slotCount_.load(); i-- > 0;) {
    if (slots_[i].closed) RemoveSlot(i);
  }
  if (slotCount_.load() == 0) return kWsaENotConn;

  for (;;) {
    // What the last wait reported is served first, one entry per call in
    // round-robin order, so a busy connection cannot starve the others; a new
    // wait looks at every entry again once that is done, or after
    // kServedPerWait turns.
    size_t index = 0;
    bool pending = NextReady(index);
    if (!pending || servedSinceWait_ >= kServedPerWait) {
      // A held connection's wait ends with time, not with an event.
      uint32_t timeout = waitTimeout_.load();
      if (heldCount_ != 0) timeout = std::min<uint32_t>(timeout, 100);
      uint32_t result = Wait(pending ? 0 : timeout);
      if (result == kWaitTimedOut && !pending) return kWaitTimedOut;
      if (result != 0 && result != kWaitTimedOut) return result;
      if (!NextReady(index)) return kWaitTimedOut;  // nothing to serve after all
    }
    ++servedSinceWait_;
    roundRobinIndex_ = index;
    if (index == 0) {  // the wake-up
      wakeUpReady_ = false;
      platform::ResetWakeUp(locks_.load()->wakeUp);
      return 0;
    }
    bool served = false;
    uint32_t result = ServeSlot(index - 1, report, target, served);
    if (served) return result;
  }
}

uint32_t CEventSocket::Wait(uint32_t timeoutMs) {
  size_t n = slotCount_.load() + 1;
  events_[0] = platform::WakeUpEntry(locks_.load()->wakeUp);
  uint32_t ready[kEventEntries] = {};
  servedSinceWait_ = 0;
  uint32_t result = platform::WaitForEntries(events_, n, (roundRobinIndex_ + 1) % n, timeoutMs, ready);
  if (result != 0) return result;
  if (ready[0] != 0) wakeUpReady_ = true;
  for (size_t i = 1; i < n; ++i) {
    if (ready[i] != 0) slots_[i - 1].ready = ready[i];
  }
  return 0;
}

bool CEventSocket::NextReady(size_t& index) {
  // Starting after the entry served last.
  size_t n = slotCount_.load() + 1;
  for (size_t k = 1; k <= n; ++k) {
    size_t entry = (roundRobinIndex_ + k) % n;
    bool ready = entry == 0 ? wakeUpReady_ : (slots_[entry - 1].ready != 0 || slots_[entry - 1].moreToRead);
    if (ready) {
      index = entry;
      return true;
    }
  }
  return false;
}

uint32_t CEventSocket::ServeSlot(size_t i, EventReport& report, ChunkTarget* target, bool& served) {
  SocketSlot& slot = slots_[i];
  const uint32_t readiness = slot.ready;
  slot.ready = 0;
  slot.moreToRead = false;
  report.socket = slot.socket;
  report.peerAddress = slot.peerAddress;
  report.errorSource = slot.listening ? EventReport::Source::Listener : EventReport::Source::Connection;
  served = true;

  if (readiness == 0) {
    // The last read filled the buffer: read again without a wait. Nothing
    // there after all is no event.
    size_t got = 0;
    bool endOfStream = false;
    uint32_t result = Read(i, report, target, got, endOfStream);
    report.events = kFdRead;
    if (result != 0) {
      report.recvMemory = nullptr;
      RemoveSlot(i);
      return result;
    }
    if (endOfStream) {
      report.events |= kFdClose;
      slots_[i].closed = true;
    }
    served = got != 0 || endOfStream;
    return 0;
  }

  uint32_t events = 0;
  uint32_t errors[kFdEventKinds] = {};
  uint32_t result = platform::EnumNetworkEvents(slot.socket, events_[i + 1], slot.listening, readiness, events, errors);
  if (result != 0) {
    RemoveSlot(i);
    return result;
  }
  report.events = events;
  if (events & kFdAccept) {
    // An accept that fails (no buffers, a refused or vanished peer) loses
    // that one connection; the listening socket stays.
    report.errorSource = EventReport::Source::Accept;
    result = HandleAccept(i, errors, report);
    if (result != 0) return result;
  }
  if (events & (kFdRead | kFdClose | kFdWrite)) return HandleConnection(i, events, errors, report, target);
  return 0;
}

uint32_t CEventSocket::HandleAccept(size_t i, const uint32_t* errors, EventReport& report) {
  if (errors[kAcceptBit] != 0) return errors[kAcceptBit];
  NativeSocket accepted = kNoSocket;
  uint32_t peer = 0;
  uint16_t peerPort = 0;
  uint32_t result =
      platform::AcceptConnection(slots_[i].socket, &AcceptConditionOfObject, this, accepted, peer, peerPort);
  uint32_t fault = 0;
  // An injected fault loses the connection as the platform loses it when it
  // fails late in the accept (for lack of buffers, say).
  if (result == 0 && TakeFault(SocketOp::Accept, fault)) {
    platform::ShutdownAndClose(accepted);
    accepted = kNoSocket;
    result = fault;
  }
  if (result != 0) return result;
  ConnectionAdmission* admission = admission_.load();
  const ConnectionAdmission::Verdict verdict =
      admission ? admission->Judge(peer, peerPort, localPort_.load()) : ConnectionAdmission::Verdict::Take;
  if (verdict == ConnectionAdmission::Verdict::Refuse) {
    // Counted first: whoever sees the connection closed sees it counted.
    uint32_t refused = ++refused_;
    platform::ShutdownAndClose(accepted);
    DebugTrace(L"Port %u: a connection from a process other than the client's (port %u) closed unread; %u so far",
               {static_cast<unsigned>(localPort_.load()), static_cast<unsigned>(peerPort), refused});
    return kWsaEConnRefused;
  }
  NativeEvent event = 0;
  result = platform::CreateSocketEvent(accepted, event);
  if (result != 0) {
    platform::ShutdownAndClose(accepted);
    return result;
  }
  const auto now = std::chrono::steady_clock::now();
  // Counted before the new slot joins the table.
  const bool hold = verdict == ConnectionAdmission::Verdict::Unknown && Streaming(now) >= AllowedStreams();
  AddSlot(accepted, event, peer, false);
  SocketSlot& slot = slots_[slotCount_.load() - 1];
  slot.peerPort = peerPort;
  slot.acceptedAt = now;
  if (hold) {
    slot.held = true;
    ++heldCount_;
    DebugTrace(L"Port %u: a connection of unknown owner (port %u) arrived while audio streams; held unread",
               {static_cast<unsigned>(localPort_.load()), static_cast<unsigned>(peerPort)});
  }
  report.socket = accepted;
  report.peerAddress = peer;
  return 0;
}

size_t CEventSocket::Streaming(std::chrono::steady_clock::time_point now) const {
  size_t streaming = 0;
  for (size_t k = 0; k < slotCount_.load(); ++k) {
    const SocketSlot& slot = slots_[k];
    if (slot.listening || slot.held || slot.closed) continue;
    if (slot.lastBytesAt.time_since_epoch().count() != 0 && now - slot.lastBytesAt <= kStreamingWithin) ++streaming;
  }
  return streaming;
}

size_t CEventSocket::AllowedStreams() const {
  // Held connections exist only under an admission; without one nothing is held.
  ConnectionAdmission* admission = admission_.load();
  return admission ? std::max<size_t>(1, admission->Streams()) : kMaxSlots;
}

void CEventSocket::Refuse(size_t i, const wchar_t* why) {
  const size_t dropped = slots_[i].recvMemory ? slots_[i].recvMemory->count() : 0;
  const unsigned port = slots_[i].peerPort;
  uint32_t refused = ++refused_;
  RemoveSlot(i);
  DebugTrace(L"Port %u: the held connection (port %u) closed %s, %u bytes dropped; %u refused so far",
             {static_cast<unsigned>(localPort_.load()), port, why, static_cast<unsigned>(dropped),
              refused});
}

void CEventSocket::SettleHeld(ChunkTarget* target) {
  if (heldCount_ == 0) return;
  const auto now = std::chrono::steady_clock::now();
  const size_t streams = AllowedStreams();
  size_t streaming = Streaming(now);
  for (size_t i = slotCount_.load(); i-- > 0;) {
    SocketSlot& slot = slots_[i];
    if (!slot.held) continue;
    if (slot.closed) {
      // Whatever it sent came while another stream went on.
      Refuse(i, L"before it could be taken");
    } else if (streaming < streams) {
      // The stream before it has ended (a client connecting again after a
      // reset): it is taken with what it sent meanwhile, in order.
      slot.held = false;
      --heldCount_;
      ++streaming;
      DebugTrace(L"Port %u: the held connection (port %u) taken: the stream before it has ended",
                 {static_cast<unsigned>(localPort_.load()), static_cast<unsigned>(slot.peerPort)});
      if (target && slot.recvMemory && slot.recvMemory->count() != 0) {
        target->Take(slot.recvMemory->data(), slot.recvMemory->count());
        slot.recvMemory->Clear();
      }
    } else if (now - slot.acceptedAt > kHoldFor) {
      Refuse(i, L"while audio still streams on another");
    }
  }
}

uint32_t CEventSocket::Read(size_t i, EventReport& report, ChunkTarget* target, size_t& got, bool& endOfStream) {
  SocketSlot& slot = slots_[i];
  got = 0;
  endOfStream = false;
  // Straight into the target's room when it has one; a held connection's
  // bytes stay with it.
  uint8_t* room = target && !slot.held ? target->ReceiveSpace() : nullptr;
  uint32_t result = 0;
  if (!TakeFault(SocketOp::Receive, result))
    result = platform::Receive(slot.socket, room ? room : receiveBuffer_.get(), kReceiveBufferSize, got);
  if (result == kWsaEWouldBlock) {
    got = 0;
    return 0;
  }
  if (result != 0) return result;
  endOfStream = got == 0;
  slot.moreToRead = got == kReceiveBufferSize;
  report.bytesRead += got;
  if (got == 0) return 0;
  slot.lastBytesAt = std::chrono::steady_clock::now();
  if (slot.held) {
    if (!slot.recvMemory) slot.recvMemory.reset(new (std::nothrow) RecvMemory());
    // More than a held connection may keep: it is closed at the next call.
    if (!slot.recvMemory || slot.recvMemory->count() + got > kHeldBytes ||
        !slot.recvMemory->Append(receiveBuffer_.get(), got)) {
      slot.closed = true;
      slot.moreToRead = false;
    }
    return 0;
  }
  if (room) {
    target->Received(room, got);
    return 0;
  }
  if (target) {
    target->Take(receiveBuffer_.get(), got);
    return 0;
  }
  // No target: the bytes wait in the slot's memory for the caller.
  if (!slot.recvMemory) slot.recvMemory.reset(new (std::nothrow) RecvMemory());
  if (!slot.recvMemory || !slot.recvMemory->Append(receiveBuffer_.get(), got)) return kWsaNotEnoughMemory;
  report.recvMemory = slot.recvMemory.get();
  return 0;
}

uint32_t CEventSocket::HandleConnection(size_t i, uint32_t events, const uint32_t* errors, EventReport& report,
                                        ChunkTarget* target) {
  bool endOfStream = false;
  if (events & kFdRead) {
    if (errors[kReadBit] != 0) {
      RemoveSlot(i);
      return errors[kReadBit];
    }
    size_t got = 0;
    uint32_t result = Read(i, report, target, got, endOfStream);
    if (result != 0) {
      report.recvMemory = nullptr;
      RemoveSlot(i);
      return result;
    }
    // The end of the stream is the connection's close, whether or not the
    // platform has reported it yet.
    if (endOfStream) events |= kFdClose;
  }
  if ((events & kFdClose) && !endOfStream) {
    // The close indication comes after the last data in the stream, but that
    // data may still wait to be read: take all of it now, since the slot is
    // removed on the next call.
    for (;;) {
      size_t got = 0;
      bool end = false;
      if (Read(i, report, target, got, end) != 0 || got == 0) break;
    }
    slots_[i].moreToRead = false;
  }
  report.events = events;
  if ((events & kFdWrite) && errors[kWriteBit] != 0) {
    report.recvMemory = nullptr;
    RemoveSlot(i);
    return errors[kWriteBit];
  }
  if (events & kFdClose) {
    slots_[i].closed = true;
    slots_[i].moreToRead = false;
    return errors[kCloseBit];
  }
  return 0;
}

void CEventSocket::AddSlot(NativeSocket socket, NativeEvent event, uint32_t peerAddress, bool listening) {
  size_t n = slotCount_.load();
  slots_[n] = SocketSlot{};
  slots_[n].socket = socket;
  slots_[n].peerAddress = peerAddress;
  slots_[n].listening = listening;
  events_[n + 1] = event;
  slotCount_.store(n + 1);
  if (state_.load() == kListening) state_.store(kListeningWithConnections);
}

void CEventSocket::RemoveSlot(size_t i) {
  size_t n = slotCount_.load();
  if (i >= n) return;
  platform::ShutdownAndClose(slots_[i].socket);
  platform::CloseSocketEvent(events_[i + 1]);
  slots_[i].recvMemory.reset();
  if (slots_[i].held) --heldCount_;
  size_t last = n - 1;
  if (i != last) {
    // The last slot takes the freed place; the table keeps no order.
    slots_[i] = std::move(slots_[last]);
    events_[i + 1] = events_[last + 1];
  }
  slots_[last] = SocketSlot{};
  events_[last + 1] = 0;
  slotCount_.store(last);
  if (last == 0) {
    state_.store(kEmpty);
  } else if (last == 1 && state_.load() == kListeningWithConnections) {
    state_.store(kListening);
  }
}

void CEventSocket::RemoveAllSlots() {
  for (size_t i = slotCount_.load(); i-- > 0;) RemoveSlot(i);
}

uint32_t CEventSocket::Close() {
  if (!HoldsSockets()) return kWsaENotConn;
  uint32_t result = LockForClosing();
  if (result != 0) return result;
  if (!HoldsSockets()) {
    Unlock();
    return kWsaENotConn;
  }
  RemoveAllSlots();
  Unlock();
  return 0;
}

uint32_t CEventSocket::GetLocalIPs(std::vector<uint32_t>& list) {
  list.clear();
  uint32_t result = Initialize();
  if (result != 0) return result;
  result = platform::LookUpHostAddresses(list);
  if (result != 0) return result;
  return list.empty() ? kWsaENetDown : 0;
}
