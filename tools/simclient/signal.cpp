#include "tools/simclient/signal.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace simclient {

namespace {

constexpr double kPi = 3.14159265358979323846;

class Sine : public SignalGenerator {
 public:
  Sine(double frequency, int32_t amplitude) : frequency_(frequency), amplitude_(amplitude) {}
  void Fill(int16_t* samples, size_t count) override {
    for (size_t i = 0; i < count; ++i, ++n_) {
      // The phase is taken from the sample number modulo one period of the
      // sample rate, so it stays exact however long the stream runs.
      double t = static_cast<double>(n_ % (static_cast<uint64_t>(kSampleRate) * 1000)) / kSampleRate;
      samples[i] = static_cast<int16_t>(std::lround(amplitude_ * std::sin(2 * kPi * frequency_ * t)));
    }
  }

 private:
  double frequency_;
  int32_t amplitude_;
  uint64_t n_ = 0;
};

class Noise : public SignalGenerator {
 public:
  Noise(uint32_t seed, int32_t amplitude) : state_(seed ? seed : 0x9E3779B9u), amplitude_(amplitude) {}
  void Fill(int16_t* samples, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      state_ ^= state_ << 13;
      state_ ^= state_ >> 17;
      state_ ^= state_ << 5;
      uint32_t span = 2 * static_cast<uint32_t>(amplitude_) + 1;
      samples[i] = static_cast<int16_t>(static_cast<int32_t>(state_ % span) - amplitude_);
    }
  }

 private:
  uint32_t state_;
  int32_t amplitude_;
};

int16_t ScaleMls(int16_t word, int32_t amplitude) { return static_cast<int16_t>(word * amplitude / 32767); }

class Mls : public SignalGenerator {
 public:
  Mls(uint32_t seed, int32_t amplitude) : sequence_(seed), amplitude_(amplitude) {}
  void Fill(int16_t* samples, size_t count) override {
    for (size_t i = 0; i < count; ++i) samples[i] = ScaleMls(sequence_.NextWord(), amplitude_);
  }

 private:
  MaximalLengthSequence sequence_;
  int32_t amplitude_;
};

class Wav : public SignalGenerator {
 public:
  explicit Wav(std::vector<int16_t> samples) : samples_(std::move(samples)) {}
  void Fill(int16_t* samples, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      samples[i] = samples_[next_];
      next_ = (next_ + 1) % samples_.size();
    }
  }

 private:
  std::vector<int16_t> samples_;
  size_t next_ = 0;
};

class Silence : public SignalGenerator {
 public:
  void Fill(int16_t* samples, size_t count) override { std::memset(samples, 0, count * sizeof(int16_t)); }
};

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

}  // namespace

MaximalLengthSequence::MaximalLengthSequence(uint32_t seed) : state_(seed & 0x7FFFFFFFu) {
  if (state_ == 0) state_ = 1;
}

int MaximalLengthSequence::NextBit() {
  int bit = static_cast<int>(((state_ >> 30) ^ (state_ >> 27)) & 1u);
  state_ = ((state_ << 1) | static_cast<uint32_t>(bit)) & 0x7FFFFFFFu;
  return bit;
}

int16_t MaximalLengthSequence::NextWord() {
  uint16_t word = 0;
  for (int i = 0; i < 16; ++i) word = static_cast<uint16_t>((word << 1) | NextBit());
  return static_cast<int16_t>(word);
}

std::unique_ptr<SignalGenerator> SignalGenerator::Create(const SignalParams& params, std::string& error) {
  switch (params.kind) {
    case SignalKind::Sine: return std::make_unique<Sine>(params.frequency, params.amplitude);
    case SignalKind::Noise: return std::make_unique<Noise>(params.seed, params.amplitude);
    case SignalKind::Mls: return std::make_unique<Mls>(params.seed, params.amplitude);
    case SignalKind::Silence: return std::make_unique<Silence>();
    case SignalKind::Wav: {
      std::ifstream in(std::filesystem::path(params.wavPath), std::ios::binary);
      if (!in) {
        error = "cannot open the WAV file";
        return nullptr;
      }
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::vector<int16_t> samples;
      if (!ReadPcmWav(bytes, samples, error)) return nullptr;
      return std::make_unique<Wav>(std::move(samples));
    }
  }
  error = "unknown signal";
  return nullptr;
}

std::vector<int16_t> GenerateSamples(const SignalParams& params, size_t count) {
  std::string error;
  std::vector<int16_t> samples(count);
  auto generator = SignalGenerator::Create(params, error);
  if (generator) generator->Fill(samples.data(), count);
  else samples.clear();
  return samples;
}

int64_t LocateMlsSamples(uint32_t seed, int32_t amplitude, const int16_t* samples, size_t count, int64_t limit) {
  if (count < 4) return -1;
  MaximalLengthSequence sequence(seed);
  // A ring of the last `count` generated samples.
  std::vector<int16_t> window(count);
  for (int64_t produced = 0; produced < limit; ++produced) {
    window[static_cast<size_t>(produced % static_cast<int64_t>(count))] = ScaleMls(sequence.NextWord(), amplitude);
    if (produced + 1 < static_cast<int64_t>(count)) continue;
    int64_t start = produced + 1 - static_cast<int64_t>(count);
    bool match = true;
    for (size_t k = 0; k < count && match; ++k)
      match = window[static_cast<size_t>((start + static_cast<int64_t>(k)) % static_cast<int64_t>(count))] == samples[k];
    if (match) return start;
  }
  return -1;
}

bool ReadPcmWav(const std::string& b, std::vector<int16_t>& samples, std::string& error) {
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) {
    error = "not a RIFF WAVE file";
    return false;
  }
  bool formatOk = false;
  size_t at = 12;
  while (at + 8 <= b.size()) {
    std::string id = b.substr(at, 4);
    uint32_t size = Le32(b, at + 4);
    size_t body = at + 8;
    if (id == "fmt ") {
      if (size < 16 || body + 16 > b.size()) break;
      formatOk = Le16(b, body) == 1 && Le16(b, body + 2) == 1 && Le32(b, body + 4) == kSampleRate &&
                 Le16(b, body + 14) == 16;
      if (!formatOk) {
        error = "the WAV file is not 16-bit mono 16000 Hz PCM";
        return false;
      }
    } else if (id == "data") {
      if (!formatOk) break;
      size_t n = std::min<size_t>(size, b.size() - body) / 2;
      if (n == 0) {
        error = "the WAV file holds no samples";
        return false;
      }
      samples.resize(n);
      for (size_t i = 0; i < n; ++i) samples[i] = static_cast<int16_t>(Le16(b, body + 2 * i));
      return true;
    }
    at = body + size + (size & 1);
  }
  error = "the WAV file has no usable fmt and data chunks";
  return false;
}

}  // namespace simclient
