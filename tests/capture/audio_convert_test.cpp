// The conversion to 16 kHz mono int16: the rate conversion's noise, stopband
// and delay, downmix levels, rounding and saturation, piecewise conversion
// and the formats it refuses.
#include "capture/audio_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

CaptureFormat Format(uint32_t rate, uint16_t channels, SampleKind kind, uint32_t mask = 0) {
  CaptureFormat f;
  f.rate = rate, f.channels = channels, f.kind = kind, f.channelMask = mask;
  return f;
}

// Interleaved samples (full scale +-1.0) stored as `kind`, little-endian.
std::vector<uint8_t> Store(const std::vector<float>& samples, SampleKind kind) {
  std::vector<uint8_t> bytes;
  const int bits = kind == SampleKind::Int16 ? 16 : kind == SampleKind::Int24 ? 24 : 32;
  for (float v : samples) {
    uint32_t u;
    if (kind == SampleKind::Float32) {
      std::memcpy(&u, &v, 4);
    } else {
      double full = std::ldexp(1.0, bits - 1);
      u = uint32_t(int32_t(int64_t(std::fmax(-full, std::fmin(full - 1, std::nearbyint(v * full))))));
    }
    for (int i = 0; i < bits / 8; ++i) bytes.push_back(uint8_t(u >> (8 * i)));
  }
  return bytes;
}

std::vector<int16_t> Convert(const CaptureFormat& f, const std::vector<uint8_t>& bytes) {
  AudioConverter c(f);
  std::vector<int16_t> out;
  c.Convert(bytes.data(), uint32_t(bytes.size() / f.BytesPerFrame()), out);
  return out;
}

std::vector<float> Tone(const CaptureFormat& f, double hz, double amplitude) {
  std::vector<float> s(size_t(f.rate) * f.channels);
  for (size_t i = 0; i < s.size(); ++i) s[i] = float(amplitude * std::sin(2 * kPi * hz * double(i / f.channels) / f.rate));
  return s;
}

// Least-squares fit of a*cos(wn) + b*sin(wn) to out[from..]; the mean power of
// what the fit leaves is the noise and distortion.
struct Fit {
  double a = 0, b = 0, residual = 0;
};
Fit FitTone(const std::vector<int16_t>& out, size_t from, double hz) {
  const double w = 2 * kPi * hz / kRecordRate;
  double cc = 0, ss = 0, cs = 0, yc = 0, ys = 0;
  for (size_t n = from; n < out.size(); ++n) {
    double c = std::cos(w * n), s = std::sin(w * n);
    cc += c * c, ss += s * s, cs += c * s, yc += out[n] * c, ys += out[n] * s;
  }
  Fit fit;
  fit.a = (yc * ss - ys * cs) / (cc * ss - cs * cs);
  fit.b = (ys * cc - yc * cs) / (cc * ss - cs * cs);
  for (size_t n = from; n < out.size(); ++n)
    fit.residual += std::pow(out[n] - fit.a * std::cos(w * n) - fit.b * std::sin(w * n), 2) / double(out.size() - from);
  return fit;
}

// The first output sample that has seen only the signal (the filter's span past the start).
size_t Steady(const CaptureFormat& f) { return size_t(2 * AudioConverter(f).DelaySamples()) + 16; }

}  // namespace

// A 1 kHz tone at -3 dBFS comes out at its level, late by exactly
// DelaySamples(), with noise and distortion at least 70 dB below it.
TEST(AudioConvertTest, ToneKeepsLevelAndPhaseWithLittleNoise) {
  const CaptureFormat formats[] = {
      Format(48000, 2, SampleKind::Float32), Format(44100, 2, SampleKind::Int16), Format(96000, 1, SampleKind::Int24),
      Format(22050, 1, SampleKind::Int32),   Format(8000, 1, SampleKind::Int16),  Format(44101, 1, SampleKind::Float32),
  };
  const double amplitude = std::pow(10.0, -3.0 / 20.0), expected = amplitude * 32768;
  for (const CaptureFormat& f : formats) {
    SCOPED_TRACE(f.rate);
    Fit fit = FitTone(Convert(f, Store(Tone(f, 1000, amplitude), f.kind)), Steady(f), 1000);
    double level = std::hypot(fit.a, fit.b), snr = 10 * std::log10(level * level / 2 / fit.residual);
    std::printf("[ measured ] %u Hz, %u channel(s): SNR %.1f dB\n", f.rate, f.channels, snr);
    EXPECT_GE(snr, 70.0);
    // expected * sin(w (n - d)) = -expected sin(wd) cos(wn) + expected cos(wd) sin(wn)
    double wd = 2 * kPi * 1000 / kRecordRate * AudioConverter(f).DelaySamples();
    EXPECT_NEAR(fit.a, -expected * std::sin(wd), expected * 1e-3);
    EXPECT_NEAR(fit.b, expected * std::cos(wd), expected * 1e-3);
  }
}

