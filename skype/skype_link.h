// The link to the Skype client: its flags, the queue of received notifications,
// sending commands, and the handling of connection notifications. What to do
// with each notification is decided above it (skype_messages.h): the link
// knows nothing of calls.
//
// The transport (window messages on Windows) is in message_window_win32.cpp and
// skype_transport_*.cpp; what it receives comes in through OnAttachStatus and
// OnCopyDataFromSkype below, which hold the rules, so that the rules are the
// same on every platform and are tested natively.
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

// Link flags. Each is one word, written whole; readers act on what they see.
extern std::atomic<WindowId> messageWindow;   // the recorder's window; the sender of every command
extern std::atomic<WindowId> skypeApiWindow;  // the client's API window; set by attach status 0
extern std::atomic<uint32_t> attached;        // 1 once the user's handle is known
extern std::atomic<uint32_t> loggedOut;       // 1 after a LOGGEDOUT notification
extern TextSlot currentUserHandle;
extern NotificationQueue notificationQueue;

// Sends one command to the client (any thread). False, with nothing sent and no
// log line, before the first attach success or for an empty text; otherwise the
// client's answer (nonzero counts as accepted). The text ends at its first zero
// character. On the wire: UTF-8 followed by two zero bytes, both counted.
bool SendCommandToSkype(std::wstring_view text);

// The connection notifications: the user's handle and LOGGEDOUT.
void ParseConnectionMessage(const std::wstring& text);

// The transport's entry points, on the user-interface thread.
// The attach message: `apiWindow` is its wParam, `status` its lParam.
void OnAttachStatus(WindowId apiWindow, uintptr_t status);
// A WM_COPYDATA from `sender` (its wParam) with `size` bytes (cbData) at
// `data`. Only the client's API window is listened to, and only after it has
// attached; the text is read up to its first zero byte but never beyond `size`
// bytes, decoded from UTF-8 and kept to 15999 characters. Returns whether the
// text was taken (the message's result, 1 or 0). Nothing is parsed here.
bool OnCopyDataFromSkype(WindowId sender, const void* data, size_t size);

// The watch thread's check: when the client's API window that the attach named
// is gone (the client quit or crashed without a goodbye), the link forgets it
// and goes back to discovering, the status line is told, and the calls the
// client was in are dropped (on the message thread, TakeClientGone). True when
// the client was found gone.
bool CheckClientWindow();
// For the message thread: the client vanished since the last call.
bool TakeClientGone();

// The link's flags and queue back to those of a fresh process.
void ResetLinkFlags();
