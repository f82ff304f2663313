// Native tests of the client link: a stand-in client and a stand-in main window
// that write down, in one list and in order, every command the link sends and
// every message the main window handles.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "skype/skype_link.h"

// Events as they are written down:
//   "> <command>"  a command the client received (decoded from its bytes);
//   "STARTED", "ENDED", "STATUS", "PARTNER"  a message the main window handled.
class LinkRecorder {
 public:
  // The client's API window and the recorder's message window, as the tests
  // give them to the link.
  static constexpr WindowId kApiWindow = 0x5A;
  static constexpr WindowId kMessageWindow = 0x3C;

  // Resets the link, sets the settings the call state machine reads to their
  // defaults, installs both stand-ins. With `attach`, the client has attached
  // (skypeApiWindow set) and the recorder's window exists.
  explicit LinkRecorder(bool attach = true);
  ~LinkRecorder();

  std::vector<std::wstring> events() const;
  void clear();
  // Waits until at least `n` events are written down.
  bool waitForEvents(size_t n) const;

  struct Command {
    WindowId apiWindow;
    WindowId fromWindow;
    std::string data;  // lpData, cbData bytes
  };
  std::vector<Command> commands() const;

  // activeCallCount as each message was being handled, in order.
  std::vector<int32_t> countsSeenByMainWindow() const;

  // The client's API window vanishes (the client quit without a goodbye); a
  // discover broadcast is written down as "DISCOVER".
  void setClientWindowGone(bool gone) { windowGone_.store(gone); }

  // What the client answers to a command (default: accepted).
  void setClientAnswer(bool accept) { clientAnswer_.store(accept); }
  // Called for each command before it is written down (in the sender's thread).
  void onCommand(std::function<void(const std::string& text)> hook);
  // Called for each main-window message before it is written down (on the
  // stand-in user-interface thread).
  void onMessage(std::function<void(uint32_t message)> hook);

 private:
  void add(std::wstring event);

  mutable std::mutex mutex_;
  std::vector<std::wstring> events_;
  std::vector<Command> commands_;
  std::vector<int32_t> counts_;
  std::function<void(const std::string&)> commandHook_;
  std::function<void(uint32_t)> messageHook_;
  std::atomic<bool> clientAnswer_{true};
  std::atomic<bool> windowGone_{false};
};

std::wstring MessageName(uint32_t message);
