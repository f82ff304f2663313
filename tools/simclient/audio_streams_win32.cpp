#include "tools/simclient/audio_streams_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "tools/simclient/client_state_win32.h"
#include "tools/simclient/logs_win32.h"
#include "tools/simclient/signal.h"

namespace simclient {

std::string StreamName(int32_t call, AudioDirection d) {
  return std::to_string(call) + " " + DirectionName(d);
}

namespace {

struct Stream {
  int32_t call;
  AudioDirection direction;
  int port;
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool reset = false;  // a reset step asks for an abortive close and a new connection
  bool ended = false;
  std::thread thread;
};

std::mutex streamsMutex;
std::map<std::pair<int32_t, AudioDirection>, std::shared_ptr<Stream>> streams;
std::map<std::pair<int32_t, AudioDirection>, std::shared_ptr<SignalGenerator>> generators;

std::wstring RawFilePath(int32_t call, AudioDirection d) {
  return logs.Path(L"call" + std::to_wstring(call) + (d == AudioDirection::Out ? L"_out.raw" : L"_in.raw"));
}

// The recorder listens for its whole run; a few tries cover a server that is
// just starting. Gives up early when the call ends meanwhile.
SOCKET Connect(Stream& stream) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(stream.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return s;
    closesocket(s);
    std::unique_lock<std::mutex> lock(stream.mutex);
    if (stream.changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return stream.stop; })) break;
  }
  return INVALID_SOCKET;
}

void StreamBody(Stream& stream, SignalGenerator& generator) {
  std::string name = StreamName(stream.call, stream.direction);
  SOCKET s = Connect(stream);
  if (s == INVALID_SOCKET) {
    logs.Event("connect-failed " + name + " " + std::to_string(stream.port));
    return;
  }
  logs.Event("connect " + name + " " + std::to_string(stream.port));
  FILE* raw = _wfopen(RawFilePath(stream.call, stream.direction).c_str(), L"ab");
  const size_t chunkSamples = static_cast<size_t>(kSampleRate * scenario.chunkMs / 1000);
  std::vector<int16_t> samples(chunkSamples);
  long long total = 0;
  auto key = std::make_pair(stream.call, stream.direction);
  // Chunks go out on a fixed schedule, so the stream keeps real time on
  // average even when one send is late.
  auto next = Clock::now();
  for (;;) {
    bool reset = false;
    {
      std::unique_lock<std::mutex> lock(stream.mutex);
      stream.changed.wait_until(lock, next, [&] { return stream.stop || stream.reset; });
      if (stream.stop) break;
      reset = std::exchange(stream.reset, false);
    }
    if (reset) {
      // SO_LINGER with a zero time: the close sends a reset, not an orderly end.
      linger abortive = {1, 0};
      setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
      closesocket(s);
      logs.Event("reset " + name);
      s = Connect(stream);
      if (s == INVALID_SOCKET) {
        logs.Event("connect-failed " + name + " " + std::to_string(stream.port));
        if (raw) fclose(raw);
        return;
      }
      logs.Event("connect " + name + " " + std::to_string(stream.port));
      continue;
    }
    generator.Fill(samples.data(), samples.size());
    const char* bytes = reinterpret_cast<const char*>(samples.data());
    size_t size = samples.size() * sizeof(int16_t), done = 0;
    bool failed = false;
    while (done < size) {
      int n = send(s, bytes + done, static_cast<int>(size - done), 0);
      if (n <= 0) {
        failed = true;
        break;
      }
      // Exactly what the connection took goes to the file.
      if (raw) {
        fwrite(bytes + done, 1, static_cast<size_t>(n), raw);
        fflush(raw);
      }
      done += static_cast<size_t>(n);
      total += n;
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.bytesSent[key] += n;
      shared.changed.notify_all();
    }
    if (failed) break;
    next += std::chrono::milliseconds(scenario.chunkMs);
  }
  if (raw) fclose(raw);
  shutdown(s, SD_SEND);
  closesocket(s);
  logs.Event("stream-end " + name + " " + std::to_string(total));
}

void RunStream(std::shared_ptr<Stream> stream, std::shared_ptr<SignalGenerator> generator) {
  StreamBody(*stream, *generator);
  std::lock_guard<std::mutex> lock(stream->mutex);
  stream->ended = true;
}

}  // namespace

void StartStream(int32_t call, AudioDirection direction, int port) {
  auto key = std::make_pair(call, direction);
  std::lock_guard<std::mutex> lock(streamsMutex);
  auto it = streams.find(key);
  if (it != streams.end()) {
    bool running;
    {
      std::lock_guard<std::mutex> streamLock(it->second->mutex);
      running = !it->second->stop && !it->second->ended;
    }
    if (running) return;  // this direction of the call streams already
    if (it->second->thread.joinable()) it->second->thread.join();
  }
  auto& generator = generators[key];
  if (!generator) {
    std::string error;
    generator = SignalGenerator::Create(scenario.AudioOf(call, direction), error);
    if (!generator) {
      logs.Event("signal-failed " + StreamName(call, direction) + " " + error);
      return;
    }
  }
  auto stream = std::make_shared<Stream>();
  stream->call = call;
  stream->direction = direction;
  stream->port = port;
  stream->thread = std::thread(RunStream, stream, generator);
  streams[key] = stream;
}

// Ends the streams of one call (or all, for `all`) and waits for them.
void StopStreams(int32_t call, bool all) {
  std::vector<std::shared_ptr<Stream>> stopping;
  {
    std::lock_guard<std::mutex> lock(streamsMutex);
    for (auto& entry : streams)
      if (all || entry.first.first == call) stopping.push_back(entry.second);
  }
  for (auto& stream : stopping) {
    std::lock_guard<std::mutex> lock(stream->mutex);
    stream->stop = true;
    stream->changed.notify_all();
  }
  std::lock_guard<std::mutex> lock(streamsMutex);
  for (auto& stream : stopping)
    if (stream->thread.joinable()) stream->thread.join();
}

bool ResetStream(int32_t call, AudioDirection direction) {
  std::shared_ptr<Stream> stream;
  {
    std::lock_guard<std::mutex> lock(streamsMutex);
    auto found = streams.find({call, direction});
    if (found != streams.end()) stream = found->second;
  }
  if (!stream) return false;
  std::lock_guard<std::mutex> lock(stream->mutex);
  stream->reset = true;
  stream->changed.notify_all();
  return true;
}

}  // namespace simclient
