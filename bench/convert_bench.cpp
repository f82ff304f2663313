// What converting captured sound to 16 kHz mono int16 costs: one iteration
// converts one second of a device's audio, handed over in 10 ms packets as a
// shared-mode capture client receives them, so the time per iteration is the
// processor time per second of audio (1e7 ns = 1 % of a core).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "capture/audio_convert.h"

namespace {

// One second of speech-like sound (two tones and a little noise) in `f`'s format.
std::vector<uint8_t> OneSecond(const CaptureFormat& f) {
  std::vector<uint8_t> bytes(size_t(f.rate) * f.BytesPerFrame());
  uint32_t seed = 1;
  uint8_t* p = bytes.data();
  for (uint32_t i = 0; i < f.rate; ++i) {
    for (uint16_t c = 0; c < f.channels; ++c) {
      seed = seed * 1664525u + 1013904223u;
      double v = 0.3 * std::sin(2 * 3.14159265 * 440.0 * i / f.rate) +
                 0.2 * std::sin(2 * 3.14159265 * 2750.0 * i / f.rate) + 0.01 * (int32_t(seed) / 2147483648.0);
      if (f.kind == SampleKind::Float32) {
        float s = float(v);
        std::memcpy(p, &s, 4);
      } else {
        int32_t s = int32_t(v * 2147483647.0);
        uint32_t bytesPer = f.BytesPerSample();
        uint32_t u = uint32_t(s) >> (32 - 8 * bytesPer);
        for (uint32_t b = 0; b < bytesPer; ++b) p[b] = uint8_t(u >> (8 * b));
      }
      p += f.BytesPerSample();
    }
  }
  return bytes;
}

void ConvertOneSecond(benchmark::State& state, CaptureFormat f) {
  std::vector<uint8_t> audio = OneSecond(f);
  AudioConverter converter(f);
  std::vector<int16_t> out;
  out.reserve(kRecordRate + 16);
  const uint32_t packet = f.rate / 100;
  for (auto _ : state) {
    out.clear();
    for (uint32_t at = 0; at < f.rate; at += packet)
      converter.Convert(audio.data() + size_t(at) * f.BytesPerFrame(), std::min(packet, f.rate - at), out);
    benchmark::DoNotOptimize(out.data());
  }
}

CaptureFormat Format(uint32_t rate, uint16_t channels, SampleKind kind, uint32_t mask = 0) {
  CaptureFormat f;
  f.rate = rate;
  f.channels = channels;
  f.kind = kind;
  f.channelMask = mask;
  return f;
}

}  // namespace

BENCHMARK_CAPTURE(ConvertOneSecond, float_48k_stereo, Format(48000, 2, SampleKind::Float32));
BENCHMARK_CAPTURE(ConvertOneSecond, int16_44k1_stereo, Format(44100, 2, SampleKind::Int16));
BENCHMARK_CAPTURE(ConvertOneSecond, int24_96k_mono, Format(96000, 1, SampleKind::Int24));
BENCHMARK_CAPTURE(ConvertOneSecond, float_48k_7_1, Format(48000, 8, SampleKind::Float32, 0x63F));
BENCHMARK_CAPTURE(ConvertOneSecond, float_44k101_mono, Format(44101, 1, SampleKind::Float32));
BENCHMARK_CAPTURE(ConvertOneSecond, int16_16k_mono, Format(16000, 1, SampleKind::Int16));

BENCHMARK_MAIN();
