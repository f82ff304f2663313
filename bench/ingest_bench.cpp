// Ingest to disk: how fast audio may arrive on a connection with every byte of
// it still reaching the stream file, against a bare loop in this same program
// that receives into a buffer and writes it to a file (recv, write, repeat).
//
// The bare loop keeps every byte at any rate: when it falls behind, TCP slows
// the sender. The recorder cannot slow the client that way (its receive thread
// never waits for the disk) and drops what its hand-off cannot hold, so it is
// offered a ladder of rates, paced by the sender, and a run counts only when
// the stream file holds every byte sent, in order. The figure is the highest
// rate reached by such a run.
//
//   ingest_bench [MiB per run, default 256] [folder, default /var/tmp]
//
// A run's time goes from the first byte sent to the last one in the file: for
// the bare loop its last write (and close), for the recorder the writer's end
// after its stop flag was set (what it held written, the header filled in).
// Neither flushes the file to the disk; both write into the page cache.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_recording.h"
#include "loopback.h"
#include "common/strings.h"
#include "net/audio_server.h"
#include "platform/file.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kPiece = 65536;  // what the sender hands to send() at a time

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The stream: 64 KiB pieces, each beginning with its own number, so that a
// lost or reordered piece shows in the file.
void NumberPiece(uint8_t* piece, uint64_t number) { std::memcpy(piece, &number, sizeof number); }

int ConnectTo(uint16_t port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(s);
    return -1;
  }
  return s;
}

// Sends `bytes` at `rate` bytes a second (0: as fast as the connection takes
// them), then closes. Returns when everything has been handed to the kernel.
bool SendPaced(uint16_t port, size_t bytes, double rate) {
  int s = ConnectTo(port);
  if (s < 0) return false;
  std::vector<uint8_t> piece(kPiece, 0x5A);
  const Clock::time_point start = Clock::now();
  bool ok = true;
  for (size_t sent = 0, number = 0; sent < bytes && ok; ++number) {
    if (rate > 0) {
      auto due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sent / rate));
      std::this_thread::sleep_until(due);
    }
    NumberPiece(piece.data(), number);
    size_t n = std::min(kPiece, bytes - sent);
    for (size_t done = 0; done < n;) {
      ssize_t got = send(s, piece.data() + done, n - done, MSG_NOSIGNAL);
      if (got <= 0) {
        ok = false;
        break;
      }
      done += static_cast<size_t>(got);
    }
    sent += n;
  }
  close(s);
  return ok;
}

// Every piece in its place.
bool StreamIntact(const std::string& path, uint64_t offset, size_t bytes) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  bool ok = true;
  for (uint64_t number = 0; number * kPiece < bytes && ok; ++number) {
    uint64_t got = ~0ull;
    ok = pread(fd, &got, sizeof got, static_cast<off_t>(offset + number * kPiece)) == sizeof got && got == number;
  }
  close(fd);
  return ok;
}

struct Run {
  double target = 0;    // bytes a second offered (0: unpaced)
  double achieved = 0;  // bytes a second, first byte sent to last byte in the file
  double kept = 0;      // share of the bytes that reached the file, in order
  double cpu = 0;       // processor seconds of the whole program (the sender's included) per GB
};

double ProcessorSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// --- The bare loop ---

Run BareLoop(const std::string& folder, size_t bytes, double rate) {
  Run run;
  run.target = rate;
  uint16_t port = 0;
  int listener = bench::ListenOnLoopback(4, port);
  if (listener < 0) return run;
  const std::string path = folder + "/bare-loop.raw";
  size_t written = 0;
  Clock::time_point end;
  std::thread loop([&] {
    int s = accept(listener, nullptr, nullptr);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[65536]);
    for (;;) {
      ssize_t got = recv(s, buffer.get(), 65536, 0);
      if (got <= 0) break;
      if (write(fd, buffer.get(), static_cast<size_t>(got)) != got) break;
      written += static_cast<size_t>(got);
    }
    close(fd);
    end = Clock::now();
    close(s);
  });
  double cpu = ProcessorSeconds();
  Clock::time_point start = Clock::now();
  SendPaced(port, bytes, rate);
  loop.join();
  run.cpu = (ProcessorSeconds() - cpu) / (bytes / 1e9);
  close(listener);
  run.achieved = bytes / Seconds(end - start);
  run.kept = written == bytes && StreamIntact(path, 0, bytes) ? 1.0 : static_cast<double>(written) / bytes;
  unlink(path.c_str());
  return run;
}

