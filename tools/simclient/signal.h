// The audio SimSkype streams: 16-bit mono samples at 16000 per second, from a
// sine, seeded noise, a position-coded maximal-length sequence or a WAV file.
// Every generator is deterministic, so a test can compute what was sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/simclient/scenario.h"

namespace simclient {

constexpr int kSampleRate = 16000;

class SignalGenerator {
 public:
  virtual ~SignalGenerator() = default;
  // The next `count` samples of the signal.
  virtual void Fill(int16_t* samples, size_t count) = 0;

  // A generator for `params`; null with `error` set when a WAV file cannot be
  // used.
  static std::unique_ptr<SignalGenerator> Create(const SignalParams& params, std::string& error);
};

// The first `count` samples of a signal (what a stream of it starts with).
std::vector<int16_t> GenerateSamples(const SignalParams& params, size_t count);

// The position-coded sequence: a 31-bit Fibonacci LFSR, x^31 + x^28 + 1.
class MaximalLengthSequence {
 public:
  explicit MaximalLengthSequence(uint32_t seed);
  int NextBit();
  // The next 16 bits, first bit most significant, as a signed word.
  int16_t NextWord();

 private:
  uint32_t state_;
};

// Where `samples` (at least 4 of them) start within the first `limit`
// samples of the mls signal (seed, amplitude); -1 when they are not there.
int64_t LocateMlsSamples(uint32_t seed, int32_t amplitude, const int16_t* samples, size_t count, int64_t limit);

// Reads the samples of a 16-bit mono 16000 Hz PCM WAV file's data chunk.
bool ReadPcmWav(const std::string& fileBytes, std::vector<int16_t>& samples, std::string& error);

}  // namespace simclient
