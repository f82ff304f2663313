// The conversion from a device's mix format to 16 kHz mono int16.
//
// Each input frame is mixed down to one float sample (full scale +-1.0), the
// float samples go through a polyphase windowed-sinc resampler, and each
// output sample is scaled by 32768, rounded to the nearest integer and
// saturated to int16 (so an Int16 input at 16 kHz comes out unchanged).
//
// The resampler. Output sample n lies at input position t = n * M / L, where
// L / M is 16000 / rate in lowest terms. It is the input weighted by a
// Kaiser-windowed sinc centred D input samples before t (D is half the
// window's span, the filter's delay):
//
//   y[n] = sum_i x[i] * h(t - D - i)
//
// With base = floor(t) and phase p = (n * M) mod L, the weights depend only on
// p, so the table holds one row of taps per phase (L rows: 160 for 44.1 kHz,
// one for 48 kHz). A rate with an awkward ratio (44101 Hz gives L = 16000)
// would need an enormous table; it gets a finer fixed grid of P phases
// instead, and an output between two grid phases is the linear interpolation
// of the two rows' results.
//
// The history is kept in absolute input positions, and every output is the
// same dot product over the same samples whatever the sizes of the calls that
// brought them, so converting in pieces gives exactly the samples of one call.
#include "capture/audio_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define CALVORO_CONVERT_SSE 1
#endif

