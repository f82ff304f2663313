// The audio servers: one per direction of a call, each listening on its port
// for the whole run of the main window and handing every chunk of bytes that
// the client sends to its target (the direction's StreamHandoff, which lets the
// reads land in its block) on a receive thread of its own. The servers never
// send, and they neither parse nor check the bytes.
//
// The recorder owns the two servers and, at start-up, calls
//   StartAudioServers(outServer, inServer);
// with outServer built as AudioServer(Direction::Out, kOutPort, target of Out)
// and inServer as AudioServer(Direction::In, kInPort, target of In). Each
// falls back on a free port when its own is taken; the ports listened on and
// what went wrong come back as a value. Destroying a
// server closes its sockets and waits for its receive thread to end.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "common/direction.h"
#include "net/event_socket.h"

// Takes every received chunk, the bytes of one read (at most 65,536); it runs on
// the receive thread and must copy what it keeps (the bytes are reused after it
// returns).
using AudioSink = std::function<void(const uint8_t* data, size_t n)>;

// What starting a server came to; true when it listens and receives.
struct ServerStart {
  enum Failure {
    kNone,
    kSocketInUse,   // its object already holds a socket ("Socket already in use!")
    kListenFailed,  // Listen failed ("Listen failed!"); `code` says why
    kNoThread,      // the receive thread could not be started
  };
  Failure failure = kNone;
  uint32_t code = 0;  // the Windows Sockets code of a failed Listen
  // The port listened on; when the server's own port could not be had
  // (`ownPortCode` says why), a free one that the system chose.
  uint16_t port = 0;
  uint32_t ownPortCode = 0;

  explicit operator bool() const { return failure == kNone; }
};

class AudioServer {
 public:
  // port 0 listens on any free port (tests); see ListeningPort. The target
  // must outlive the server.
  AudioServer(Direction direction, uint16_t port, ChunkTarget& target);
  AudioServer(Direction direction, uint16_t port, AudioSink sink);
  ~AudioServer();
  AudioServer(const AudioServer&) = delete;
  AudioServer& operator=(const AudioServer&) = delete;

  Direction direction() const { return direction_; }
  uint16_t port() const { return port_; }
  // The port the server listens on (the chosen one for port 0).
  uint16_t ListeningPort() const { return eventSocket_.LocalPort(); }
  CEventSocket& eventSocket() { return eventSocket_; }
  // The receive thread runs its loop.
  bool Receiving() const { return receiving_.load(); }
  // Closes every socket and waits until the receive thread has ended.
  void Stop();

 private:
  friend ServerStart StartAudioServer(AudioServer& server);
  friend void ReceiveLoop(AudioServer& server);

  class SinkTarget : public ChunkTarget {
   public:
    explicit SinkTarget(AudioSink sink) : sink_(std::move(sink)) {}
    void Take(const uint8_t* data, size_t n) override { sink_(data, n); }

   private:
    AudioSink sink_;
  };

  Direction direction_;
  uint16_t port_;
  SinkTarget sinkTarget_;
  ChunkTarget& target_;
  CEventSocket eventSocket_;
  std::thread receiveThread_;
  std::atomic<bool> receiving_{false};
  // The object listened when the thread was started (a Close may come before
  // the thread runs).
  bool listeningAtStart_ = false;
};

// Listens on the server's port, or on a free loopback port when that one
// cannot be had (another program listens on it), and starts its receive
// thread. The client is told the port listened on, so any port does.
ServerStart StartAudioServer(AudioServer& server);

struct AudioServersStart {
  // The lookup of the host's addresses failed with this code (0: it did not);
  // the servers are started all the same ("Error retrieving Local IP: %s").
  uint32_t localAddressError = 0;
  ServerStart out, in;
};

// The start-up of both servers: the host's addresses are looked up once on the
// Out server's object, then the Out server and the In server are started.
AudioServersStart StartAudioServers(AudioServer& outServer, AudioServer& inServer);

// The receive thread's loop: serves the object's events and hands received bytes
// to the sink until the object is emptied or an error other than one concerning
// a single connection occurs.
void ReceiveLoop(AudioServer& server);

// The errors that concern one connection only; the loop goes on after them.
bool IsConnectionError(uint32_t code);

