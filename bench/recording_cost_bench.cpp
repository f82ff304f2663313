// What a running recording costs: a two-direction recording of audio that
// arrives at the real rate, 640 bytes every 20 ms on each of the two
// connections, as the client sends it. Prints the processor time and the
// context switches of this process (the two audio servers' receive threads and
// the two writers; nothing else runs in it meanwhile) over the measured span.
//
//   recording_cost_bench [seconds, default 60] [folder, default /var/tmp]
//
// The client is a child process, forked before any thread starts, so that its
// own work is not counted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_recording.h"
#include "common/strings.h"
#include "net/audio_server.h"
#include "platform/file.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kChunkBytes = 640;  // 20 ms of 16-bit mono at 16 kHz
constexpr auto kChunkPeriod = std::chrono::milliseconds(20);

// The client: connects to both ports, then sends one chunk on each every 20 ms
// for `seconds`, and closes.
int Client(int portsPipe, double seconds) {
  uint16_t ports[2];
  if (read(portsPipe, ports, sizeof ports) != sizeof ports) return 1;
  int sockets[2];
  for (int i = 0; i < 2; ++i) {
    sockets[i] = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(ports[i]);
    if (connect(sockets[i], reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return 1;
  }
  std::vector<char> chunk(kChunkBytes, 0x11);
  const Clock::time_point start = Clock::now();
  const auto chunks = static_cast<long>(seconds * 50);
  for (long k = 0; k < chunks; ++k) {
    std::this_thread::sleep_until(start + k * kChunkPeriod);
    for (int s : sockets)
      if (send(s, chunk.data(), chunk.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(chunk.size())) return 1;
  }
  for (int s : sockets) close(s);
  return 0;
}

struct Usage {
  double cpu = 0;             // user + system seconds
  long voluntary = 0;         // the process blocked: a wake-up followed
  long involuntary = 0;       // the process was preempted
};

Usage Now() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  Usage now;
  now.cpu = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  now.voluntary = u.ru_nvcsw;
  now.involuntary = u.ru_nivcsw;
  return now;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  const std::string folder = argc > 2 ? argv[2] : "/var/tmp";
  int portsPipe[2];
  if (pipe(portsPipe) != 0) return 1;
  // The client streams a little longer than the span measured.
  pid_t client = fork();
  if (client == 0) {
    close(portsPipe[1]);
    _exit(Client(portsPipe[0], seconds + 4));
  }
  close(portsPipe[0]);

  std::atomic<long> chunks{0};
  std::atomic<size_t> bytes{0};
  auto count = [&](size_t n) {
    chunks.fetch_add(1, std::memory_order_relaxed);
    bytes.fetch_add(n, std::memory_order_relaxed);
  };
  bench::Pipeline pipeline;
  bench::CountingTarget outTarget(pipeline.Handoff(Direction::Out), count),
      inTarget(pipeline.Handoff(Direction::In), count);
  AudioServer out(Direction::Out, 0, outTarget);
  AudioServer in(Direction::In, 0, inTarget);
  std::wstring base = WideFromUtf8(folder) + L"/recording-cost";
  if (!StartAudioServer(out) || !StartAudioServer(in) || !pipeline.StartWriters(base, true)) {
    std::printf("the servers or the writers did not start\n");
    kill(client, SIGKILL);
    return 1;
  }
  uint16_t ports[2] = {out.ListeningPort(), in.ListeningPort()};
  if (write(portsPipe[1], ports, sizeof ports) != sizeof ports) return 1;

  // Measured from two seconds into the call, once both connections stream.
  while (bytes.load() < 2 * kChunkBytes) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const Usage before = Now();
  const long chunksBefore = chunks.load();
  const Clock::time_point start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const Usage after = Now();
  const double span = std::chrono::duration<double>(Clock::now() - start).count();
  const long chunksIn = chunks.load() - chunksBefore;

  int status = 0;
  waitpid(client, &status, 0);
  pipeline.StopWriters();
  pipeline.FinishWriters();
  uint64_t size = 0;
  QueryFileSize(base + L"().wav", size);
  RemoveFile(base + L"().wav");

  std::printf("Two-direction recording of audio at the real rate, %.0f s measured\n", span);
  std::printf("  processor time      %8.3f s  = %.3f %% of one core\n", after.cpu - before.cpu,
              100 * (after.cpu - before.cpu) / span);
  std::printf("  context switches    %8.1f /s (voluntary %.1f /s, involuntary %.1f /s)\n",
              (after.voluntary + after.involuntary - before.voluntary - before.involuntary) / span,
              (after.voluntary - before.voluntary) / span, (after.involuntary - before.involuntary) / span);
  std::printf("  chunks received     %8.1f /s\n", chunksIn / span);
  std::printf("  mixed recording     %llu bytes (client %s)\n", static_cast<unsigned long long>(size),
              WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "ended cleanly" : "FAILED");
  return 0;
}
