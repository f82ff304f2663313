// Mixes one pair of stream files and reports the process's peak resident
// memory: mix_once <base path> <output> [stereo]. Used by mixer_compare.py to
// show that a mix's memory does not grow with the length of the call.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/strings.h"
#include "record/mixer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mix_once <base path> <output> [stereo]\n");
    return 2;
  }
  bool stereo = argc > 3 && std::strcmp(argv[3], "stereo") == 0;
  auto start = std::chrono::steady_clock::now();
  bool ok = MixStreamFiles(WideFromUtf8(argv[1]), WideFromUtf8(argv[2]), stereo) == MixResult::Mixed;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%s mix: %s in %.2f s, peak resident memory %.1f MiB\n", stereo ? "stereo" : "mono",
              ok ? "ok" : "FAILED", seconds, usage.ru_maxrss / 1024.0);
  return ok ? 0 : 1;
}
