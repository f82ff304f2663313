// The platform operations under CEventSocket, implemented once for Winsock
// (event_socket_win32.cpp) and once for POSIX sockets (event_socket_posix.cpp).
// Only event_socket.cpp and error_texts.cpp use them.
//
// Every result is 0 or a Windows Sockets error code. The event array that the
// waits take has the wake-up in entry 0 and one entry per slot after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/event_socket.h"

namespace event_socket_platform {

// The sockets library (WSAStartup with version 2.0, WSACleanup).
uint32_t StartSockets();
void StopSockets();

// The wake-up: a signal that the multi-event wait sees in entry 0, fired by
// Close so that a thread blocked in the wait returns (Windows: an auto-reset
// waitable timer; POSIX: a pipe).
struct WakeUp;
uint32_t CreateWakeUp(WakeUp*& wakeUp);
void DestroyWakeUp(WakeUp* wakeUp);
// Makes the wake-up fire at once.
void FireWakeUp(WakeUp* wakeUp);
NativeEvent WakeUpEntry(WakeUp* wakeUp);
// The wait has reported the wake-up: it no longer fires.
void ResetWakeUp(WakeUp* wakeUp);

// Waits up to timeoutMs (kInfiniteWait: without a limit) for any of the n
// entries. Every entry the platform reports signalled gets a nonzero
// readiness in ready[i] (what EnumNetworkEvents is given for it), the others
// 0. A platform whose wait names only one entry names the first signalled one
// from `first` on, cycling through all n. 0, kWaitTimedOut or an error.
uint32_t WaitForEntries(const NativeEvent* entries, size_t n, size_t first, uint32_t timeoutMs, uint32_t* ready);

// A TCP socket (AF_INET, SOCK_STREAM).
uint32_t OpenStreamSocket(NativeSocket& socket);
// An event for the socket, registered for every network event; the socket
// becomes non-blocking.
uint32_t CreateSocketEvent(NativeSocket socket, NativeEvent& event);
void CloseSocketEvent(NativeEvent event);
// Binds to the IPv4 address (network byte order) and port, listens, and reads
// back the bound port.
uint32_t BindAndListen(NativeSocket socket, uint32_t address, uint16_t port, int backlog,
                       uint16_t& boundPort);
// Fetches and resets the socket's recorded network events: kFd* bits, and for
// each bit k the error code that came with it in errors[k]. `readiness` is
// what the wait reported for the socket.
uint32_t EnumNetworkEvents(NativeSocket socket, NativeEvent event, bool listening, uint32_t readiness,
                           uint32_t& events, uint32_t errors[kFdEventKinds]);
// Accepts one pending connection if condition(context, peerAddress) allows it; a
// refused connection is dropped and the result is WSAECONNREFUSED. The peer's
// port comes in host byte order.
using AcceptConditionFunction = bool (*)(void* context, uint32_t peerAddress);
uint32_t AcceptConnection(NativeSocket listener, AcceptConditionFunction condition, void* context,
                          NativeSocket& accepted, uint32_t& peerAddress, uint16_t& peerPort);
// One receive call: 0 with the byte count (0 bytes at the end of the stream),
// WSAEWOULDBLOCK when nothing is there yet, or an error.
uint32_t Receive(NativeSocket socket, uint8_t* buffer, size_t capacity, size_t& received);
// Shuts the socket down in both directions and closes it.
void ShutdownAndClose(NativeSocket socket);

// The host name's IPv4 addresses (network byte order), in the lookup's order.
uint32_t LookUpHostAddresses(std::vector<uint32_t>& list);

// The system's own message for the code, as it comes (with its line end); false
// when the system has none.
bool SystemErrorMessage(uint32_t code, std::wstring& message);

}  // namespace event_socket_platform
