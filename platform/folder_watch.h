// Watching a folder for files that come, go or change: a file of the folder
// itself (not of its subfolders) created, deleted, renamed, grown or written.
// A recording's files change several times within a moment (the mix, then
// each encoder), so the watch tells once the folder has been quiet for a
// while after the last change, not at every change:
//
//   FolderWatch watch;
//   if (!watch.Start(folder, std::chrono::milliseconds(300),
//                    [window] { PostMessageW(window, WM_FOLDER_CHANGED, 0, 0); }))
//     ...;  // the folder cannot be watched
//
// The watch waits on a thread of its own, which calls `onChanged`. Stop and
// the destructor never wait for that thread: they tell it to end and return
// (a window's thread stops its watch). A call of onChanged under way is the
// only thing they wait for, so that none comes after they return: keep it
// short (post and return), and do not touch the watch from inside it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class FolderWatch {
 public:
  FolderWatch();
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Starts watching `folder` (a watch already running is stopped first);
  // false, with nothing started, when the folder cannot be watched (it does
  // not exist, or the system refuses).
  bool Start(const std::wstring& folder, std::chrono::milliseconds quiet, std::function<void()> onChanged);
  // No onChanged call follows once this returns.
  void Stop();
  bool Watching() const { return running_ != nullptr; }

  // Shared by the object and its thread.
  struct Running;

 private:
  std::shared_ptr<Running> running_;
};
