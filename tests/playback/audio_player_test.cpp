// The player between a source and a sound output: every frame queued once and
// in order, the position as heard, the end told once, and Stop, Seek and Play
// from the window's thread while the feeder runs.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "playback/audio_player.h"
#include "tests/playback/fake_sound_out.h"
#include "tests/formats/formats_test_support.h"
#include "tests/support/wait.h"

namespace {

// Samples that differ from frame to frame, so that a gap, a repeat or a
// reordering shows.
std::vector<int16_t> Pattern(uint16_t channels, size_t frames) {
  std::vector<int16_t> samples(frames * channels);
  for (size_t k = 0; k < samples.size(); ++k) samples[k] = static_cast<int16_t>(k * 7919 % 65521 - 32000);
  return samples;
}

class MemorySource : public PlaybackSource {
 public:
  MemorySource(std::vector<int16_t> samples, uint16_t channels, uint32_t rate) : samples_(std::move(samples)) {
    channels_ = channels;
    rate_ = rate;
    frames_ = samples_.size() / channels;
  }
  size_t Read(int16_t* samples, size_t frames) override {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(frames, frames_ - position_));
    std::copy_n(samples_.begin() + static_cast<ptrdiff_t>(position_ * channels_), n * channels_, samples);
    position_ += n;
    return n;
  }
  bool Seek(uint64_t frame) override {
    if (frame > frames_) return false;
    position_ = frame;
    return true;
  }

 private:
  std::vector<int16_t> samples_;
  uint64_t position_ = 0;
};

std::vector<int16_t> From(const std::vector<int16_t>& samples, uint16_t channels, size_t frame) {
  return std::vector<int16_t>(samples.begin() + static_cast<ptrdiff_t>(frame * channels), samples.end());
}

class AudioPlayerTest : public ::testing::Test {
 protected:
  AudioPlayerTest()
      : state(std::make_shared<FakeOutState>()),
        player([this] { return std::make_unique<FakeSoundOut>(state); }) {
    player.onEnded = [this] {
      endedOn = std::this_thread::get_id();
      ++ended;
    };
  }

  std::unique_ptr<PlaybackSource> Source(size_t frames = 16000, uint16_t channels = 1) {
    samples = Pattern(channels, frames);
    return std::make_unique<MemorySource>(samples, channels, 16000);
  }

  std::shared_ptr<FakeOutState> state;
  std::vector<int16_t> samples;
  std::atomic<int> ended{0};
  std::thread::id endedOn;
  AudioPlayer player;
};

// Played to the end as the output hears it: the position is what was heard,
// the end is told once, on the player's thread, only when all is heard.
TEST_F(AudioPlayerTest, PlaysEveryFrameOnceInOrderAndTellsTheEndOnce) {
  EXPECT_FALSE(player.Playing());
  EXPECT_EQ(player.PositionFrames(), 0u);
  ASSERT_TRUE(player.Play(Source(16000, 2)));
  EXPECT_TRUE(player.Playing());
  EXPECT_EQ(player.LengthFrames(), 16000u);
  EXPECT_EQ(player.Rate(), 16000u);
  EXPECT_EQ(state->Get(&FakeOutState::channels), 2);
  for (uint64_t heard = 0; heard < 16000;) {
    // The output is full before it hears more.
    ASSERT_TRUE(WaitUntil([&] { return state->Get(&FakeOutState::queued) == std::min<uint64_t>(16000, heard + 1600); }));
    EXPECT_TRUE(player.Playing());
    EXPECT_EQ(ended.load(), 0);
    const uint64_t step = std::min<uint64_t>(1000, 16000 - heard);
    state->Hear(step);
    heard += step;
    if (heard < 16000) {
      ASSERT_TRUE(WaitUntil([&] { return player.PositionFrames() == heard; })) << player.PositionFrames();
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 1; }));
  EXPECT_FALSE(player.Playing());
  EXPECT_EQ(player.PositionFrames(), 16000u);
  EXPECT_NE(endedOn, std::this_thread::get_id());
  EXPECT_EQ(state->All(), samples);
  EXPECT_EQ(state->Get(&FakeOutState::closes), 1);
  player.Stop();
  EXPECT_EQ(ended.load(), 1);
}

// Playing from a frame: the position starts there and only the rest is queued.
TEST_F(AudioPlayerTest, PlaysFromTheStartFrame) {
  state->hearsAtOnce = true;
  ASSERT_TRUE(player.Play(Source(), 12345));
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 1; }));
  EXPECT_EQ(state->All(), From(samples, 1, 12345));
  EXPECT_EQ(player.PositionFrames(), 16000u);
}

