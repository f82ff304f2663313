// Native tests of the client link: a client object of the test's own, driven
// through a stand-in client and the application's side of the link. Both
// write down, in one list and in order, every command the client receives and
// every event the link and the call state machine tell the application.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"
#include "skype/skype_link.h"

// Events as they are written down:
//   "> <command>"  a command the client received (decoded from its bytes);
//   "STARTED", "ENDED", "STATUS", "PARTNER"  an event the application was told
//     (OnCallStarted, OnCallEnded, OnClientStateChanged, OnPartnerKnown).
class LinkRecorder : public SkypeEvents {
 public:
  // The client's API window and the recorder's message window, as the tests
  // give them to the link.
  static constexpr WindowId kApiWindow = 0x5A;
  static constexpr WindowId kMessageWindow = 0x3C;

  // A fresh client with the default settings, and the client stand-in
  // installed. With `attach`, the client has attached (skypeApiWindow set) and
  // the recorder's window exists.
  explicit LinkRecorder(bool attach = true);
  // Stops the client's threads, then removes the stand-in they call.
  ~LinkRecorder() override;
  LinkRecorder(const LinkRecorder&) = delete;
  LinkRecorder& operator=(const LinkRecorder&) = delete;

  // The settings the call state machine and the watcher read.
  SettingsStore& settings() { return settings_; }
  SkypeClient& client() { return client_; }
  SkypeLink& link() { return client_.link; }
  CallStateMachine& calls() { return client_.calls; }

  std::vector<std::wstring> events() const;
  // How many times `event` was written down.
  size_t count(const std::wstring& event) const;
  void clear();
  // Waits until at least `n` events are written down.
  bool waitForEvents(size_t n) const;

  struct Command {
    WindowId apiWindow;
    WindowId fromWindow;
    std::string data;  // lpData, cbData bytes
  };
  std::vector<Command> commands() const;

  // What the application would have read when it was told of each event, in
  // order: activeCallCount, and the link's (attached, loggedOut).
  std::vector<int32_t> countsSeen() const;
  std::vector<std::pair<uint32_t, uint32_t>> flagsSeen() const;

  // The client's API window vanishes (the client quit without a goodbye); a
  // discover broadcast is written down as "DISCOVER".
  void setClientWindowGone(bool gone) { windowGone_.store(gone); }

  // What the client answers to a command (default: accepted).
  void setClientAnswer(bool accept) { clientAnswer_.store(accept); }
  // Called for each command before it is written down (in the sender's thread).
  void onCommand(std::function<void(const std::string& text)> hook);
  // Called for each event before it is written down, on the thread that
  // tells it (the message thread, the watcher, or the test's own).
  void onEvent(std::function<void(const std::wstring& event)> hook);

  // SkypeEvents: each event is written down once, as it is told.
  void OnClientStateChanged() override { handle(L"STATUS"); }
  void OnCallStarted() override { handle(L"STARTED"); }
  void OnCallEnded() override { handle(L"ENDED"); }
  void OnPartnerKnown() override { handle(L"PARTNER"); }

 private:
  void handle(const wchar_t* event);
  void add(std::wstring event);

  SettingsStore settings_;
  mutable std::mutex mutex_;
  std::vector<std::wstring> events_;
  std::vector<Command> commands_;
  std::vector<int32_t> counts_;
  std::vector<std::pair<uint32_t, uint32_t>> flags_;
  std::function<void(const std::string&)> commandHook_;
  std::function<void(const std::wstring&)> eventHook_;
  std::atomic<bool> clientAnswer_{true};
  std::atomic<bool> windowGone_{false};
  // Last, so that it goes first: its threads use everything above.
  SkypeClient client_;
};
