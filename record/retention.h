// Keeping the record folder to a number of days: recordings older than that go
// to the Recycle Bin, where the user can still get them back. Only files whose
// names this program makes are touched, never one of a recording that is
// being written or waits for recovery, never a folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

// The full paths of the recordings' files in a listing of `folderPath` last
// written more than keepDays × 86400 s before `now` (seconds since 1970);
// none when keepDays <= 0.
std::vector<std::wstring> ExpiredRecordingFiles(const std::vector<FolderEntry>& folder, const std::wstring& folderPath,
                                                int keepDays, int64_t now);

struct RetentionResult {
  size_t removed = 0;  // recordings whose every expired file went to the Recycle Bin
  size_t failed = 0;   // recordings with an expired file that stayed
};

// Lists the folder and moves its expired recordings to the Recycle Bin, in
// batches, with no window to own a question. Run off the window's thread.
RetentionResult ApplyRetention(const std::wstring& folder, int keepDays, int64_t now);
