#include "net/event_socket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "net/event_socket_platform.h"

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
  if (EventSocketLocks* locks = locks_.exchange(nullptr)) platform::DestroyLocks(locks);
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
  EventSocketLocks* locks = nullptr;
  uint32_t result = platform::CreateLocks(locks);
  if (result != 0) return result;
  locks_.store(locks);
  return 0;
}

uint32_t CEventSocket::Lock() {
  uint32_t result = CreateLocks();
  if (result != 0) return result;
  EventSocketLocks* locks = locks_.load();
  result = platform::WaitGate(locks);
  if (result != 0) return result;
  return platform::LockMutex(locks);
}

void CEventSocket::Unlock() { platform::UnlockMutex(locks_.load()); }

uint32_t CEventSocket::LockForClosing() {
  uint32_t result = CreateLocks();
  if (result != 0) return result;
  EventSocketLocks* locks = locks_.load();
  // With the gate shut, the receive thread, once woken out of its wait and out
  // of the mutex, cannot take the mutex again before this thread has it.
  platform::ShutGate(locks);
  platform::FireWakeUp(locks);
  result = platform::LockMutex(locks);
  platform::OpenGate(locks);
  return result;
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
  AddSlot(socket, event, 0);
  // Loopback only: the client always runs on this machine, and no other host
  // should even reach the port.
  uint16_t boundPort = 0;
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

uint32_t CEventSocket::ProcessEvents(EventReport& report, const ChunkConsumer& consume) {
  report = EventReport{};
  struct Inside {
    std::atomic<int>& count;
    explicit Inside(std::atomic<int>& c) : count(c) { ++count; }
    ~Inside() { --count; }
  } inside(threadsInside_);

  uint32_t result = Lock();
  if (result != 0) return result;
  struct Unlocker {
    CEventSocket* object;
    ~Unlocker() { object->Unlock(); }  // also when the consumer throws
  } unlocker{this};
  return ProcessEventsLocked(report, consume);
}

uint32_t CEventSocket::ProcessEventsLocked(EventReport& report, const ChunkConsumer& consume) {
  for (size_t i = slotCount_.load(); i-- > 0;) {
    if (slots_[i].closed) RemoveSlot(i);
  }
  size_t n = slotCount_.load();
  if (n == 0) return kWsaENotConn;

  events_[0] = platform::WakeUpEntry(locks_.load());
  size_t index = 0;
  uint32_t result = RoundRobinWait(n + 1, index);
  if (result != 0) return result;
  if (index == 0) return 0;  // the wake-up

  size_t i = index - 1;
  uint32_t events = 0;
  uint32_t errors[kFdEventKinds] = {};
  result = platform::EnumNetworkEvents(slots_[i].socket, events_[index], events, errors);
  if (result != 0) {
    RemoveSlot(i);
    return result;
  }
  report.events = events;
  report.socket = slots_[i].socket;
  report.peerAddress = slots_[i].peerAddress;

  if (events & kFdAccept) {
    if (errors[kAcceptBit] != 0) return errors[kAcceptBit];
    NativeSocket accepted = kNoSocket;
    uint32_t peer = 0;
    result = platform::AcceptConnection(slots_[i].socket, &AcceptConditionOfObject, this, accepted, peer);
    if (result != 0) return result;
    NativeEvent event = 0;
    result = platform::CreateSocketEvent(accepted, event);
    if (result != 0) {
      platform::ShutdownAndClose(accepted);
      return result;
    }
    AddSlot(accepted, event, peer);
    report.socket = accepted;
    report.peerAddress = peer;
  }
  if (events & (kFdRead | kFdClose | kFdWrite)) return HandleConnection(i, events, errors, report, consume);
  return 0;
}

uint32_t CEventSocket::HandleConnection(size_t i, uint32_t events, const uint32_t* errors, EventReport& report,
                                        const ChunkConsumer& consume) {
  SocketSlot& slot = slots_[i];
  size_t total = 0;
  bool endOfStream = false;
  if (events & kFdRead) {
    if (errors[kReadBit] != 0) {
      RemoveSlot(i);
      return errors[kReadBit];
    }
    if (!slot.recvMemory) slot.recvMemory.reset(new (std::nothrow) RecvMemory());
    if (!slot.recvMemory) {
      RemoveSlot(i);
      return kWsaNotEnoughMemory;
    }
    size_t received = 0;
    uint32_t result = platform::Receive(slot.socket, receiveBuffer_.get(), kReceiveBufferSize, received);
    if (result == kWsaEWouldBlock) {
      received = 0;
    } else if (result != 0) {
      RemoveSlot(i);
      return result;
    }
    if (!slot.recvMemory->Append(receiveBuffer_.get(), received)) {
      RemoveSlot(i);
      return kWsaNotEnoughMemory;
    }
    endOfStream = result == 0 && received == 0;
    total += received;
    report.recvMemory = slot.recvMemory.get();
  }
  if ((events & kFdClose) && !endOfStream) {
    // The close indication comes after the last data in the stream, but that
    // data may still wait to be read: take all of it now, since the slot is
    // removed on the next call.
    if (!slot.recvMemory) slot.recvMemory.reset(new (std::nothrow) RecvMemory());
    if (slot.recvMemory) {
      for (;;) {
        size_t received = 0;
        if (platform::Receive(slot.socket, receiveBuffer_.get(), kReceiveBufferSize, received) != 0) break;
        if (received == 0) break;
        if (!slot.recvMemory->Append(receiveBuffer_.get(), received)) break;
        total += received;
      }
      if (total != 0) report.recvMemory = slot.recvMemory.get();
    }
  }
  report.bytesRead = total;
  if (events & kFdWrite) {
    if (errors[kWriteBit] != 0) {
      Deliver(i, report, consume);
      report.recvMemory = nullptr;
      RemoveSlot(i);
      return errors[kWriteBit];
    }
  }
  uint32_t result = 0;
  if (events & kFdClose) {
    slot.closed = true;
    result = errors[kCloseBit];
  }
  Deliver(i, report, consume);
  return result;
}

void CEventSocket::Deliver(size_t i, EventReport& report, const ChunkConsumer& consume) {
  if (report.recvMemory != nullptr && consume) consume(*slots_[i].recvMemory);
}

uint32_t CEventSocket::RoundRobinWait(size_t n, size_t& index) {
  // Start after the entry served last, so a connection that always has data
  // cannot keep the others waiting.
  for (size_t k = 1; k <= n; ++k) {
    size_t entry = (roundRobinIndex_ + k) % n;
    if (platform::EntrySignalled(events_, entry)) {
      roundRobinIndex_ = entry;
      index = entry;
      return 0;
    }
  }
  uint32_t result = platform::WaitForAnyEntry(events_, n, waitTimeout_.load(), index);
  if (result != 0) return result;
  roundRobinIndex_ = index;
  return 0;
}

void CEventSocket::AddSlot(NativeSocket socket, NativeEvent event, uint32_t peerAddress) {
  size_t n = slotCount_.load();
  slots_[n].socket = socket;
  slots_[n].peerAddress = peerAddress;
  slots_[n].closed = false;
  slots_[n].recvMemory.reset();
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
