// The computer's sound output, as the player feeds it: open for a sample
// format, queue interleaved 16-bit frames, ask how many have been heard, drop
// what is queued. Windows: waveOut with four buffers of 100 ms and an event
// that signals each finished buffer. POSIX has no sound output in this
// program: its stand-in takes the frames and "plays" them in real time by the
// clock, so the player behaves there as it does with a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class SoundOut {
 public:
  virtual ~SoundOut() = default;
  // False when the device is missing or refuses the format.
  virtual bool Open(uint16_t channels, uint32_t rate) = 0;
  // Queues the frames. Blocks while the queue is full, until a buffer has
  // been played, or until Reset from another thread: the frames not yet
  // queued are then dropped and the result is false. Also false when the
  // device fails or is not open.
  virtual bool Write(const int16_t* samples, size_t frames) = 0;
  // The frames heard since Open or the last Reset.
  virtual uint64_t PlayedFrames() = 0;
  // Drops what is queued at once and counts the played frames from 0 again.
  // The one call that may come from another thread than the writer's, at any
  // time, also before Open or after Close.
  virtual void Reset() = 0;
  // Stops and releases the device; Open may follow.
  virtual void Close() = 0;
};

std::unique_ptr<SoundOut> MakeSystemSoundOut();
