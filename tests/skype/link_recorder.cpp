#include "tests/skype/link_recorder.h"

#include <algorithm>

#include "common/strings.h"
#include "tests/support/skype_client_standin.h"
#include "tests/support/wait.h"

LinkRecorder::LinkRecorder(bool attach) : client_(settings_, *this) {
  if (attach) {
    client_.link.messageWindow.store(kMessageWindow);
    client_.link.skypeApiWindow.store(kApiWindow);
  }
  SkypeClientStandIn standIn;
  standIn.command = [this](WindowId apiWindow, WindowId fromWindow, const std::string& data) {
    // The text as the client reads it: up to the first zero byte.
    std::string text = data.substr(0, data.find('\0'));
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = commandHook_;
    }
    if (hook) hook(text);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      commands_.push_back({apiWindow, fromWindow, data});
    }
    add(L"> " + WideFromUtf8(text));
    return clientAnswer_.load();
  };
  standIn.windowExists = [this](WindowId apiWindow) { return !(windowGone_.load() && apiWindow == kApiWindow); };
  standIn.discover = [this](WindowId) {
    if (windowGone_.load()) add(L"DISCOVER");
  };
  SetSkypeClientStandIn(standIn);
}

LinkRecorder::~LinkRecorder() {
  // The threads call the stand-in's hooks, which point at this object.
  client_.StopThreads();
  SetSkypeClientStandIn({});
}

void LinkRecorder::handle(const wchar_t* event) {
  std::function<void(const std::wstring&)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = eventHook_;
    counts_.push_back(client_.calls.activeCallCount.load());
    flags_.emplace_back(client_.link.attached.load(), client_.link.loggedOut.load());
  }
  if (hook) hook(event);
  add(event);
}

void LinkRecorder::add(std::wstring event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(std::move(event));
}

std::vector<std::wstring> LinkRecorder::events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

size_t LinkRecorder::count(const std::wstring& event) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count(events_.begin(), events_.end(), event));
}

void LinkRecorder::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
  commands_.clear();
  counts_.clear();
  flags_.clear();
}

bool LinkRecorder::waitForEvents(size_t n) const {
  return WaitUntil([&] { return events().size() >= n; });
}

std::vector<LinkRecorder::Command> LinkRecorder::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<int32_t> LinkRecorder::countsSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

std::vector<std::pair<uint32_t, uint32_t>> LinkRecorder::flagsSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flags_;
}

void LinkRecorder::onCommand(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  commandHook_ = std::move(hook);
}

void LinkRecorder::onEvent(std::function<void(const std::wstring&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  eventHook_ = std::move(hook);
}
