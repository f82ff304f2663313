// From a device's mix format to the recorder's: 16 kHz, 16-bit, one channel.
// The channels are mixed down, the samples made floating point, the rate
// converted by a polyphase windowed-sinc filter (a real low-pass before the
// decimation, so nothing above 8 kHz folds back into the speech band), and the
// result rounded and clipped to 16 bits.
#pragma once

#include <cstdint>
#include <vector>

#include "capture/capture_device.h"

constexpr uint32_t kRecordRate = 16000;

class AudioConverter {
 public:
  explicit AudioConverter(const CaptureFormat& from);
  ~AudioConverter();
  AudioConverter(const AudioConverter&) = delete;
  AudioConverter& operator=(const AudioConverter&) = delete;

  // The format can be converted (a rate from 8 kHz to 384 kHz, 1 to 32
  // channels, a known sample kind).
  bool Supported() const;
  const CaptureFormat& from() const;

  // Converts `frames` frames (silence when `data` is null) and appends the
  // 16 kHz samples they complete to `out`.
  void Convert(const uint8_t* data, uint32_t frames, std::vector<int16_t>& out);
  // Forgets the filter's history (after a discontinuity or a new device).
  void Reset();
  // How far, in 16 kHz samples, the output lags its input (the filter's
  // group delay); subtracted when the output is placed on the clock.
  double DelaySamples() const;

 private:
  struct State;
  State* state_;
};
