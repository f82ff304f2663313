#include "tests/skype/link_recorder.h"

#include "common/strings.h"
#include "platform/main_window.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/skype_messages.h"
#include "tests/support/main_window_standin.h"
#include "tests/support/skype_client_standin.h"
#include "tests/support/wait.h"

std::wstring MessageName(uint32_t message) {
  switch (message) {
    case WM_SKYPE_CALL_STARTED: return L"STARTED";
    case WM_SKYPE_CALL_ENDED: return L"ENDED";
    case WM_SKYPE_STATUS_CHANGED: return L"STATUS";
    case WM_SKYPE_PARTNER_KNOWN: return L"PARTNER";
    default: return L"message " + std::to_wstring(message);
  }
}

LinkRecorder::LinkRecorder(bool attach) {
  ResetSkypeLinkState();
  Settings.Change([&](SettingsRecord& s) {
    s.RecordWay = 0;
    s.CloseSkypeMainWindowWhenTalking = 0;
    s.CloseSkypeCallQualityWindow = 0;
  });
  if (attach) {
    messageWindow.store(kMessageWindow);
    skypeApiWindow.store(kApiWindow);
  } else {
    messageWindow.store(0);
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
  StartMainWindowStandIn([this](uint32_t message) {
    std::function<void(uint32_t)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = messageHook_;
      counts_.push_back(activeCallCount.load());
    }
    if (hook) hook(message);
    add(MessageName(message));
  });
}

LinkRecorder::~LinkRecorder() {
  StopMainWindowStandIn();
  SetSkypeClientStandIn({});
  ResetSkypeLinkState();
  messageWindow.store(0);
  Settings.Change([&](SettingsRecord& s) {
    s.RecordWay = 0;
    s.CloseSkypeMainWindowWhenTalking = 0;
    s.CloseSkypeCallQualityWindow = 0;
  });
}

void LinkRecorder::add(std::wstring event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(std::move(event));
}

std::vector<std::wstring> LinkRecorder::events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

void LinkRecorder::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
  commands_.clear();
  counts_.clear();
}

bool LinkRecorder::waitForEvents(size_t n) const {
  return WaitUntil([&] { return events().size() >= n; });
}

std::vector<LinkRecorder::Command> LinkRecorder::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<int32_t> LinkRecorder::countsSeenByMainWindow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

void LinkRecorder::onCommand(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  commandHook_ = std::move(hook);
}

void LinkRecorder::onMessage(std::function<void(uint32_t)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  messageHook_ = std::move(hook);
}