namespace {

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 384000;
constexpr uint16_t kMaxChannels = 32;

// Stopband attenuation the filter is designed for: 80 dB is the goal, and the
// Kaiser formula's estimate is a little optimistic at the band edge.
constexpr double kAttenuationDb = 90.0;
// Taps per row are a multiple of this (the dot product's unrolling).
constexpr uint32_t kTapGranule = 16;
// Above this many coefficients the exact table gives way to the grid.
constexpr uint64_t kMaxExactTable = 1u << 17;
// The grid's phases times the input rate; linear interpolation between rows
// this close is exact to better than 100 dB below the signal.
constexpr double kGridRate = 8388608.0;
// Input is taken in blocks of at most this many frames, which bounds the
// history buffer whatever a caller hands over at once.
constexpr uint32_t kBlockFrames = 4096;
// Floats in this range pass untouched; beyond it they are held (infinities
// included) and NaN becomes 0, so one bad sample cannot poison the history.
constexpr float kFloatLimit = 4.0f;

constexpr double kSqrtHalf = 0.70710678118654752;
constexpr double kPi = 3.14159265358979323846;

uint32_t Gcd(uint32_t a, uint32_t b) {
  while (b != 0) {
    uint32_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Modified Bessel function of the first kind, order 0 (power series).
double BesselI0(double x) {
  double sum = 1.0, term = 1.0, q = x * x / 4.0;
  for (int k = 1; k < 200; ++k) {
    term *= q / (double(k) * k);
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

// Where each WAVEFORMATEXTENSIBLE speaker position goes: its weight into the
// left and the right half of the stereo fold, and whether it is one of the
// front pair (which keeps its full weight).
struct Position {
  uint32_t bit;
  float left, right;
  bool front;
};

constexpr Position kPositions[] = {
    {0x1, 1.0f, 0.0f, true},                                     // front left
    {0x2, 0.0f, 1.0f, true},                                     // front right
    {0x4, float(kSqrtHalf), float(kSqrtHalf), false},            // front centre
    {0x8, 0.0f, 0.0f, false},                                    // low frequency: dropped
    {0x10, 0.5f, 0.0f, false},                                   // back left
    {0x20, 0.0f, 0.5f, false},                                   // back right
    {0x40, float(kSqrtHalf), 0.0f, false},                       // front left of centre
    {0x80, 0.0f, float(kSqrtHalf), false},                       // front right of centre
    {0x100, float(0.5 * kSqrtHalf), float(0.5 * kSqrtHalf), false},  // back centre
    {0x200, 0.5f, 0.0f, false},                                  // side left
    {0x400, 0.0f, 0.5f, false},                                  // side right
    {0x800, float(0.5 * kSqrtHalf), float(0.5 * kSqrtHalf), false},  // top centre
    {0x1000, 0.5f, 0.0f, false},                                 // top front left
    {0x2000, float(0.5 * kSqrtHalf), float(0.5 * kSqrtHalf), false},  // top front centre
    {0x4000, 0.0f, 0.5f, false},                                 // top front right
    {0x8000, 0.5f, 0.0f, false},                                 // top back left
    {0x10000, float(0.5 * kSqrtHalf), float(0.5 * kSqrtHalf), false},  // top back centre
    {0x20000, 0.0f, 0.5f, false},                                // top back right
};

// The usual order of a device that gives no mask: FL FR FC LFE BL BR SL SR.
constexpr uint32_t kUsualOrder[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x200, 0x400};

const Position* FindPosition(uint32_t bit) {
  for (const Position& p : kPositions)
    if (p.bit == bit) return &p;
  return nullptr;
}

// The mono weight of every channel. One channel passes as it is, two become
// (L + R) / 2. More channels fold into left and right first: the front pair
// at full weight, the others (centre 0.707, side and back 0.5 into their own
// side, ...) scaled down together when, on either side, they would add up to
// more than one front channel; so a signal on the front pair keeps its level,
// no other group of channels is louder than the front pair at full scale, and
// only the same loud signal on every speaker at once reaches the final
// saturation.
std::vector<float> ChannelWeights(uint16_t channels, uint32_t mask) {
  std::vector<float> weights(channels, 0.0f);
  if (channels == 1) {
    weights[0] = 1.0f;
    return weights;
  }
  if (channels == 2) {
    weights[0] = weights[1] = 0.5f;
    return weights;
  }
  if (mask == 0) {
    for (uint16_t c = 0; c < channels && c < 8; ++c) mask |= kUsualOrder[c];
  }
  // Channels take the mask's positions in ascending bit order; channels past
  // the last position carry no known speaker and are left out.
  std::vector<const Position*> positions(channels, nullptr);
  uint16_t next = 0;
  for (uint32_t bit = 1; bit != 0 && next < channels; bit <<= 1) {
    if ((mask & bit) != 0) positions[next++] = FindPosition(bit);
  }
  double extraLeft = 0.0, extraRight = 0.0;
  for (const Position* p : positions) {
    if (p != nullptr && !p->front) {
      extraLeft += p->left;
      extraRight += p->right;
    }
  }
  double scale = 1.0 / std::max(1.0, std::max(extraLeft, extraRight));
  for (uint16_t c = 0; c < channels; ++c) {
    const Position* p = positions[c];
    if (p == nullptr) continue;
    double g = p->front ? 1.0 : scale;
    weights[c] = float(g * (double(p->left) + double(p->right)) / 2.0);
  }
  return weights;
}

inline float SanitizeFloat(float v) {
  if (v >= -kFloatLimit && v <= kFloatLimit) return v;
  if (v != v) return 0.0f;
  return v > 0 ? kFloatLimit : -kFloatLimit;
}

template <SampleKind kind>
inline float ReadSample(const uint8_t* p) {
  if constexpr (kind == SampleKind::Int16) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return float(v) * (1.0f / 32768.0f);
  } else if constexpr (kind == SampleKind::Int24) {
    int32_t v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
    return float(v) * (1.0f / 8388608.0f);
  } else if constexpr (kind == SampleKind::Int32) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return float(double(v) * (1.0 / 2147483648.0));
  } else {
    float v;
    std::memcpy(&v, p, 4);
    return SanitizeFloat(v);
  }
}

inline int16_t ToInt16(float v) {
  float s = v * 32768.0f;
  if (!(s == s)) return 0;
  if (s >= 32767.0f) return 32767;
  if (s <= -32768.0f) return -32768;
  return int16_t(std::lrint(s));
}

// The sum of a[i] * b[i] over n (a multiple of 16) floats, always added in
// the same order, so the same inputs give the same bits wherever they lie.
// Four independent sums keep the adder busy.
inline float Dot(const float* a, const float* b, uint32_t n) {
#ifdef CALVORO_CONVERT_SSE
  __m128 acc0 = _mm_setzero_ps(), acc1 = _mm_setzero_ps(), acc2 = _mm_setzero_ps(), acc3 = _mm_setzero_ps();
  for (uint32_t i = 0; i < n; i += 16) {
    acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
    acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_loadu_ps(a + i + 4), _mm_loadu_ps(b + i + 4)));
    acc2 = _mm_add_ps(acc2, _mm_mul_ps(_mm_loadu_ps(a + i + 8), _mm_loadu_ps(b + i + 8)));
    acc3 = _mm_add_ps(acc3, _mm_mul_ps(_mm_loadu_ps(a + i + 12), _mm_loadu_ps(b + i + 12)));
  }
  float lanes[4];
  _mm_storeu_ps(lanes, _mm_add_ps(_mm_add_ps(acc0, acc1), _mm_add_ps(acc2, acc3)));
  return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#else
  float acc[16] = {};
  for (uint32_t i = 0; i < n; i += 16)
    for (int k = 0; k < 16; ++k) acc[k] += a[i + k] * b[i + k];
  float lanes[4];
  for (int k = 0; k < 4; ++k) lanes[k] = (acc[k] + acc[k + 4]) + (acc[k + 8] + acc[k + 12]);
  return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#endif
}

}  // namespace

