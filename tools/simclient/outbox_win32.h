// The outbox: everything SimSkype sends to the recorder (attach statuses,
// notifications, answers to commands, texts from the foreign window) goes
// through one queue and one thread, so it reaches the recorder in the order
// it was made.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace simclient {

struct OutItem {
  enum class Kind { Attach, Notify, Foreign, Reply } kind;
  std::string text;
  uint32_t status = 0;           // Attach
  int64_t delayMs = 0;           // waited before the item goes out
  bool userHandleReply = false;  // the answer that completes an attach
  std::shared_ptr<std::atomic<bool>> sent = std::make_shared<std::atomic<bool>>(false);
};

class Outbox {
 public:
  void Start();
  void Push(OutItem item);
  // Pushes and waits until the item has gone out.
  void PushAndWait(OutItem item);
  // Sends what is queued, then ends the thread.
  void Finish();

 private:
  void Run();
  void Send(const OutItem& item);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<OutItem> items_;
  bool finishing_ = false;
  bool stopped_ = false;
  std::thread thread_;
};

extern Outbox outbox;

}  // namespace simclient
