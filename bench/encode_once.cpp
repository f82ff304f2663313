// Mixes one pair of stream files while the built-in encoders make the chosen
// formats of the mix, as a finished recording is made, and reports the time
// from start to every file checked and the process's peak resident memory:
//   encode_once <base path> <output.wav> <RecordFormat bits> [stereo]
// Used by encoder_compare.py. The stream files stay (the mix is repeatable).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/strings.h"
#include "record/builtin_encoders.h"
#include "record/mixer.h"
#include "record/wave_file.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: encode_once <base path> <output.wav> <formats> [stereo]\n");
    return 2;
  }
  bool stereo = argc > 4 && std::strcmp(argv[4], "stereo") == 0;
  uint8_t formats = static_cast<uint8_t>(std::atoi(argv[3]));
  std::wstring output = WideFromUtf8(argv[2]);
  auto start = std::chrono::steady_clock::now();
  BuiltInEncoders encoders(output, formats, stereo ? 2 : 1, kSampleRate);
  bool ok = MixStreamFiles(WideFromUtf8(argv[1]), output, stereo, &encoders) == MixResult::Mixed;
  double mixed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<BuiltInOutput> outputs = encoders.Finish();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const BuiltInOutput& o : outputs) {
    ok = ok && o.made;
    std::printf("  %s %s\n", Utf8FromWide(o.name).c_str(), o.made ? "made and checked" : "FAILED");
  }
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("built-in: %s; the mix written after %.2f s, every file checked after %.2f s; peak resident memory "
              "%.1f MiB\n",
              ok ? "ok" : "FAILED", mixed, seconds, usage.ru_maxrss / 1024.0);
  return ok ? 0 : 1;
}