// Stop while the feeder waits for the output: it returns at once, the end is
// not told, what was queued is dropped and the output closed; the position
// stays. Stopping again, or a player that never played, is harmless.
TEST_F(AudioPlayerTest, StopsAtOnceMidWayWithoutTellingTheEnd) {
  AudioPlayer idle;
  idle.Stop();
  idle.Stop();
  EXPECT_FALSE(idle.Seek(10));

  ASSERT_TRUE(player.Play(Source()));
  ASSERT_TRUE(WaitUntil([&] { return state->Get(&FakeOutState::queued) == 1600; }));
  state->Hear(800);
  ASSERT_TRUE(WaitUntil([&] { return player.PositionFrames() == 800; }));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    player.Stop();
    stopped = true;
  });
  const bool returned = WaitUntil([&] { return stopped.load(); });
  if (!returned) state->Hear(16000);  // lets a hung feeder go, so the test ends
  stopper.join();
  ASSERT_TRUE(returned);
  EXPECT_FALSE(player.Playing());
  EXPECT_GE(state->Get(&FakeOutState::resets), 1);
  EXPECT_EQ(state->Get(&FakeOutState::closes), 1);
  EXPECT_EQ(player.PositionFrames(), 800u);
  EXPECT_FALSE(player.Seek(100));
  player.Stop();
  EXPECT_EQ(ended.load(), 0);
}

// Seek drops what is queued and goes on from the frame; a Seek to the end or
// beyond ends the playback as if it had been heard.
TEST_F(AudioPlayerTest, SeekJumpsAndSeekingPastTheEndEnds) {
  ASSERT_TRUE(player.Play(Source()));
  ASSERT_TRUE(WaitUntil([&] { return state->Get(&FakeOutState::queued) == 1600; }));
  ASSERT_TRUE(player.Seek(9000));
  EXPECT_EQ(player.PositionFrames(), 9000u);
  ASSERT_TRUE(WaitUntil([&] { return state->Get(&FakeOutState::queued) == 1600; }));
  const std::vector<int16_t> after = state->Last();
  ASSERT_EQ(after.size(), 1600u);
  EXPECT_TRUE(std::equal(after.begin(), after.end(), samples.begin() + 9000));
  state->Hear(500);
  ASSERT_TRUE(WaitUntil([&] { return player.PositionFrames() == 9500; }));

  ASSERT_TRUE(player.Seek(20000));
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 1; }));
  EXPECT_FALSE(player.Playing());
  EXPECT_EQ(player.PositionFrames(), 16000u);
  EXPECT_FALSE(player.Seek(0));

  // From the start again, to the end as heard.
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->hearsAtOnce = true;
  }
  ASSERT_TRUE(player.Play(Source()));
  ASSERT_TRUE(player.Seek(15000));
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 2; }));
  EXPECT_EQ(state->Last(), From(samples, 1, 15000));
}

// An output that cannot be opened plays nothing; one that fails while
// playing ends the playback without telling an end.
TEST_F(AudioPlayerTest, OutputFailuresEndWithoutTellingTheEnd) {
  state->failOpen = true;
  EXPECT_FALSE(player.Play(Source()));
  EXPECT_FALSE(player.Playing());
  EXPECT_FALSE(player.Play(nullptr));
  player.Stop();

  state->failOpen = false;
  ASSERT_TRUE(player.Play(Source()));
  ASSERT_TRUE(WaitUntil([&] { return state->Get(&FakeOutState::queued) == 1600; }));
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->failWrite = true;
    state->heard = 1600;
    state->changed.notify_all();
  }
  ASSERT_TRUE(WaitUntil([&] { return !player.Playing(); }));
  EXPECT_EQ(state->Get(&FakeOutState::closes), 1);
  player.Stop();
  EXPECT_EQ(ended.load(), 0);
}

