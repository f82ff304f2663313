// Plays one recording at a time for the recordings window: a feeding thread
// per playback reads the source in pieces of 100 ms and queues them on the
// sound output, and tells what has been heard. Every call is made from the
// window's thread (or any one thread) while the feeder runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "formats/playback_source.h"
#include "playback/sound_out.h"

class AudioPlayer {
 public:
  explicit AudioPlayer(std::function<std::unique_ptr<SoundOut>()> makeOut = MakeSystemSoundOut);
  // Stops.
  ~AudioPlayer();
  AudioPlayer(const AudioPlayer&) = delete;
  AudioPlayer& operator=(const AudioPlayer&) = delete;

  // Stops what plays, then plays `source` from `startFrame`. False when the
  // source is null or the sound output cannot be opened for its format:
  // nothing plays then.
  bool Play(std::unique_ptr<PlaybackSource> source, uint64_t startFrame = 0);
  // Stops at once: what is queued is dropped, the feeder is told and
  // joined. The position stays where playing stopped. onEnded does not fire.
  void Stop();
  // From Play until the end has been heard, Stop, or a failure of the
  // source's positioning or of the output.
  bool Playing() const;
  // The frame heard last (the start frame before anything has been heard,
  // the length once the end has been).
  uint64_t PositionFrames() const;
  // Of the last source played; 0 before any.
  uint64_t LengthFrames() const;
  uint32_t Rate() const;
  // Moves a playback to `frame`: what is queued is dropped and playing goes
  // on from there. A frame at or past the end ends the playback (onEnded
  // fires). False when nothing plays.
  bool Seek(uint64_t frame);

  // Called on the player's thread once the whole source has been heard (or
  // a Seek went to its end); not on Stop. Set it before Play. It may call
  // Stop and Playing, not Play or the destructor.
  std::function<void()> onEnded;

 private:
  void Feed(uint64_t startFrame);
  void StopFeeder();
  // What has been heard of the playback, from the output; mutex_ held.
  uint64_t HeardLocked() const;

  std::function<std::unique_ptr<SoundOut>()> makeOut_;
  // Serialises Play, Stop and the destructor, which start and join feeders.
  std::mutex control_;
  std::atomic<std::thread::id> feederId_{};
  // Guards the requests to the feeder and the pointers below while a
  // feeder runs; Stop and Seek also reset the output under it.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread feeder_;
  std::unique_ptr<PlaybackSource> source_;
  std::unique_ptr<SoundOut> out_;
  bool stopRequested_ = false;
  std::optional<uint64_t> seekRequest_;
  // Where the frames queued since the output's last Reset start, how many
  // there are (with those of a Write under way), and what the output
  // counted right after that Reset.
  uint64_t base_ = 0, queued_ = 0, baseline_ = 0;
  std::atomic<bool> playing_{false};
  // The position while no feeder queues: before the first frame is heard,
  // after Stop, at the end, and from a Seek until the feeder takes it up.
  std::atomic<uint64_t> position_{0};
  std::atomic<uint64_t> length_{0};
  std::atomic<uint32_t> rate_{0};
};
