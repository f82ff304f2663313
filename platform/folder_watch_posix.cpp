// Linux's inotify tells the folder's changes; a pipe ends the wait.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/folder_watch_platform.h"
#include "platform/paths_posix.h"

namespace folder_watch_platform {
namespace {

// What Windows reports for FILE_NOTIFY_CHANGE_FILE_NAME, _SIZE and
// _LAST_WRITE; the folder itself going ends the watch.
constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE |
                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

class InotifyChanges : public Changes {
 public:
  InotifyChanges(int notify, int stopRead, int stopWrite)
      : notify_(notify), stopRead_(stopRead), stopWrite_(stopWrite) {}
  ~InotifyChanges() override {
    close(notify_);
    close(stopRead_);
    close(stopWrite_);
  }

  Event Wait(std::chrono::milliseconds timeout) override {
    pollfd fds[] = {{stopRead_, POLLIN, 0}, {notify_, POLLIN, 0}};
    const int ms = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    int ready;
    do {
      ready = poll(fds, 2, ms);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0 || fds[0].revents != 0) return kStopped;
    if (ready == 0) return kTimedOut;
    if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return kStopped;
    // Every event queued is taken; the folder's own end stops the watch.
    alignas(inotify_event) char buffer[4096];
    bool gone = false;
    for (;;) {
      ssize_t got = read(notify_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      for (char* p = buffer; p < buffer + got;) {
        auto* event = reinterpret_cast<inotify_event*>(p);
        if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) gone = true;
        p += sizeof(inotify_event) + event->len;
      }
    }
    return gone ? kStopped : kChanged;
  }

  void Stop() override {
    const char byte = 1;
    ssize_t written;
    do {
      written = write(stopWrite_, &byte, 1);
    } while (written < 0 && errno == EINTR);
  }

 private:
  int notify_;
  int stopRead_;
  int stopWrite_;
};

}  // namespace

std::unique_ptr<Changes> WatchFolder(const std::wstring& folder) {
  int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (notify < 0) return nullptr;
  int stop[2];
  if (inotify_add_watch(notify, NativePath(folder).c_str(), kEvents) < 0 || pipe2(stop, O_CLOEXEC | O_NONBLOCK) != 0) {
    close(notify);
    return nullptr;
  }
  return std::make_unique<InotifyChanges>(notify, stop[0], stop[1]);
}

}  // namespace folder_watch_platform
