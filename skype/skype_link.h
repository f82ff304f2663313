// The link to the Skype client: its flags, the queue of received notifications,
// sending commands, and the handling of connection notifications. What to do
// with each notification is decided above it (skype_client.h): the link knows
// nothing of calls.
//
// The transport (window messages on Windows) is in message_window_win32.cpp and
// skype_transport_*.cpp; what it receives comes in through OnAttachStatus and
// OnCopyData below, which hold the rules, so that the rules are the same on
// every platform and are tested natively.
//
// Threads: the user-interface thread owns the message window (it queues
// notifications and handles attach statuses); SkypeMessageThread takes the
// notifications one at a time and parses them (link_threads.h).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "skype/skype_api.h"
#include "skype/skype_events.h"

// A received text is kept to this many characters (a buffer of 16000 units).
constexpr size_t kNotificationMaxChars = 15999;
// The signed-in user's handle: 300 units, so at most 299 characters.
constexpr size_t kUserHandleUnits = 300;

// The client's state as the status line shows it; compared by number.
enum SkypeClientState : int {
  NotRunning = 1,
  NotAttached = 2,
  LoggedOut = 3,
  Attached = 4,
  NotInstalled = 5,
};

// A short text shared between threads, cut to a fixed slot size.
class TextSlot {
 public:
  explicit TextSlot(size_t units) : units_(units) {}
  void Set(std::wstring_view text);
  std::wstring Get() const;
  void Clear();

 private:
  const size_t units_;
  mutable std::mutex mutex_;
  std::wstring text_;
};

// First in, first out; guarded by its own lock, held for one append or one take.
class NotificationQueue {
 public:
  void Append(std::wstring text);
  // Takes the front text; false when the queue is empty.
  bool Take(std::wstring& text);
  bool Empty() const;
  size_t Size() const;
  void Clear();
  // Wakes a waiter in WaitForText.
  void Wake();
  // Waits until a text is queued, Wake is called or `stop` is set.
  void WaitForText(const std::atomic<bool>& stop);

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::wstring> texts_;
};

// Where a command goes: the client's API window, and the recorder's window that
// sends it. A copy taken from the link lets a thread that may outlive the link
// (the shell's, at exit) still send.
struct CommandRoute {
  WindowId apiWindow = 0;
  WindowId fromWindow = 0;
};

// Sends one command along a route: false, with nothing sent, when the route
// has no client window or the text is empty; otherwise the client's answer.
// The text ends at its first zero character. On the wire: UTF-8 followed by
// two zero bytes, both counted.
bool SendCommandTo(const CommandRoute& route, std::wstring_view text);

class SkypeLink {
 public:
  explicit SkypeLink(SkypeEvents& events) : events_(events) {}
  SkypeLink(const SkypeLink&) = delete;
  SkypeLink& operator=(const SkypeLink&) = delete;

  // The link's flags. Each is one word, written whole; readers act on what
  // they see.
  std::atomic<WindowId> messageWindow{0};   // the recorder's window; the sender of every command
  std::atomic<WindowId> skypeApiWindow{0};  // the client's API window; set by attach status 0
  std::atomic<uint32_t> attached{0};        // 1 once the user's handle is known
  std::atomic<uint32_t> loggedOut{0};       // 1 after a LOGGEDOUT notification
  TextSlot currentUserHandle{kUserHandleUnits};
  NotificationQueue notificationQueue;

  // Sends one command to the client (any thread). False, with nothing sent
  // and no log line, before the first attach success or for an empty text;
  // otherwise the client's answer (nonzero counts as accepted). The text ends
  // at its first zero character. On the wire: UTF-8 followed by two zero
  // bytes, both counted.
  bool SendCommand(std::wstring_view text) { return SendCommandTo(Route(), text); }
  CommandRoute Route() const { return {skypeApiWindow.load(), messageWindow.load()}; }
  // The process of the client the link talks to; 0 before an attach or
  // after the client went.
  uint32_t ClientProcess() const;

  // The connection notifications: the user's handle and LOGGEDOUT.
  void ParseConnectionMessage(const std::wstring& text);

  // The transport's entry points, on the user-interface thread.
  // The attach message: `apiWindow` is its wParam, `status` its lParam.
  void OnAttachStatus(WindowId apiWindow, uintptr_t status);
  // A WM_COPYDATA from `sender` (its wParam) with `size` bytes (cbData) at
  // `data`. Only the client's API window is listened to, and only after it
  // has attached; the text is read up to its first zero byte but never
  // beyond `size` bytes, decoded from UTF-8 and kept to 15999 characters.
  // Returns whether the text was taken (the message's result, 1 or 0).
  // Nothing is parsed here.
  bool OnCopyData(WindowId sender, const void* data, size_t size);

  // The watch thread's check: when the client's API window that the attach
  // named is gone (the client quit or crashed without a goodbye), the link
  // forgets it and goes back to discovering, the application is told, and the
  // calls the client was in are dropped (on the message thread, TakeClientGone).
  // True when the client was found gone.
  bool CheckClientWindow();
  // For the message thread: the client vanished since the last call.
  bool TakeClientGone() { return clientGone_.exchange(false); }

 private:
  SkypeEvents& events_;
  // Set by an attach status that detaches, cleared by an attach success. The
  // user-handle reply to an earlier success may still wait in the queue
  // behind a command the message thread is sending; it must not attach the
  // link again after the client has said it is not available.
  std::atomic<uint32_t> handleReplyStale_{0};
  // Set by the watch thread when the client's window vanished; taken by the
  // message thread, which owns the calls.
  std::atomic<bool> clientGone_{false};
};
