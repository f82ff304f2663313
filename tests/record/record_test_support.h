// What the record tests share: test audio, expected file images, the calls and
// the events of a session as a test sets and reads them, and a fixture that
// gives each test a record folder and a session of its own.
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
#include "settings/language.h"
#include "settings/settings.h"
#include "tests/support/capture.h"
#include "tests/support/sample_bytes.h"
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

inline std::string Samples(const std::vector<int16_t>& samples) { return SampleBytes(samples); }

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

// The calls as a test sets them.
class FakeCalls : public CallSource {
 public:
  bool CallInProgress() const override { return inProgress.load(); }
  std::wstring PartnerList() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return partners_;
  }
  void SetPartners(std::wstring partners) {
    std::lock_guard<std::mutex> lock(mutex_);
    partners_ = std::move(partners);
  }
  std::atomic<bool> inProgress{false};

 private:
  mutable std::mutex mutex_;
  std::wstring partners_;
};

// The events a session reports, written down (from whichever thread).
class EventLog : public RecordingEvents {
 public:
  void OnRecordingStarted() override { ++started; }
  void OnRecordingResumed(bool timeRunning) override {
    ++resumed;
    if (timeRunning) ++resumedRunning;
  }
  void OnRecordingPaused() override { ++paused; }
  void OnRecordingFinishing() override { ++finishing; }
  void OnRecordingStopped() override { ++stopped; }
  void OnRecordingFinished(const FinishedRecording& recording) override {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(recording);
  }
  void OnRecordingFailed(RecordingFailure failure) override {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(failure);
  }
  void OnRecordingsRecovered(const RecoveryReport& report) override {
    std::lock_guard<std::mutex> lock(mutex_);
    recovered_.push_back(report);
  }

  std::vector<RecordingFailure> failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
  }
  std::vector<FinishedRecording> finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
  }
  std::vector<RecoveryReport> recovered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recovered_;
  }
  size_t count(RecordingFailure failure) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (RecordingFailure f : failures_) n += f == failure;
    return n;
  }

  std::atomic<int> started{0}, resumed{0}, resumedRunning{0}, paused{0}, finishing{0}, stopped{0};

 private:
  mutable std::mutex mutex_;
  std::vector<RecordingFailure> failures_;
  std::vector<FinishedRecording> finished_;
  std::vector<RecoveryReport> recovered_;
};

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.Change([&](SettingsRecord& s) {
      s.formats = kFormatWav;
      s.recordWay = RecordWay::Both;
      s.stereo = 0;
      s.stateBalloons = 0;
      s.openFolderAfterRecording = 0;
      s.recordFolder = dir.path();
    });
    session.SetBasePath(base);
    ASSERT_TRUE(session.AllocateHandoffs());
  }

  void TearDown() override {
    // No writer may outlive its test.
    ClearFileFaults();
    ClearProcessFaults();
    session.FinishRecording();
    session.WaitForFinishing();
  }

  std::wstring StreamName(Direction d) const { return base + (d == Direction::Out ? L"_Out.sky" : L"_In.sky"); }

  void Append(Direction d, const std::string& bytes) {
    session.Handoff(d).Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  TempDir dir;
  std::wstring base = dir.file(L"2011-03-07 09h05m02s");
  SettingsStore settings;
  LanguageTable language{LanguageIniPath()};
  FakeCalls calls;
  EventLog events;
  RecordingSession session{settings, language, calls, events};
};
