#include "net/audio_server.h"

#include <system_error>
#include <utility>
#include <vector>

#include "net/error_texts.h"
#include "platform/debug_trace.h"

AudioServer::AudioServer(Direction direction, uint16_t port, AudioSink sink)
    : direction_(direction), port_(port), sinkTarget_(std::move(sink)), target_(sinkTarget_) {}

AudioServer::AudioServer(Direction direction, uint16_t port, ChunkTarget& target)
    : direction_(direction), port_(port), sinkTarget_(nullptr), target_(target) {}

AudioServer::~AudioServer() { Stop(); }

void AudioServer::Stop() {
  if (eventSocket_.HoldsSockets()) eventSocket_.Close();
  if (receiveThread_.joinable()) receiveThread_.join();
}

bool IsConnectionError(uint32_t code) {
  return code == kWsaEConnAborted || code == kWsaEConnReset || code == kWsaEShutdown || code == kWsaEConnRefused;
}

ServerStart StartAudioServer(AudioServer& server) {
  ServerStart start;
  CEventSocket& socket = server.eventSocket_;
  if (socket.HoldsSockets()) {
    DebugTrace(L"Port %u: the server's socket is already in use", {static_cast<unsigned>(server.port_)});
    start.failure = ServerStart::kSocketInUse;
    return start;
  }
  // A thread from an earlier start has left its loop (its object is empty).
  if (server.receiveThread_.joinable()) server.receiveThread_.join();
  uint32_t result = socket.Listen(server.port_);
  if (result != 0 && server.port_ != 0) {
    // Another program (a second user's recorder, anything) may hold the
    // port: any free one serves as well, the client is told which.
    DebugTrace(L"Listen on port %u: %s; a free port is taken instead",
               {static_cast<unsigned>(server.port_), WsaErrorText(result)});
    if (socket.HoldsSockets()) socket.Close();
    start.ownPortCode = result;
    result = socket.Listen(0);
  }
  if (result != 0) {
    DebugTrace(L"No port to listen on for port %u: %s", {static_cast<unsigned>(server.port_), WsaErrorText(result)});
    if (socket.HoldsSockets()) socket.Close();
    start.failure = ServerStart::kListenFailed;
    start.code = result;
    return start;
  }
  start.port = socket.LocalPort();
  int state = socket.state();
  server.listeningAtStart_ = state == CEventSocket::kListening || state == CEventSocket::kListeningWithConnections;
  server.receiving_.store(true);
  try {
    server.receiveThread_ = std::thread(ReceiveLoop, std::ref(server));
  } catch (const std::system_error&) {
    server.receiving_.store(false);
    DebugTrace(L"Port %u: no receive thread could be started; its socket is closed",
               {static_cast<unsigned>(server.port_)});
    socket.Close();
    start.failure = ServerStart::kNoThread;
    return start;
  }
  return start;
}

AudioServersStart StartAudioServers(AudioServer& outServer, AudioServer& inServer) {
  AudioServersStart start;
  std::vector<uint32_t> addresses;
  start.localAddressError = outServer.eventSocket().GetLocalIPs(addresses);
  if (start.localAddressError != 0)
    DebugTrace(L"This computer's addresses could not be looked up: %s", {WsaErrorText(start.localAddressError)});
  start.out = StartAudioServer(outServer);
  start.in = StartAudioServer(inServer);
  return start;
}

void ReceiveLoop(AudioServer& server) {
  CEventSocket& socket = server.eventSocket_;
  for (;;) {
    EventReport report;
    uint32_t result = socket.ProcessEvents(report, server.target_);
    if (result == 0 || result == kWaitTimedOut) continue;
    // WSAENOTCONN says the table is empty, unless it came from one connection:
    // wine reports a reset connection so when it is read. That slot is gone,
    // and the others must not lose their audio for it.
    bool connectionGone = result == kWsaENotConn && socket.HoldsSockets();
    if (result == kWsaENotConn && !connectionGone) break;
    DebugTrace(L"Port %u: %s", {static_cast<unsigned>(server.port_), WsaErrorText(result)});
    // Whatever its code, an error of one connection or of one accept ends
    // only that connection: the direction goes on recording when the client
    // connects again. Only the listening socket's or the object's own failure
    // ends the server.
    bool oneConnection = report.errorSource == EventReport::Source::Connection ||
                         report.errorSource == EventReport::Source::Accept;
    if (!IsConnectionError(result) && !connectionGone && !oneConnection) break;
  }
  if (socket.HoldsSockets()) socket.Close();
  DebugTrace(server.listeningAtStart_ ? L"Port %u: the server has stopped"
                                      : L"Port %u: the server stopped before it listened",
             {static_cast<unsigned>(server.port_)});
  server.receiving_.store(false);
}
