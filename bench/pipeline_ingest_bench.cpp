// The whole receiving path over loopback: client connections send as fast as
// they can; the AudioServer's receive thread appends every chunk to the Out
// hand-off (StreamHandoff::Append); the Out writer thread writes each full block
// to its stream file on disk, written through; at the end the finishing sequence
// stops the writer, which writes what is pending and fills in the header.
//
// An iteration is one recording: from the first byte sent to the finished file.
// Sending faster than the disk takes the blocks makes the hand-off drop audio
// (its overflow block fills); the "kept" counter says which share of the bytes
// sent reached the file. Real calls send 32,000 bytes per second per direction.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/audio_server.h"
#include "platform/file.h"
#include "record/recording_session.h"
#include "record/stream_handoff.h"
#include "settings/settings.h"
#include "tests/net/test_peer.h"
#include "tests/support/temp_dir.h"

namespace {

class NoWindow : public RecordingView {
 public:
  void ShowRecordingEnded() override {}
  void ScheduleTrayBalloon() override {}
  void ScheduleFolderStatus() override {}
  void OpenRecordFolder(const std::wstring&) override {}
};

void BM_ReceiveHandOffWriteToDisk(benchmark::State& state) {
  const size_t connections = static_cast<size_t>(state.range(0));
  const size_t bytesPerRecording = static_cast<size_t>(state.range(1)) << 20;
  TempDir dir;
  Settings.RecordFormat = kFormatWav;  // the finished file stays; no encoder runs
  Settings.RecordWay = kRecordBoth;
  Settings.OpenRecordFolderAfterRecording = 0;
  Settings.ShowStatusOnTray = 0;
  if (!AllocateHandoffs()) {
    state.SkipWithError("no hand-off memory");
    return;
  }
  std::atomic<size_t> received{0};
  AudioServer server(Direction::Out, 0, [&received](const uint8_t* data, size_t n) {
    HandoffOf(Direction::Out).Append(data, n);
    received.fetch_add(n, std::memory_order_release);
  });
  if (!StartAudioServer(server)) {
    state.SkipWithError("the server did not start");
    return;
  }
  const std::string share(bytesPerRecording / connections, '\x21');
  NoWindow view;
  size_t sent = 0, kept = 0, recordings = 0;
  for (auto _ : state) {
    std::wstring base = dir.file(L"recording " + std::to_wstring(recordings++));
    recordingSession.SetBasePath(base);
    ResetHandoffs();
    recordingSession.Flags(Direction::Out).Clear();
    recordingSession.Flags(Direction::In).Clear();
    received = 0;
    if (!StartStreamWriter(Direction::Out, false)) {
      state.SkipWithError("the writer did not start");
      return;
    }
    std::vector<std::unique_ptr<TestPeer>> peers;
    std::vector<std::thread> senders;
    for (size_t i = 0; i < connections; ++i) {
      peers.push_back(std::make_unique<TestPeer>());
      if (!peers.back()->Connect(server.ListeningPort())) {
        state.SkipWithError("connect failed");
        return;
      }
    }
    for (auto& peer : peers) senders.emplace_back([&peer, &share] { peer->SendAll(share); });
    for (std::thread& sender : senders) sender.join();
    const size_t target = share.size() * connections;
    while (received.load(std::memory_order_acquire) < target)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    // The only writer of a two-way recording: the finishing stops it and turns
    // its file into the recording "<base>().wav".
    FinishRecording(view);
    uint64_t size = 0;
    if (!QueryFileSize(base + L"().wav", size) || size < 44) {
      state.SkipWithError("no recording");
      return;
    }
    sent += target;
    kept += static_cast<size_t>(size - 44);
    state.PauseTiming();
    RemoveFile(base + L"().wav");
    for (auto& peer : peers) peer->Close();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(sent));
  state.counters["kept"] = sent ? static_cast<double>(kept) / static_cast<double>(sent) : 0;
  state.counters["connections"] = static_cast<double>(connections);
}

}  // namespace

// 4 MiB fit in the hand-off's two blocks whatever the disk does; 64 MiB show the
// disk's pace against the network's.
BENCHMARK(BM_ReceiveHandOffWriteToDisk)
    ->Args({1, 4})
    ->Args({1, 64})
    ->Args({4, 64})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
