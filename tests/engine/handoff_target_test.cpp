// The road of a direction's audio as the program wires it: an audio server
// hands each read to the hand-off (straight into its block where a whole read
// fits), and a writer of the hand-off puts it in the stream file. Every byte a
// client sends arrives in the file, in order, across the hand-off's blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "engine/handoff_target.h"
#include "net/audio_server.h"
#include "record/stream_writer.h"
#include "record/wave_file.h"
#include "tests/net/test_peer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {
// The program's target, counting what passes through it.
class CountedTarget : public HandoffTarget {
 public:
  using HandoffTarget::HandoffTarget;
  void Received(uint8_t* space, size_t n) override {
    HandoffTarget::Received(space, n);
    bytes += n;
  }
  void Take(const uint8_t* data, size_t n) override {
    HandoffTarget::Take(data, n);
    bytes += n;
  }
  std::atomic<size_t> bytes{0};
};
}  // namespace

TEST(HandoffTarget, EveryByteSentReachesTheStreamFileAcrossTheBlocks) {
  TempDir dir;
  StreamHandoff handoff;
  ASSERT_TRUE(handoff.Allocate());
  WriterFlags flags;
  StreamWriterJob job;
  job.streamName = dir.file(L"wired_Out.sky");
  job.handoff = &handoff;
  job.flags = &flags;
  WriterResult result;
  std::thread writer([&] { result = RunStreamWriter(job); });

  CountedTarget target(handoff);
  AudioServer server(Direction::Out, 0, target);
  ASSERT_TRUE(StartAudioServer(server));
  // Less than the hand-off's two blocks hold, so that nothing may be dropped
  // however late the writer is; more than one block, so that reads land in
  // the block, go through the server's buffer at its end, and to the overflow.
  std::string sent = RandomBytes(5, 3 * 1024 * 1024 + 777);
  TestPeer peer;
  ASSERT_TRUE(peer.Connect(server.ListeningPort()));
  std::mt19937 random(3);
  for (size_t at = 0; at < sent.size();) {
    size_t n = std::min<size_t>(1 + random() % 200000, sent.size() - at);
    ASSERT_TRUE(peer.SendAll(sent.substr(at, n)));
    at += n;
  }
  peer.Close();
  ASSERT_TRUE(WaitUntil([&] { return target.bytes.load() == sent.size(); }));
  flags.stop = 1;
  writer.join();
  ASSERT_TRUE(result.completed);
  std::string file = ReadFileBytes(job.streamName);
  ASSERT_EQ(file.size(), kWaveHeaderBytes + sent.size());
  EXPECT_TRUE(file.compare(kWaveHeaderBytes, std::string::npos, sent) == 0);
}