// Tones from 8 kHz up (10 and 12 kHz would fold to 6 and 4 kHz if samples were
// just dropped) are 80 dB down; tones up to 7 kHz keep their level (0.1 dB).
TEST(AudioConvertTest, StopsFromEightKilohertzAndPassesUpToSeven) {
  const double amplitude = std::pow(10.0, -1.0 / 20.0), rmsIn = amplitude * 32768 / std::sqrt(2.0);
  for (uint32_t rate : {48000u, 44100u, 96000u}) {
    CaptureFormat f = Format(rate, 1, SampleKind::Float32);
    const size_t steady = Steady(f);
    for (double hz : {300.0, 3400.0, 7000.0}) {
      Fit fit = FitTone(Convert(f, Store(Tone(f, hz, amplitude), f.kind)), steady, hz);
      EXPECT_NEAR(20 * std::log10(std::hypot(fit.a, fit.b) / (amplitude * 32768)), 0.0, 0.1) << rate << " Hz, " << hz;
    }
    for (double hz : {8000.0, 8500.0, 10000.0, 12000.0, 20000.0, rate / 2.0 - 100}) {
      std::vector<int16_t> out = Convert(f, Store(Tone(f, hz, amplitude), f.kind));
      ASSERT_EQ(out.size(), size_t(kRecordRate));
      double power = 0;
      for (size_t n = steady; n < out.size(); ++n) power += double(out[n]) * out[n] / double(out.size() - steady);
      double down = power > 0 ? 20 * std::log10(rmsIn / std::sqrt(power)) : INFINITY;
      std::printf("[ measured ] %u Hz in, %.0f Hz tone: %.1f dB down%s\n", rate, hz, down, power > 0 ? "" : " (all 0)");
      EXPECT_GE(down, 80.0) << rate << " Hz, " << hz;
    }
  }
}

