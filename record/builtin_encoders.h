// The encoders built into the program, fed side by side: all read the same
// samples as the source (the mixer, or a WAV file) produces them, so the
// stream files are read once, and they share the machine's cores: one thread
// per core at most, the formats dealt out by their cost so that the slowest
// (Opus, then MP3) has a core of its own while the others take turns on the
// rest. The
// source waits while the slowest thread is a window of blocks behind, so
// memory stays the same whatever the length of the call.
//
// Each thread writes its output next to the WAV file (the WAV's name with the
// format's extension), then decodes it to its end: an output counts as made
// only when it decodes and holds as many sample frames as the source gave, to
// within one codec frame. An output that failed is removed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Samples per block handed to the encoders, and the blocks that may be in
// flight: 64 KiB each, 1 MiB in all.
constexpr size_t kEncodeBlockSamples = 32768;
constexpr size_t kEncodeBlocksInFlight = 16;

struct BuiltInOutput {
  uint8_t format = 0;
  std::wstring name;
  bool made = false;  // encoded, written, and checked by decoding
};

class BuiltInEncoders {
 public:
  // Starts an encoder for each format bit in `formats` (the built-in ones)
  // writing the file named after `wavName`. No formats starts nothing.
  BuiltInEncoders(const std::wstring& wavName, uint8_t formats, uint16_t channels, uint32_t rate);
  // Abandons what has not been finished.
  ~BuiltInEncoders();
  BuiltInEncoders(const BuiltInEncoders&) = delete;
  BuiltInEncoders& operator=(const BuiltInEncoders&) = delete;

  bool empty() const { return formats_ == 0; }
  uint8_t formats() const { return formats_; }

  // Hands interleaved samples (a whole number of frames) to every encoder.
  void Feed(const int16_t* samples, size_t count);
  // The source has ended: the encoders finish and check their outputs.
  // Returns one entry per format, in the order of the format bits.
  std::vector<BuiltInOutput> Finish();
  // The source failed: the encoders stop and their outputs are removed.
  void Abandon();

 private:
  struct Block {
    std::vector<int16_t> samples;
    size_t readers = 0;  // encoders that have yet to take it
  };
  // The formats one thread encodes, each block for each in turn.
  struct Worker {
    std::vector<BuiltInOutput> outputs;
    std::thread thread;
  };

  void Run(Worker& worker);
  void PushBlock(const int16_t* samples, size_t count);
  void End(bool abandoned);

  const uint8_t formats_;
  const uint16_t channels_;
  const uint32_t rate_;
  std::vector<std::unique_ptr<Worker>> workers_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block> blocks_;   // blocks_[0] has the sequence number first_
  uint64_t first_ = 0;
  uint64_t frames_ = 0;        // fed so far
  size_t running_ = 0;         // threads taking blocks
  bool ended_ = false, abandoned_ = false, finished_ = false;
};

// Encodes a finished WAV file (the canonical 44-byte header) with the
// built-in encoders for `formats`.
std::vector<BuiltInOutput> EncodeWaveFile(const std::wstring& wavName, uint8_t formats);