// Play while playing stops the first playback (its output closed, no end
// told) and plays the second; destroying a playing player stops it.
TEST_F(AudioPlayerTest, PlayWhilePlayingAndDestructionWhilePlaying) {
  std::vector<std::shared_ptr<FakeOutState>> outs;
  std::mutex outsMutex;
  auto player = std::make_unique<AudioPlayer>([&] {
    std::lock_guard<std::mutex> lock(outsMutex);
    outs.push_back(std::make_shared<FakeOutState>());
    return std::make_unique<FakeSoundOut>(outs.back());
  });
  player->onEnded = [&] { ++ended; };
  ASSERT_TRUE(player->Play(Source()));
  ASSERT_TRUE(WaitUntil([&] { return outs[0]->Get(&FakeOutState::queued) == 1600; }));
  ASSERT_TRUE(player->Play(Source(4000)));
  ASSERT_EQ(outs.size(), 2u);
  EXPECT_EQ(outs[0]->Get(&FakeOutState::closes), 1);
  for (uint64_t heard = 0; heard < 4000; heard += 1600) {
    ASSERT_TRUE(WaitUntil([&] { return outs[1]->Get(&FakeOutState::queued) == std::min<uint64_t>(4000, heard + 1600); }));
    outs[1]->Hear(1600);
  }
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 1; }));
  EXPECT_EQ(outs[1]->All(), samples);

  ASSERT_TRUE(player->Play(Source()));
  ASSERT_TRUE(WaitUntil([&] { return outs[2]->Get(&FakeOutState::queued) == 1600; }));
  player.reset();
  EXPECT_EQ(outs[2]->Get(&FakeOutState::closes), 1);
  EXPECT_EQ(ended.load(), 1);
}

// A recording decoded from its file reaches the output sample for sample.
TEST_F(AudioPlayerTest, PlaysAFlacRecordingSampleForSample) {
  TempDir dir;
  const std::vector<int16_t> tone = Sweep(2, 16000, 1.3);
  ASSERT_TRUE(MakeRecording(kFormatFlac, dir.file(L"call.flac"), tone, 2, 16000));
  state->hearsAtOnce = true;
  ASSERT_TRUE(player.Play(OpenPlaybackSource(dir.file(L"call.flac"))));
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 1; }));
  EXPECT_EQ(LeBytes(state->All()), LeBytes(tone));
}

// The window's thread plays, seeks and stops over and over while another
// reads the position and the feeders run, with the cores kept busy; an end
// handler stops the player from the feeder. Every output opened is closed
// once, and nothing hangs.
TEST(AudioPlayerUnderLoad, ManyPlayStopCyclesFromAnotherThread) {
  std::mutex outsMutex;
  std::vector<std::shared_ptr<FakeOutState>> outs;
  AudioPlayer player([&] {
    auto state = std::make_shared<FakeOutState>();
    state->hearsAtOnce = true;
    std::lock_guard<std::mutex> lock(outsMutex);
    outs.push_back(state);
    return std::make_unique<FakeSoundOut>(state);
  });
  std::atomic<int> ended{0};
  player.onEnded = [&] {
    ++ended;
    player.Stop();
    EXPECT_FALSE(player.Playing());
  };
  std::atomic<bool> done{false};
  std::vector<std::thread> load;
  for (int k = 0; k < 2; ++k)
    load.emplace_back([&] {
      volatile uint64_t x = 0;
      while (!done) x = x + 1;
    });
  std::thread reader([&] {
    while (!done) {
      const uint64_t position = player.PositionFrames(), length = player.LengthFrames();
      EXPECT_LE(position, std::max<uint64_t>(length, 8000));
      (void)player.Playing();
    }
  });
  const int cycles = 200;
  std::thread window([&] {
    std::mt19937 random(7);
    for (int k = 0; k < cycles; ++k) {
      const size_t frames = 2000 + random() % 6000;
      ASSERT_TRUE(player.Play(std::make_unique<MemorySource>(Pattern(1 + k % 2, frames), 1 + k % 2, 16000),
                              random() % frames));
      if (k % 3 == 0) player.Seek(random() % (frames + 100));
      if (k % 4 != 0) player.Stop();
    }
    player.Stop();
  });
  const bool finished = WaitUntil(
      [&] {
        std::lock_guard<std::mutex> lock(outsMutex);
        return outs.size() >= cycles && !player.Playing();
      },
      std::chrono::minutes(2));
  window.join();
  done = true;
  reader.join();
  for (std::thread& t : load) t.join();
  ASSERT_TRUE(finished);
  std::lock_guard<std::mutex> lock(outsMutex);
  ASSERT_EQ(outs.size(), static_cast<size_t>(cycles));
  for (const auto& state : outs) EXPECT_EQ(state->Get(&FakeOutState::closes), 1);
  EXPECT_LE(ended.load(), cycles);
}

}  // namespace
