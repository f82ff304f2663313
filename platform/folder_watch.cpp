#include "platform/folder_watch.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/debug_trace.h"
#include "platform/folder_watch_platform.h"

using folder_watch_platform::Changes;

struct FolderWatch::Running {
  std::unique_ptr<Changes> changes;
  std::chrono::milliseconds quiet{0};
  // Held while onChanged runs; `stopped` under it means no call follows.
  std::mutex calling;
  std::function<void()> onChanged;
  bool stopped = false;
};

namespace {

void Watch(const std::shared_ptr<FolderWatch::Running>& running) {
  Changes& changes = *running->changes;
  const auto forever = std::chrono::milliseconds(-1);
  while (changes.Wait(forever) == Changes::kChanged) {
    // Changes that follow each other within the quiet period are told once,
    // after the last of them.
    Changes::Event next;
    while ((next = changes.Wait(running->quiet)) == Changes::kChanged) {
    }
    if (next == Changes::kStopped) break;
    std::lock_guard<std::mutex> lock(running->calling);
    if (running->stopped) break;
    running->onChanged();
  }
}

}  // namespace

FolderWatch::FolderWatch() = default;

FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Start(const std::wstring& folder, std::chrono::milliseconds quiet, std::function<void()> onChanged) {
  Stop();
  std::unique_ptr<Changes> changes = folder_watch_platform::WatchFolder(folder);
  if (!changes) {
    DebugTrace(L"The folder %s cannot be watched.", {folder});
    return false;
  }
  auto running = std::make_shared<Running>();
  running->changes = std::move(changes);
  running->quiet = quiet;
  running->onChanged = std::move(onChanged);
  try {
    // The thread holds what it uses: it may outlive this object.
    std::thread([running] { Watch(running); }).detach();
  } catch (const std::system_error&) {
    DebugTrace(L"The folder %s cannot be watched: no thread.", {folder});
    return false;
  }
  running_ = std::move(running);
  return true;
}

void FolderWatch::Stop() {
  std::shared_ptr<Running> running = std::move(running_);
  if (!running) return;
  running->changes->Stop();
  std::lock_guard<std::mutex> lock(running->calling);
  running->stopped = true;
}
