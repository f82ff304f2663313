#include "tools/simclient/outbox_win32.h"

#include <windows.h>

#include <chrono>
#include <utility>

#include "tools/simclient/client_state_win32.h"
#include "tools/simclient/logs_win32.h"

namespace simclient {

Outbox outbox;

void Outbox::Start() { thread_ = std::thread([this] { Run(); }); }

void Outbox::Push(OutItem item) {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.push_back(std::move(item));
  changed_.notify_all();
}

void Outbox::PushAndWait(OutItem item) {
  auto sent = item.sent;
  Push(std::move(item));
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return sent->load() || stopped_; });
}

void Outbox::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

namespace {

// WM_COPYDATA with the text and one zero byte; the recorder's answer, or -1
// when the send failed or timed out.
long long SendCopyData(HWND to, HWND from, const std::string& text) {
  std::string data = text;
  data.push_back('\0');
  COPYDATASTRUCT copy = {};
  copy.cbData = static_cast<DWORD>(data.size());
  copy.lpData = data.data();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&copy),
                           SMTO_NORMAL, 10000, &result))
    return -1;
  return static_cast<long long>(result);
}

}  // namespace

void Outbox::Send(const OutItem& item) {
  if (item.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(item.delayMs));
  HWND recorder = Recorder();
  switch (item.kind) {
    case OutItem::Kind::Attach: {
      if (recorder == nullptr) {
        PostMessageW(HWND_BROADCAST, attachMessage, reinterpret_cast<WPARAM>(apiWindow), item.status);
        logs.Event("attach " + std::to_string(item.status) + " broadcast");
        break;
      }
      DWORD_PTR result = 0;
      long long r = SendMessageTimeoutW(recorder, attachMessage, reinterpret_cast<WPARAM>(apiWindow), item.status,
                                        SMTO_NORMAL, 10000, &result)
                        ? static_cast<long long>(result)
                        : -1;
      logs.Event("attach " + std::to_string(item.status) + " " + std::to_string(r));
      break;
    }
    case OutItem::Kind::Notify:
    case OutItem::Kind::Reply:
    case OutItem::Kind::Foreign: {
      const char* name = item.kind == OutItem::Kind::Notify ? "notify "
                         : item.kind == OutItem::Kind::Reply ? "reply "
                                                              : "foreign ";
      if (recorder == nullptr) {
        logs.Event(std::string(name) + "none " + item.text);
        break;
      }
      HWND from = item.kind == OutItem::Kind::Foreign ? foreignWindow : apiWindow;
      long long r = SendCopyData(recorder, from, item.text);
      logs.Event(name + std::to_string(r) + " " + item.text);
      if (item.userHandleReply && r > 0) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        ++shared.userHandleReplies;
        shared.changed.notify_all();
      }
      break;
    }
  }
}

void Outbox::Run() {
  for (;;) {
    OutItem item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !items_.empty() || finishing_; });
      if (items_.empty()) {
        stopped_ = true;
        changed_.notify_all();
        return;
      }
      item = items_.front();
      items_.pop_front();
    }
    Send(item);
    std::lock_guard<std::mutex> lock(mutex_);
    item.sent->store(true);
    changed_.notify_all();
  }
}

}  // namespace simclient
