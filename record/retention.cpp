#include "record/retention.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "platform/recycle_bin.h"
#include "record/recording_name.h"
#include "record/recording_scan.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Files per shell operation: few enough that one failure leaves the others'
// batches unaffected, many enough that a large folder takes few operations.
constexpr size_t kBatchFiles = 64;

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + name;
}

std::wstring StemOf(const std::wstring& path) { return path.substr(0, path.rfind(L'.')); }

}  // namespace

std::vector<std::wstring> ExpiredRecordingFiles(const std::vector<FolderEntry>& folder, const std::wstring& folderPath,
                                                int keepDays, int64_t now) {
  std::vector<std::wstring> expired;
  if (keepDays <= 0) return expired;
  int64_t cutoff = now - static_cast<int64_t>(keepDays) * kSecondsPerDay;
  std::vector<std::wstring> busy = BusyBases(folder);
  // A recording is as old as its newest file: one whose MP3 was made again
  // yesterday keeps its old WAV too.
  std::map<std::wstring_view, int64_t> newest;
  std::vector<const FolderEntry*> candidates;
  RecordingName name;
  for (const FolderEntry& entry : folder) {
    if (entry.directory || !ParseRecordingName(entry.name, name)) continue;
    std::wstring_view stem = std::wstring_view(entry.name).substr(0, entry.name.rfind(L'.'));
    if (StemOfBusyBase(busy, stem)) continue;
    auto [at, added] = newest.try_emplace(stem, entry.modified);
    if (!added) at->second = std::max(at->second, entry.modified);
    candidates.push_back(&entry);
  }
  for (const FolderEntry* entry : candidates) {
    std::wstring_view stem = std::wstring_view(entry->name).substr(0, entry->name.rfind(L'.'));
    if (newest[stem] < cutoff) expired.push_back(JoinPath(folderPath, entry->name));
  }
  return expired;
}

RetentionResult ApplyRetention(const std::wstring& folder, int keepDays, int64_t now) {
  RetentionResult result;
  if (keepDays <= 0) return result;
  std::vector<std::wstring> expired = ExpiredRecordingFiles(FolderEntriesOf(folder), folder, keepDays, now);
  if (expired.empty()) return result;

  // A recording's files go in one batch, so that it is either gone or kept.
  std::map<std::wstring, std::vector<std::wstring>> byStem;
  for (std::wstring& path : expired) byStem[StemOf(path)].push_back(std::move(path));

  auto flush = [&result](std::vector<std::wstring>& batch, std::vector<std::wstring>& stems) {
    if (batch.empty()) return;
    bool all = MoveToRecycleBin(batch, nullptr);
    for (const std::wstring& stem : stems) {
      bool stayed = false;
      if (!all) {
        // The shell does not say which files it took: the folder does.
        for (const std::wstring& path : batch)
          if (StemOf(path) == stem && PathExists(path)) stayed = true;
      }
      ++(stayed ? result.failed : result.removed);
    }
    batch.clear();
    stems.clear();
  };

  std::vector<std::wstring> batch, stems;
  for (auto& [stem, paths] : byStem) {
    if (!batch.empty() && batch.size() + paths.size() > kBatchFiles) flush(batch, stems);
    stems.push_back(stem);
    for (std::wstring& path : paths) batch.push_back(std::move(path));
  }
  flush(batch, stems);
  DebugTrace(L"Retention: %d recordings older than %d days went to the Recycle Bin, %d stayed.",
             {static_cast<unsigned long long>(result.removed), keepDays,
              static_cast<unsigned long long>(result.failed)});
  return result;
}