// Pieces of any size, silent ones (null data) among them, give the samples of
// one call over the whole signal with zeros where it was silent; Reset()
// starts afresh. Every frame completes its share at once: after k frames
// there are exactly ceil(k * 16000 / rate) samples.
TEST(AudioConvertTest, PiecewiseEqualsWholeWithExactLength) {
  const CaptureFormat formats[] = {
      Format(44100, 2, SampleKind::Int16), Format(48000, 2, SampleKind::Float32), Format(44101, 1, SampleKind::Int24),
      Format(8000, 1, SampleKind::Int16),  Format(192000, 4, SampleKind::Int32),  Format(16000, 2, SampleKind::Float32),
      Format(11025, 1, SampleKind::Int16), Format(384000, 1, SampleKind::Int16),
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  for (const CaptureFormat& f : formats) {
    SCOPED_TRACE(f.rate);
    const uint64_t frames = 2ull * f.rate;
    std::vector<float> samples(frames * f.channels);
    for (float& s : samples) s = noise(random);
    std::vector<std::pair<uint32_t, bool>> pieces;  // frames, silent
    for (uint64_t at = 0; at < frames;) {
      uint32_t pick = random() % 4, n = pick == 0 ? 1 : pick == 1 ? 1 + random() % 50 : pick == 2 ? 441 : 1 + random() % 10000;
      n = uint32_t(std::min<uint64_t>(n, frames - at));
      pieces.push_back({n, random() % 8 == 0});
      if (pieces.back().second) std::fill_n(samples.begin() + at * f.channels, n * f.channels, 0.0f);
      at += n;
    }
    std::vector<uint8_t> bytes = Store(samples, f.kind);
    std::vector<int16_t> whole = Convert(f, bytes), out;
    EXPECT_EQ(whole.size(), 2u * kRecordRate);
    AudioConverter c(f);
    uint64_t in = 0;
    for (auto [n, silent] : pieces) {
      c.Convert(silent ? nullptr : bytes.data() + in * f.BytesPerFrame(), n, out);
      in += n;
      ASSERT_EQ(out.size(), (in * kRecordRate + f.rate - 1) / f.rate);
    }
    EXPECT_TRUE(out == whole);
    c.Reset();
    out.clear();
    c.Convert(bytes.data(), uint32_t(frames), out);
    EXPECT_TRUE(out == whole);
  }
}

// Stereo becomes (L + R) / 2. With more channels the front pair keeps its
// level, LFE is dropped, and the centre (0.707) and back and side channels
// (0.5 into their side) are scaled by 1 / max(1, their sum on one side).
// At 16 kHz there is no filter, so the numbers are exact.
TEST(AudioConvertTest, DownmixLevels) {
  auto one = [](const CaptureFormat& f, const std::vector<float>& frame) {
    std::vector<int16_t> out = Convert(f, Store(frame, f.kind));
    return out.size() == 1 ? out[0] : int16_t(-1);
  };
  const float v = 10000.0f / 32768;
  CaptureFormat stereo = Format(16000, 2, SampleKind::Int16);
  EXPECT_EQ(one(stereo, {v, 0}), 5000);
  EXPECT_EQ(one(stereo, {0, v}), 5000);
  EXPECT_EQ(one(stereo, {v, v}), 10000);
  for (uint32_t mask : {0x3Fu, 0u}) {  // 5.1 (FL FR FC LFE BL BR), named or assumed: 1.207 on a side
    CaptureFormat f = Format(16000, 6, SampleKind::Int16, mask);
    EXPECT_EQ(one(f, {v, 0, 0, 0, 0, 0}), 5000);
    EXPECT_EQ(one(f, {0, v, 0, 0, 0, 0}), 5000);
    EXPECT_EQ(one(f, {v, v, 0, 0, 0, 0}), 10000);
    EXPECT_EQ(one(f, {0, 0, v, 0, 0, 0}), 5858);  // 10000 * 0.7071 / 1.2071
    EXPECT_EQ(one(f, {0, 0, 0, v, 0, 0}), 0);
    EXPECT_EQ(one(f, {0, 0, 0, 0, 0, v}), 2071);  // 10000 * 0.25 / 1.2071
  }
  EXPECT_EQ(one(Format(16000, 6, SampleKind::Int16, 0x60F), {0, 0, 0, 0, v, 0}), 2071);  // fifth channel: SL
  CaptureFormat f71 = Format(16000, 8, SampleKind::Int16, 0x63F);  // 1.707 on a side
  EXPECT_EQ(one(f71, {0, 0, v, 0, 0, 0, 0, 0}), 4142);
  EXPECT_EQ(one(f71, {1, 1, 1, 1, 1, 1, 1, 1}), 32767);
  EXPECT_EQ(one(Format(16000, 4, SampleKind::Int16, 0x33), {0, 0, v, 0}), 2500);  // quad: 0.5 on a side, unscaled
}

// Float is scaled by 32768, rounded to nearest and saturated, NaN counts as 0
// (through the filter too); 24- and 32-bit samples keep their top 16 bits, rounded.
TEST(AudioConvertTest, RoundsSaturatesAndZeroesNan) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Convert(Format(16000, 2, SampleKind::Float32),
                    Store({1.5f, 1.5f, -1.5f, -1.5f, 1, 1, -1, -1, nan, 0.5f, inf, inf, -inf, -inf, 100.4f / 32768,
                           100.4f / 32768, -100.6f / 32768, -100.6f / 32768},
                          SampleKind::Float32)),
            (std::vector<int16_t>{32767, -32768, 32767, -32768, 8192, 32767, -32768, 100, -101}));
  EXPECT_EQ(Convert(Format(16000, 1, SampleKind::Int24), {0x56, 0x34, 0x12, 0xC0, 0x34, 0x12, 0xAA, 0xCB, 0xED, 0xFF,
                                                          0xFF, 0x7F, 0x00, 0x00, 0x80, 0xC0, 0x00, 0x00}),
            (std::vector<int16_t>{0x1234, 0x1235, -0x1234, 32767, -32768, 1}));
  int32_t words[] = {0x12348100, 0x12347F00, -0x12348100, INT32_MAX, INT32_MIN};
  std::vector<uint8_t> i32(sizeof words);
  std::memcpy(i32.data(), words, sizeof words);
  EXPECT_EQ(Convert(Format(16000, 1, SampleKind::Int32), i32), (std::vector<int16_t>{0x1235, 0x1234, -0x1235, 32767, -32768}));

  CaptureFormat f = Format(48000, 2, SampleKind::Float32);
  std::vector<float> clean = Tone(f, 440, 0.5), withNan = clean;
  for (size_t at : {1000u, 1001u, 20000u, 30001u}) clean[at] = 0, withNan[at] = nan;
  EXPECT_TRUE(Convert(f, Store(withNan, f.kind)) == Convert(f, Store(clean, f.kind)));
}

// Formats outside 8-384 kHz, 1-32 channels and the four sample kinds are
// refused, and converting them leaves the output alone.
TEST(AudioConvertTest, RefusesUnsupportedFormats) {
  const CaptureFormat refused[] = {
      Format(0, 2, SampleKind::Int16),      Format(4000, 1, SampleKind::Int16), Format(7999, 1, SampleKind::Int16),
      Format(384001, 2, SampleKind::Int16), Format(48000, 0, SampleKind::Int16), Format(48000, 33, SampleKind::Float32),
      Format(48000, 2, SampleKind(9)),
  };
  std::vector<uint8_t> bytes(64 * 1024, 0x7F);
  for (const CaptureFormat& f : refused) {
    AudioConverter c(f);
    EXPECT_FALSE(c.Supported()) << f.rate << " Hz, " << f.channels << " channels";
    std::vector<int16_t> out = {1, 2, 3};
    c.Convert(bytes.data(), 100, out);
    c.Convert(nullptr, 100, out);
    EXPECT_EQ(out, (std::vector<int16_t>{1, 2, 3}));
  }
  EXPECT_TRUE(AudioConverter(Format(8000, 1, SampleKind::Int16)).Supported());
  EXPECT_TRUE(AudioConverter(Format(384000, 32, SampleKind::Int24)).Supported());
}
