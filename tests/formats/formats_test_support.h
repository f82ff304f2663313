// What the format and playback tests share: test signals, files made of them
// by the program's own writers and encoders, reading a source to its end, and
// how close a lossy decode is to its source.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/audio_encoder.h"
#include "formats/playback_source.h"
#include "platform/file.h"
#include "tests/support/sample_bytes.h"
#include "tests/support/temp_dir.h"

// A rising tone in each channel (300 to 1500 Hz left, 500 to 2500 Hz right,
// over `seconds`), as interleaved samples: no stretch of it repeats another,
// so a decode that is early or late by any number of frames shows.
inline std::vector<int16_t> Sweep(uint16_t channels, uint32_t rate, double seconds) {
  const size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> samples(frames * channels);
  for (size_t k = 0; k < frames; ++k)
    for (uint16_t c = 0; c < channels; ++c) {
      const double t = static_cast<double>(k) / rate, from = c == 0 ? 300 : 500, to = c == 0 ? 1500 : 2500;
      samples[k * channels + c] =
          static_cast<int16_t>(12000 * std::sin(2 * 3.14159265358979 * (from * t + (to - from) * t * t / (2 * seconds))));
    }
  return samples;
}

inline std::string LeBytes(const std::vector<int16_t>& samples) { return SampleBytes(samples); }

// `value` as `bytes` little-endian bytes.
inline std::string Le(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}
inline std::string Le32(uint32_t v) { return Le(v, 4); }
inline std::string Le16(uint16_t v) { return Le(v, 2); }

// A PCM format chunk's body: format tag, channels, rate, bytes per second,
// block alignment, bits.
inline std::string FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * channels * bits / 8) + Le16(channels * bits / 8) +
         Le16(bits);
}

// A WAV image with the plain 44-byte header; `dataSize` overrides the data
// chunk's size (and the RIFF size with it) as a writer may leave it.
inline std::string WaveImage(uint16_t channels, uint32_t rate, const std::string& data,
                             std::optional<uint32_t> dataSize = std::nullopt) {
  const uint32_t size = dataSize ? *dataSize : static_cast<uint32_t>(data.size());
  return "RIFF" + Le32(size == 0 ? 0 : size + 36) + "WAVE" + "fmt " + Le32(16) + FormatBody(1, channels, rate, 16) +
         "data" + Le32(size) + data;
}

// Writes `samples` as a file of `format`: WAV as the recorder writes it,
// the others with the program's own encoders.
inline bool MakeRecording(uint8_t format, const std::wstring& path, const std::vector<int16_t>& samples,
                          uint16_t channels, uint32_t rate) {
  if (format == kFormatWav) return WriteFileBytes(path, WaveImage(channels, rate, LeBytes(samples)));
  File file;
  if (!file.Create(path)) return false;
  std::unique_ptr<AudioEncoder> encoder = MakeAudioEncoder(format, file, channels, rate);
  if (!encoder) return false;
  // In the pieces the mixer hands the encoders.
  const size_t frames = samples.size() / channels, piece = 4000;
  for (size_t at = 0; at < frames; at += piece)
    if (!encoder->Encode(samples.data() + at * channels, std::min(piece, frames - at))) return false;
  return encoder->Finish();
}

// Reads a source to its end in pieces of `piece` frames.
inline std::vector<int16_t> ReadToEnd(PlaybackSource& source, size_t piece = 777) {
  std::vector<int16_t> all, buffer(piece * source.channels());
  for (size_t n; (n = source.Read(buffer.data(), piece)) > 0;)
    all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n * source.channels()));
  return all;
}

// How a decode matches its source: the best correlation within a few frames
// of lag (in source frames), at which lag, and the error's RMS at that lag
// relative to the source's RMS. The decode may be at a whole multiple of the
// source's rate (Opus: 48 kHz of a 16 kHz source); it is then taken at every
// multiple-th frame. Only the frames [from, from + count) of the source
// count, which must lie inside both.
struct Likeness {
  double correlation = -1;
  int lag = 0;
  double relativeError = 1e9;
};

inline Likeness Compare(const std::vector<int16_t>& decoded, uint32_t decodedRate, const std::vector<int16_t>& source,
                        uint32_t sourceRate, uint16_t channels, size_t from, size_t count) {
  const size_t step = decodedRate / sourceRate;
  Likeness best;
  for (int lag = -8; lag <= 8; ++lag) {
    double sx = 0, sy = 0, sxy = 0, sxx = 0, syy = 0, err = 0;
    size_t n = 0;
    for (size_t k = from; k < from + count; ++k) {
      const int64_t j = static_cast<int64_t>(k) + lag;
      if (j < 0 || static_cast<size_t>(j) * step * channels + channels > decoded.size()) continue;
      for (uint16_t c = 0; c < channels; ++c) {
        const double x = source[k * channels + c], y = decoded[static_cast<size_t>(j) * step * channels + c];
        sx += x, sy += y, sxy += x * y, sxx += x * x, syy += y * y, err += (x - y) * (x - y);
        ++n;
      }
    }
    if (n == 0) continue;
    const double cov = sxy - sx * sy / n, vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
    const double correlation = vx > 0 && vy > 0 ? cov / std::sqrt(vx * vy) : 0;
    if (correlation > best.correlation) best = {correlation, lag, std::sqrt(err / (sxx > 0 ? sxx : 1))};
  }
  return best;
}

// The samples are the same, or where the first difference lies (without
// printing thousands of samples); within `tolerance` of each other when
// that is given.
inline ::testing::AssertionResult SameSamples(const std::vector<int16_t>& actual, const std::vector<int16_t>& expected,
                                              int tolerance = 0) {
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size();
  for (size_t k = 0; k < actual.size(); ++k)
    if (std::abs(actual[k] - expected[k]) > tolerance)
      return ::testing::AssertionFailure() << "sample " << k << ": " << actual[k] << " instead of " << expected[k];
  return ::testing::AssertionSuccess();
}

inline std::ostream& operator<<(std::ostream& out, const Likeness& l) {
  return out << "correlation " << l.correlation << " at lag " << l.lag << ", relative error " << l.relativeError;
}
