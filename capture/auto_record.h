// The automatic start for the computer's sound: a recording begins when a
// call app (a program of the user's list) opens a capture session on the
// near-end device, and ends a few seconds after the last such session has
// ended, so that a device reopened between two parts of a call does not split
// the recording.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/capture_device.h"

// The executable names of a list separated by ';' or ',' (blanks around a
// name do not count; a name without an extension gets ".exe").
std::vector<std::wstring> ParseAppList(std::wstring_view text);

class AutoRecordRules {
 public:
  enum Action { None, Start, Stop };
  struct Decision {
    Action action = None;
    std::wstring app;  // the app a Start is for, as the list spells it
  };
  // How long after the last call app's session the recording ends.
  static constexpr uint32_t kStopDelayMs = 5000;

  AutoRecordRules(std::vector<std::wstring> apps, uint32_t ownProcessId);
  // The sessions as they are at `nowMs` (a millisecond tick).
  Decision Update(const std::vector<CaptureSessionInfo>& sessions, uint32_t nowMs);
  // The recording it started has ended another way (Stop by hand): it waits
  // for the call apps' sessions to end before it starts again.
  void Stopped();
  bool Recording() const { return recording_; }

 private:
  bool Listed(const std::wstring& exeName, std::wstring& app) const;

  std::vector<std::wstring> apps_;
  uint32_t ownProcessId_;
  bool recording_ = false;
  bool waitForQuiet_ = false;  // stopped by hand while a call app still captured
  bool quietSince_ = false;
  uint32_t quietAt_ = 0;
};

// Reads the sessions once a second on a thread of its own while it is on,
// and reports each decision.
class AutoRecordWatcher {
 public:
  using Report = std::function<void(const AutoRecordRules::Decision&)>;
  AutoRecordWatcher(CaptureSessions& sessions, Report report);
  ~AutoRecordWatcher();
  AutoRecordWatcher(const AutoRecordWatcher&) = delete;
  AutoRecordWatcher& operator=(const AutoRecordWatcher&) = delete;

  // Watches the endpoint for the apps (replacing a different watch; the same
  // one goes on undisturbed); Off stops.
  void Watch(const CaptureEndpoint& endpoint, const std::vector<std::wstring>& apps);
  void Off();
  // A recording it started was stopped by hand.
  void Stopped();

  static constexpr uint32_t kPollMs = 1000;

 private:
  void Loop();

  CaptureSessions& sessions_;
  Report report_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool quit_ = false;
  bool on_ = false;
  bool stoppedByHand_ = false;
  uint64_t generation_ = 0;
  CaptureEndpoint endpoint_;
  std::vector<std::wstring> apps_;
  std::thread thread_;
};
