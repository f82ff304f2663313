#include <windows.h>

#include "platform/folder_watch_platform.h"

namespace folder_watch_platform {
namespace {

class Win32Changes : public Changes {
 public:
  Win32Changes(HANDLE change, HANDLE stop) : change_(change), stop_(stop) {}
  ~Win32Changes() override {
    FindCloseChangeNotification(change_);
    CloseHandle(stop_);
  }

  Event Wait(std::chrono::milliseconds timeout) override {
    HANDLE waits[] = {stop_, change_};
    DWORD ms = timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count());
    switch (WaitForMultipleObjects(2, waits, FALSE, ms)) {
      case WAIT_OBJECT_0 + 1:
        // Armed again for the next change.
        return FindNextChangeNotification(change_) ? kChanged : kStopped;
      case WAIT_TIMEOUT:
        return kTimedOut;
      default:
        return kStopped;
    }
  }

  void Stop() override { SetEvent(stop_); }

 private:
  HANDLE change_;
  HANDLE stop_;
};

}  // namespace

std::unique_ptr<Changes> WatchFolder(const std::wstring& folder) {
  HANDLE change = FindFirstChangeNotificationW(
      folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (change == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stop) {
    FindCloseChangeNotification(change);
    return nullptr;
  }
  return std::make_unique<Win32Changes>(change, stop);
}

}  // namespace folder_watch_platform
