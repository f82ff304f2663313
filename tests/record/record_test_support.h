// What the record tests share: test audio, expected file images, a fake main
// window view, and a fixture that gives each test a record folder and a clean
// recording state.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"
#include "record/recording_session.h"
#include "record/stream_handoff.h"
#include "record/wave_file.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "tests/support/capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

// Holds the first data write to a stream file (after its three header pieces)
// until Release, as a slow disk would: the writer is then known to be busy
// with a write while the test pauses, resumes or stops.
class WriteHold {
 public:
  explicit WriteHold(const std::wstring& streamSuffix) : state_(std::make_shared<State>()) {
    FileFault fault;
    fault.op = FileOp::Write;
    fault.pathContains = streamSuffix;
    fault.skip = 3;
    // The writer thread may still be inside the hold when this object goes:
    // it keeps the state alive itself.
    fault.hold = [state = state_] {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->held = true;
      state->changed.notify_all();
      state->changed.wait_for(lock, kGenerousDeadline, [&] { return state->released; });
    };
    InjectFileFault(fault);
  }
  ~WriteHold() { Release(); }

  bool WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, kGenerousDeadline, [this] { return state_->held; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->released = true;
    state_->changed.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false, released = false;
  };
  std::shared_ptr<State> state_;
};

// Deterministic bytes that differ from position to position, so that a gap, an
// overlap or a reordering shows.
inline std::string Pattern(size_t n, uint32_t seed) {
  std::string bytes(n, '\0');
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(x >> 16);
  }
  return bytes;
}

inline std::string Samples(const std::vector<int16_t>& samples) {
  std::string bytes;
  for (int16_t s : samples) {
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(s) & 0xFF));
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(s) >> 8));
  }
  return bytes;
}

inline int16_t SampleAt(const std::string& bytes, size_t index) {
  return static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * index]) |
                              (static_cast<uint8_t>(bytes[2 * index + 1]) << 8));
}

inline std::string Header(uint16_t channels, uint32_t riff, uint32_t data) {
  auto h = BuildWaveHeader(channels, riff, data);
  return std::string(reinterpret_cast<const char*>(h.data()), h.size());
}

// A finished file image: the header with its sizes, then the data.
inline std::string WaveImage(uint16_t channels, const std::string& data) {
  return Header(channels, static_cast<uint32_t>(data.size() + 36), static_cast<uint32_t>(data.size())) + data;
}

// Compares file images without printing megabytes: the sizes and the first
// differing offset.
inline ::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at offset " << at;
}

// The size of a file that its writer may still hold (it is not shared, so it
// cannot be read meanwhile on Windows); 0 when it does not exist.
inline uint64_t SizeOf(const std::wstring& path) {
  uint64_t size = 0;
  QueryFileSize(path, size);
  return size;
}

class FakeRecordingView : public RecordingView {
 public:
  void ShowRecordingEnded() override { ++ended; }
  void ScheduleTrayBalloon() override { ++balloons; }
  void ScheduleFolderStatus() override { ++folderStatus; }
  void OpenRecordFolder(const std::wstring& folder) override {
    ++opened;
    openedFolder = folder;
  }
  std::atomic<int> ended{0}, balloons{0}, folderStatus{0}, opened{0};
  std::wstring openedFolder;
};

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.Change([&](SettingsRecord& s) {
      s.RecordFormat = kFormatWav;
      s.RecordWay = kRecordBoth;
      s.SaveLF = 0;
      s.ShowStatusOnTray = 0;
      s.OpenRecordFolderAfterRecording = 0;
      s.WavePath = dir.path();
    });
    callPartners.Clear();
    finishedCallPartners.Clear();
    recordingSession.SetBasePath(base);
    ASSERT_TRUE(AllocateHandoffs());
    ResetHandoffs();
    recordingSession.Flags(Direction::Out).Clear();
    recordingSession.Flags(Direction::In).Clear();
  }

  void TearDown() override {
    // No writer may outlive its test.
    ClearFileFaults();
    ClearProcessFaults();
    MessageBoxCapture boxes;  // a box on Windows would wait for a click
    FakeRecordingView view;
    FinishRecording(view);
  }

  std::wstring StreamName(Direction d) const { return base + (d == Direction::Out ? L"_Out.sky" : L"_In.sky"); }

  void Append(Direction d, const std::string& bytes) {
    HandoffOf(d).Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  TempDir dir;
  std::wstring base = dir.file(L"2011-03-07 09h05m02s");
};