struct AudioConverter::State {
  CaptureFormat from;
  bool supported = false;
  uint32_t bytesPerFrame = 0;
  std::vector<float> weights;         // per channel, into mono
  std::vector<uint16_t> usedChannels;  // the channels whose weight is not 0

  // The resampler (absent at 16 kHz).
  bool resample = false;
  uint32_t up = 1, down = 1;  // L and M: 16000 / rate = L / M
  uint32_t taps = 0;          // per row, a multiple of kTapGranule
  uint32_t gridPhases = 0;    // 0: one row per phase (exact); else P rows + 1
  double delayInput = 0.0;    // D, in input samples
  std::vector<float> table;   // rows of `taps` coefficients, oldest sample first

  // The history: history[0] is the input sample at absolute position
  // historyStart (negative positions are the zeros before the first sample).
  std::vector<float> history;
  int64_t historyStart = 0;
  int64_t nextBase = 0;    // floor(n * M / L) of the next output n
  uint32_t nextPhase = 0;  // (n * M) mod L

  std::vector<float> block;  // one block of mixed-down input (16 kHz path)

  void Design();
  void Clear();
  template <SampleKind kind>
  void MixDown(const uint8_t* data, uint32_t frames, float* to) const;
  void MixDownAny(const uint8_t* data, uint32_t frames, float* to) const;
  void Produce(std::vector<int16_t>& out);
};

void AudioConverter::State::Design() {
  uint32_t rate = from.rate;
  uint32_t g = Gcd(kRecordRate, rate);
  up = kRecordRate / g;
  down = rate / g;

  // Above 16 kHz: flat to 7 kHz, stopped from 8 kHz (nothing folds into the
  // output band). Below: the images above the input's own Nyquist frequency
  // are stopped, the passband ends at 7/8 of it.
  double stop = std::min(8000.0, rate / 2.0);
  double pass = rate >= kRecordRate ? 7000.0 : stop * 0.875;
  double cutoff = (pass + stop) / 2.0 / rate;      // cycles per input sample
  double transition = (stop - pass) / rate;        // cycles per input sample
  double beta = 0.1102 * (kAttenuationDb - 8.7);
  double span = (kAttenuationDb - 7.95) / (2.285 * 2.0 * kPi * transition);  // window, in input samples
  uint32_t needed = uint32_t(std::ceil(span)) + 1;
  taps = (needed + kTapGranule - 1) / kTapGranule * kTapGranule;
  delayInput = span / 2.0;

  uint32_t rows = up;
  gridPhases = 0;
  if (uint64_t(up) * taps > kMaxExactTable) {
    gridPhases = std::max<uint32_t>(16, uint32_t(std::ceil(kGridRate / rate)));
    rows = gridPhases + 1;
  }
  table.assign(size_t(rows) * taps, 0.0f);
  double i0Beta = BesselI0(beta);
  std::vector<double> row(taps);
  for (uint32_t r = 0; r < rows; ++r) {
    double phase = gridPhases ? double(r) / gridPhases : double(r) / up;
    double sum = 0.0;
    for (uint32_t j = 0; j < taps; ++j) {
      // Tap j weighs the input sample (taps - 1 - j) before the base.
      double tau = phase + double(taps - 1 - j) - delayInput;
      double v = 0.0;
      double x = 2.0 * tau / span;
      if (x >= -1.0 && x <= 1.0) {
        double arg = 2.0 * kPi * cutoff * tau;
        double sinc = tau == 0.0 ? 1.0 : std::sin(arg) / arg;
        v = 2.0 * cutoff * sinc * BesselI0(beta * std::sqrt(1.0 - x * x)) / i0Beta;
      }
      row[j] = v;
      sum += v;
    }
    // Each row passes DC at exactly unity, so no phase lends a ripple of its own.
    for (uint32_t j = 0; j < taps; ++j) table[size_t(r) * taps + j] = float(row[j] / sum);
  }
}

void AudioConverter::State::Clear() {
  history.assign(resample ? taps - 1 : 0, 0.0f);
  historyStart = -int64_t(history.size());
  nextBase = 0;
  nextPhase = 0;
}