// --- The recorder: audio server, hand-off, writer ---

class Recorder {
 public:
  Recorder()
      : handoffTarget_(pipeline_.Handoff(Direction::Out),
               [this](size_t n) {
                 if (received_.fetch_add(n, std::memory_order_acq_rel) + n >= expected_.load()) {
                   std::lock_guard<std::mutex> lock(mutex_);
                   all_.notify_all();
                 }
               }),
        server_(Direction::Out, 0, handoffTarget_) {}

  bool Start() { return static_cast<bool>(StartAudioServer(server_)); }

  Run Record(const std::string& folder, size_t bytes, double rate, int number) {
    Run run;
    run.target = rate;
    std::wstring base = WideFromUtf8(folder) + L"/ingest " + std::to_wstring(number);
    received_ = 0;
    expected_ = bytes;
    if (!pipeline_.StartWriters(base, false)) return run;
    double cpu = ProcessorSeconds();
    Clock::time_point start = Clock::now();
    bool sent = SendPaced(server_.ListeningPort(), bytes, rate);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      all_.wait_for(lock, std::chrono::seconds(60), [&] { return received_.load() >= bytes; });
    }
    pipeline_.StopWriters();
    Clock::time_point end = Clock::now();
    run.cpu = (ProcessorSeconds() - cpu) / (bytes / 1e9);
    run.achieved = sent ? bytes / Seconds(end - start) : 0;
    std::string stream = Utf8FromWide(base) + "_Out.sky";
    uint64_t size = 0;
    QueryFileSize(base + L"_Out.sky", size);
    uint64_t data = size > 44 ? size - 44 : 0;
    run.kept = data == bytes && StreamIntact(stream, 44, bytes) ? 1.0 : static_cast<double>(data) / bytes;
    pipeline_.FinishWriters();  // the lone stream file becomes "<base>().wav"
    RemoveFile(base + L"().wav");
    RemoveFile(base + L"_Out.sky");
    return run;
  }

 private:
  bench::Pipeline pipeline_;
  bench::CountingTarget handoffTarget_;
  AudioServer server_;
  std::atomic<size_t> received_{0};
  std::atomic<size_t> expected_{~size_t{0}};
  std::mutex mutex_;
  std::condition_variable all_;
};

void Print(const char* what, const Run& run) {
  char target[32] = "unpaced";
  if (run.target > 0) std::snprintf(target, sizeof target, "%.0f MB/s", run.target / 1e6);
  std::printf("  %-10s offered %-12s reached %7.0f MB/s  kept %6.2f %%  %.2f processor s/GB\n", what, target,
              run.achieved / 1e6, 100 * run.kept, run.cpu);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t bytes = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256) << 20;
  const std::string folder = argc > 2 ? argv[2] : "/var/tmp";
  std::printf("Ingest to disk, %zu MiB a run, files in %s\n", bytes >> 20, folder.c_str());

  // The bare loop's rate: the median of its unpaced runs, made before the
  // ladder and between its rungs, since the machine's pace drifts.
  std::vector<double> bare;
  auto bareRun = [&] {
    Run run = BareLoop(folder, bytes, 0);
    Print("bare loop", run);
    if (run.kept == 1.0) bare.push_back(run.achieved);
  };
  auto bareRate = [&] {
    std::vector<double> sorted = bare;
    std::sort(sorted.begin(), sorted.end());
    return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
  };
  for (int i = 0; i < 3; ++i) bareRun();
  if (bare.empty()) {
    std::printf("the bare loop lost bytes\n");
    return 1;
  }
  const double ladderBase = bareRate();

  Recorder recorder;
  if (!recorder.Start()) {
    std::printf("the audio server did not start\n");
    return 1;
  }
  double best = 0;
  int number = 0;
  for (double share : {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 0.9, 0.95, 1.0, 1.1, 1.25, 0.0}) {
    Run run = recorder.Record(folder, bytes, share * ladderBase, number++);
    Print("recorder", run);
    if (run.kept == 1.0) best = std::max(best, run.achieved);
    if (number % 4 == 0) bareRun();
  }
  std::printf("bare loop, median of %zu runs: %.0f MB/s\n", bare.size(), bareRate() / 1e6);
  std::printf("recorder, highest rate with every byte kept: %.0f MB/s = %.2f x the bare loop\n", best / 1e6,
              best / bareRate());
  return 0;
}
