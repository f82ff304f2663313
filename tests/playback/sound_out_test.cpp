// The system's sound output as the player uses it. On Windows it is waveOut:
// where the machine has an output device it opens and plays a tone to its
// end, and a Reset from another thread frees a writer that waits; where it
// has none, Open fails and nothing else does harm. On POSIX the stand-in
// plays by the clock, always.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#endif

#include "playback/audio_player.h"
#include "playback/sound_out.h"
#include "tests/formats/formats_test_support.h"
#include "tests/support/wait.h"

namespace {

bool MachineHasSoundOutput() {
#ifdef _WIN32
  return waveOutGetNumDevs() > 0;
#else
  return true;
#endif
}

TEST(SystemSoundOut, PlaysAToneToItsEndWhereADeviceExists) {
  const bool device = MachineHasSoundOutput();
  std::unique_ptr<SoundOut> out = MakeSystemSoundOut();
  const std::vector<int16_t> tone = Sweep(1, 16000, 0.3);
  const bool opened = out->Open(1, 16000);
  ASSERT_EQ(opened, device);
  if (!opened) {
    EXPECT_FALSE(out->Write(tone.data(), tone.size()));
    EXPECT_EQ(out->PlayedFrames(), 0u);
    out->Reset();
    out->Close();
    return;
  }
  ASSERT_TRUE(out->Write(tone.data(), tone.size()));
  ASSERT_TRUE(WaitUntil([&] { return out->PlayedFrames() >= tone.size(); })) << out->PlayedFrames();
  EXPECT_EQ(out->PlayedFrames(), tone.size());

  // Two seconds in one call: the writer waits for free buffers until the
  // Reset from here cuts it short, and the count starts again.
  const std::vector<int16_t> longer = Sweep(1, 16000, 2);
  std::atomic<int> written{-1};
  std::thread writer([&] { written = out->Write(longer.data(), longer.size()) ? 1 : 0; });
  const bool playing = WaitUntil([&] { return out->PlayedFrames() > tone.size(); });
  out->Reset();
  const bool returned = WaitUntil([&] { return written.load() >= 0; });
  writer.join();
  EXPECT_TRUE(playing);
  ASSERT_TRUE(returned);
  EXPECT_EQ(written.load(), 0);
  EXPECT_EQ(out->PlayedFrames(), 0u);
  out->Close();
  EXPECT_FALSE(out->Write(tone.data(), tone.size()));
  // Open again after Close, in stereo.
  const std::vector<int16_t> stereo = Sweep(2, 16000, 0.2);
  ASSERT_TRUE(out->Open(2, 16000));
  ASSERT_TRUE(out->Write(stereo.data(), stereo.size() / 2));
  ASSERT_TRUE(WaitUntil([&] { return out->PlayedFrames() >= stereo.size() / 2; }));
  out->Close();
}

// The player with the system's output: a short recording plays to its end
// and the end is told, where there is a device; otherwise Play says no.
TEST(SystemSoundOut, ThePlayerPlaysARecordingToItsEnd) {
  TempDir dir;
  const std::vector<int16_t> tone = Sweep(1, 16000, 0.4);
  ASSERT_TRUE(MakeRecording(kFormatWav, dir.file(L"call.wav"), tone, 1, 16000));
  AudioPlayer player;
  std::atomic<int> ended{0};
  player.onEnded = [&] { ++ended; };
  const bool playing = player.Play(OpenPlaybackSource(dir.file(L"call.wav")));
  ASSERT_EQ(playing, MachineHasSoundOutput());
  if (!playing) return;
  ASSERT_TRUE(WaitUntil([&] { return ended.load() == 1; }));
  EXPECT_EQ(player.PositionFrames(), tone.size());
  EXPECT_FALSE(player.Playing());
}

}  // namespace
