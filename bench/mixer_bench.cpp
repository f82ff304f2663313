// The mixers on two one-hour stream files (2 x 115,200,044 bytes), against a
// plain copy of the same bytes through the same file seam: both inputs read in
// 4 MiB chunks and the output's bytes written, without the sample arithmetic.
//
// The stream files are made once in CALVORO_BENCH_DIR (default: the current
// folder) and kept, so that run-mixer-bench.sh can give sox the same files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/strings.h"
#include "platform/file.h"
#include "record/mixer.h"
#include "record/wave_file.h"

namespace {

constexpr uint64_t kHourBytes = 16000ull * 2 * 3600;  // 115,200,000

std::wstring BenchDir() {
  const char* dir = std::getenv("CALVORO_BENCH_DIR");
  return WideFromUtf8(dir && *dir ? dir : ".");
}

std::wstring Base() { return BenchDir() + L"/bench-hour"; }

// Full-scale noise: the sums clip often, and nothing about the data lets the
// loop take a short cut.
bool MakeStream(const std::wstring& name, uint32_t seed) {
  uint64_t size = 0;
  if (QueryFileSize(name, size) && size == kHourBytes + kWaveHeaderBytes) return true;
  File file;
  if (!file.Create(name) || !WriteEmptyWaveHeader(file, 1)) return false;
  std::vector<int16_t> chunk(1 << 20);
  uint32_t x = seed;
  for (uint64_t done = 0; done < kHourBytes;) {
    for (size_t k = 0; k < chunk.size(); ++k) {
      x = x * 1103515245u + 12345u;
      chunk[k] = static_cast<int16_t>(static_cast<int32_t>(x >> 16) - 32768);
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size() * 2, kHourBytes - done));
    if (!file.Write(chunk.data(), n)) return false;
    done += n;
  }
  return FinishWaveHeader(file, 1);
}

bool Prepare(benchmark::State& state) {
  if (MakeStream(Base() + L"_Out.sky", 1) && MakeStream(Base() + L"_In.sky", 2)) return true;
  state.SkipWithError("cannot write the one-hour stream files");
  return false;
}

void Mix(benchmark::State& state, bool stereo) {
  if (!Prepare(state)) return;
  std::wstring output = BenchDir() + L"/bench-mixed.wav";
  for (auto _ : state) {
    if (!MixStreamFiles(Base(), output, stereo)) state.SkipWithError("mix failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kHourBytes));
  RemoveFile(output);
}

void BM_CombinInOutWave(benchmark::State& state) { Mix(state, false); }
void BM_CombinInOutWaveWithStereo(benchmark::State& state) { Mix(state, true); }

// The same reads and the mono output's writes, no arithmetic.
void BM_PlainCopy(benchmark::State& state) {
  if (!Prepare(state)) return;
  std::wstring output = BenchDir() + L"/bench-copy.wav";
  std::unique_ptr<char[]> a(new char[kMixChunkBytes]), b(new char[kMixChunkBytes]);
  for (auto _ : state) {
    File inA, inB, out;
    if (!inA.OpenExisting(Base() + L"_Out.sky") || !inB.OpenExisting(Base() + L"_In.sky") || !out.Create(output) ||
        !WriteEmptyWaveHeader(out, 1) || !inA.Seek(kWaveHeaderBytes) || !inB.Seek(kWaveHeaderBytes)) {
      state.SkipWithError("copy failed");
      break;
    }
    for (;;) {
      size_t gotA = 0, gotB = 0;
      inA.Read(a.get(), kMixChunkBytes, gotA);
      inB.Read(b.get(), kMixChunkBytes, gotB);
      if (gotA == 0 && gotB == 0) break;
      out.Write(a.get(), std::max(gotA, gotB));
    }
    FinishWaveHeader(out, 1);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kHourBytes));
  RemoveFile(output);
}

}  // namespace

BENCHMARK(BM_CombinInOutWave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CombinInOutWaveWithStereo)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