template <SampleKind kind>
void AudioConverter::State::MixDown(const uint8_t* data, uint32_t frames, float* to) const {
  const uint32_t bps = from.BytesPerSample();
  const size_t used = usedChannels.size();
  if (used == 1) {
    const uint32_t offset = usedChannels[0] * bps;
    const float w = weights[usedChannels[0]];
    for (uint32_t f = 0; f < frames; ++f) to[f] = w * ReadSample<kind>(data + size_t(f) * bytesPerFrame + offset);
    return;
  }
  for (uint32_t f = 0; f < frames; ++f) {
    const uint8_t* frame = data + size_t(f) * bytesPerFrame;
    float s = 0.0f;
    for (size_t k = 0; k < used; ++k) {
      uint16_t c = usedChannels[k];
      s += weights[c] * ReadSample<kind>(frame + c * bps);
    }
    to[f] = s;
  }
}

void AudioConverter::State::MixDownAny(const uint8_t* data, uint32_t frames, float* to) const {
  if (data == nullptr || usedChannels.empty()) {
    std::fill(to, to + frames, 0.0f);
    return;
  }
  switch (from.kind) {
    case SampleKind::Int16: MixDown<SampleKind::Int16>(data, frames, to); break;
    case SampleKind::Int24: MixDown<SampleKind::Int24>(data, frames, to); break;
    case SampleKind::Int32: MixDown<SampleKind::Int32>(data, frames, to); break;
    case SampleKind::Float32: MixDown<SampleKind::Float32>(data, frames, to); break;
  }
}

void AudioConverter::State::Produce(std::vector<int16_t>& out) {
  const int64_t end = historyStart + int64_t(history.size());  // one past the newest sample
  const float* rows = table.data();
  while (nextBase < end) {
    const float* x = history.data() + (nextBase - (taps - 1) - historyStart);
    float y;
    if (gridPhases == 0) {
      y = Dot(rows + size_t(nextPhase) * taps, x, taps);
    } else {
      uint64_t pos = uint64_t(nextPhase) * gridPhases;
      uint32_t row = uint32_t(pos / up);
      float frac = float(pos % up) / float(up);
      float a = Dot(rows + size_t(row) * taps, x, taps);
      float b = Dot(rows + size_t(row + 1) * taps, x, taps);
      y = a + (b - a) * frac;
    }
    out.push_back(ToInt16(y));
    nextPhase += down;
    nextBase += nextPhase / up;
    nextPhase %= up;
  }
  // Keep what the next outputs need (taps - 1 samples before the next base);
  // drop the rest now and then rather than on every call.
  int64_t keepFrom = std::min(nextBase, end) - (taps - 1);
  size_t drop = size_t(keepFrom - historyStart);
  if (drop >= 2048 || drop * 2 >= history.size()) {
    history.erase(history.begin(), history.begin() + drop);
    historyStart = keepFrom;
  }
}

AudioConverter::AudioConverter(const CaptureFormat& from) : state_(new State) {
  State& s = *state_;
  s.from = from;
  bool knownKind = from.kind == SampleKind::Int16 || from.kind == SampleKind::Int24 ||
                   from.kind == SampleKind::Int32 || from.kind == SampleKind::Float32;
  s.supported = knownKind && from.rate >= kMinRate && from.rate <= kMaxRate && from.channels >= 1 &&
                from.channels <= kMaxChannels;
  if (!s.supported) return;
  s.bytesPerFrame = from.BytesPerFrame();
  s.weights = ChannelWeights(from.channels, from.channelMask);
  for (uint16_t c = 0; c < from.channels; ++c)
    if (s.weights[c] != 0.0f) s.usedChannels.push_back(c);
  s.resample = from.rate != kRecordRate;
  if (s.resample) s.Design();
  s.Clear();
}

AudioConverter::~AudioConverter() { delete state_; }

bool AudioConverter::Supported() const { return state_->supported; }

const CaptureFormat& AudioConverter::from() const { return state_->from; }

void AudioConverter::Convert(const uint8_t* data, uint32_t frames, std::vector<int16_t>& out) {
  State& s = *state_;
  if (!s.supported) return;
  while (frames > 0) {
    uint32_t n = std::min(frames, kBlockFrames);
    if (s.resample) {
      size_t at = s.history.size();
      s.history.resize(at + n);
      s.MixDownAny(data, n, s.history.data() + at);
      s.Produce(out);
    } else {
      s.block.resize(n);
      s.MixDownAny(data, n, s.block.data());
      for (uint32_t i = 0; i < n; ++i) out.push_back(ToInt16(s.block[i]));
    }
    if (data != nullptr) data += size_t(n) * s.bytesPerFrame;
    frames -= n;
  }
}

void AudioConverter::Reset() {
  if (state_->supported) state_->Clear();
}

double AudioConverter::DelaySamples() const {
  const State& s = *state_;
  if (!s.supported || !s.resample) return 0.0;
  return s.delayInput * kRecordRate / s.from.rate;
}
