#include "capture/auto_record.h"

#include <chrono>

#include "common/strings.h"
#include "platform/clock.h"
#include "platform/process.h"

std::vector<std::wstring> ParseAppList(std::wstring_view text) {
  std::vector<std::wstring> apps;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find_first_of(L";,", begin);
    if (end == std::wstring_view::npos) end = text.size();
    std::wstring_view name = text.substr(begin, end - begin);
    while (!name.empty() && (name.front() == L' ' || name.front() == L'\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == L' ' || name.back() == L'\t')) name.remove_suffix(1);
    if (!name.empty()) {
      std::wstring app(name);
      if (app.find(L'.') == std::wstring::npos) app += L".exe";
      apps.push_back(app);
    }
    begin = end + 1;
  }
  return apps;
}

AutoRecordRules::AutoRecordRules(std::vector<std::wstring> apps, uint32_t ownProcessId)
    : apps_(std::move(apps)), ownProcessId_(ownProcessId) {}

bool AutoRecordRules::Listed(const std::wstring& exeName, std::wstring& app) const {
  for (const std::wstring& listed : apps_) {
    if (EqualsNoCase(listed, exeName)) {
      app = listed;
      return true;
    }
  }
  return false;
}

AutoRecordRules::Decision AutoRecordRules::Update(const std::vector<CaptureSessionInfo>& sessions, uint32_t nowMs) {
  Decision decision;
  std::wstring app;
  bool calling = false;
  for (const CaptureSessionInfo& session : sessions) {
    // The recorder's own capture of the microphone is no call.
    if (!session.active || session.processId == ownProcessId_) continue;
    if (Listed(session.exeName, app)) {
      calling = true;
      break;
    }
  }
  if (calling) {
    quietSince_ = false;
    if (!recording_ && !waitForQuiet_) {
      recording_ = true;
      decision.action = Start;
      decision.app = app;
    }
    return decision;
  }
  waitForQuiet_ = false;
  if (!recording_) return decision;
  if (!quietSince_) {
    quietSince_ = true;
    quietAt_ = nowMs;
  }
  if (nowMs - quietAt_ >= kStopDelayMs) {
    recording_ = false;
    quietSince_ = false;
    decision.action = Stop;
  }
  return decision;
}

void AutoRecordRules::Stopped() {
  if (!recording_) return;
  recording_ = false;
  quietSince_ = false;
  waitForQuiet_ = true;
}

// --- The watcher ----------------------------------------------------------------

AutoRecordWatcher::AutoRecordWatcher(CaptureSessions& sessions, Report report)
    : sessions_(sessions), report_(std::move(report)), thread_([this] { Loop(); }) {}

AutoRecordWatcher::~AutoRecordWatcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void AutoRecordWatcher::Watch(const CaptureEndpoint& endpoint, const std::vector<std::wstring>& apps) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The same watch goes on as it is: its rules know what it started and
    // what was stopped by hand.
    if (on_ && endpoint_.kind == endpoint.kind && endpoint_.name == endpoint.name && apps_ == apps) return;
    on_ = true;
    ++generation_;
    endpoint_ = endpoint;
    apps_ = apps;
  }
  changed_.notify_all();
}

void AutoRecordWatcher::Off() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    on_ = false;
    ++generation_;
  }
  changed_.notify_all();
}

void AutoRecordWatcher::Stopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  stoppedByHand_ = true;
}

void AutoRecordWatcher::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || on_; });
    if (quit_) return;
    const uint64_t generation = generation_;
    const CaptureEndpoint endpoint = endpoint_;
    AutoRecordRules rules(apps_, CurrentProcessId());
    stoppedByHand_ = false;
    while (!quit_ && generation_ == generation) {
      if (stoppedByHand_) {
        stoppedByHand_ = false;
        rules.Stopped();
      }
      lock.unlock();
      std::vector<CaptureSessionInfo> sessions;
      AutoRecordRules::Decision decision;
      // Sessions that cannot be read count as none: a recording it started
      // ends after the delay rather than running on unseen.
      if (!sessions_.List(endpoint, sessions)) sessions.clear();
      decision = rules.Update(sessions, TickCountMs());
      if (decision.action != AutoRecordRules::None) report_(decision);
      lock.lock();
      changed_.wait_for(lock, std::chrono::milliseconds(kPollMs),
                        [this, generation] { return quit_ || generation_ != generation; });
    }
    // Switched off while a recording it started runs: it ends. (Replaced by
    // a new list, the new rules find the call app again and take it over.)
    if (rules.Recording() && !quit_ && !on_) {
      lock.unlock();
      report_({AutoRecordRules::Stop, L""});
      lock.lock();
    }
  }
}
