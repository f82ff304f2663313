#include "skype/skype_link.h"

#include <cstring>
#include <new>

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "skype/skype_api.h"
#include "skype/skype_transport.h"

void TextSlot::Set(std::wstring_view text) {
  std::wstring cut = CutToSlot(text, units_);
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = std::move(cut);
}

std::wstring TextSlot::Get() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void TextSlot::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.clear();
}

void NotificationQueue::Append(std::wstring text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(std::move(text));
  }
  changed_.notify_all();
}

bool NotificationQueue::Take(std::wstring& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (texts_.empty()) return false;
  text = std::move(texts_.front());
  texts_.pop_front();
  return true;
}

bool NotificationQueue::Empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_.empty();
}

size_t NotificationQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_.size();
}

void NotificationQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  texts_.clear();
}

void NotificationQueue::Wake() {
  // Taking the lock orders this wake after a waiter's test of its condition,
  // so a stop request set just before cannot be missed.
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

void NotificationQueue::WaitForText(const std::atomic<bool>& stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !texts_.empty() || stop.load(); });
}

bool SendCommandTo(const CommandRoute& route, std::wstring_view text) {
  WindowId apiWindow = route.apiWindow;
  if (apiWindow == 0) return false;
  // The command is a zero-terminated text on the wire: it ends at its first zero.
  size_t zero = text.find(L'\0');
  if (zero != std::wstring_view::npos) text = text.substr(0, zero);
  if (text.empty()) return false;
  DebugTrace(L"To the client: %s", {text});
  std::string data;
  try {
    data = Utf8FromWide(text);
    data.append(2, '\0');  // both zero bytes are part of cbData
  } catch (const std::bad_alloc&) {
    return false;
  }
  return DeliverCommandToSkype(apiWindow, route.fromWindow, data);
}

namespace {
// "USERSTATUS " and "CONNSTATUS " are both this long.
constexpr size_t kStatusPrefixChars = 11;
}  // namespace

void SkypeLink::ParseConnectionMessage(const std::wstring& text) {
  // PROTOCOL, AUDIO_IN, AUDIO_OUT, RINGER, SKYPEVERSION and everything else
  // not named here are ignored.
  if (StartsWithNoCase(text, L"USERSTATUS ") || StartsWithNoCase(text, L"CONNSTATUS ")) {
    if (text.size() > kStatusPrefixChars &&
        EqualsNoCase(std::wstring_view(text).substr(kStatusPrefixChars), L"LOGGEDOUT")) {
      attached.store(0);
      loggedOut.store(1);
      events_.OnClientStateChanged();
    }
    return;
  }
  if (StartsWithNoCase(text, L"CURRENTUSERHANDLE ")) {
    size_t blank = text.find(L' ');
    currentUserHandle.Set(std::wstring_view(text).substr(blank + 1));
    if (handleReplyStale_.load() != 0) return;
    attached.store(1);
    events_.OnClientStateChanged();
  }
}

void SkypeLink::OnAttachStatus(WindowId apiWindow, uintptr_t status) {
  switch (status) {
    case kAttachSuccess:
      // Without a window to talk to, a success means nothing; the window that
      // an earlier success named stays.
      if (apiWindow == 0) return;
      skypeApiWindow.store(apiWindow);
      handleReplyStale_.store(0);
      SendCommand(kGetCurrentUserHandle);
      loggedOut.store(0);
      break;
    case kAttachRefused:
    case kAttachNotAvailable:
    case kAttachApiAvailable:
      handleReplyStale_.store(1);
      attached.store(0);
      break;
    default:  // pending authorisation, or unknown: nothing changes
      break;
  }
}

bool SkypeLink::OnCopyData(WindowId sender, const void* data, size_t size) {
  WindowId apiWindow = skypeApiWindow.load();
  // Before the first attach success nobody is listened to, not even a sender
  // that gives 0 as its window.
  if (apiWindow == 0 || sender != apiWindow) return false;
  std::string_view bytes;
  if (data != nullptr) {
    const char* begin = static_cast<const char*>(data);
    const void* zero = std::memchr(begin, 0, size);
    bytes = std::string_view(begin, zero ? static_cast<size_t>(static_cast<const char*>(zero) - begin) : size);
  }
  // Each UTF-16 unit takes at least one and at most three UTF-8 bytes (a pair
  // of units takes four), so this many bytes always give the longest text kept.
  constexpr size_t kMaxBytes = 3 * kNotificationMaxChars;
  if (bytes.size() > kMaxBytes) bytes = bytes.substr(0, kMaxBytes);
  std::wstring text = WideFromUtf8(bytes);
  if (text.size() > kNotificationMaxChars) text.resize(kNotificationMaxChars);
  notificationQueue.Append(std::move(text));
  return true;
}

uint32_t SkypeLink::ClientProcess() const { return ClientWindowProcess(skypeApiWindow.load()); }

bool SkypeLink::CheckClientWindow() {
  WindowId apiWindow = skypeApiWindow.load();
  if (apiWindow == 0 || ClientWindowExists(apiWindow)) return false;
  // Only the window that vanished is forgotten: a new attach may just have
  // named another.
  if (!skypeApiWindow.compare_exchange_strong(apiWindow, 0)) return false;
  DebugTrace(L"The client's window is gone: discovering again");
  handleReplyStale_.store(1);
  attached.store(0);
  clientGone_.store(true);
  // An empty text wakes the message thread, which ignores it.
  notificationQueue.Append(std::wstring());
  events_.OnClientStateChanged();
  return true;
}
