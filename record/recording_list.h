// The rows of the recordings window: the folder's recordings, filtered by the
// partners and sorted by a column, and the texts of their cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "record/recording_scan.h"

enum class RecordingColumn { Time, Partners, Duration, Formats, Size };

// The rows of the recordings window: the folder's recordings, filtered by the
// partners and sorted by a column. Owned by the window's thread; not
// thread-safe.
class RecordingListModel {
 public:
  // A new listing. The sort and the filter stay; a duration already read is
  // kept for a recording whose files are unchanged (same stem, formats and
  // size).
  void Replace(std::vector<RecordingEntry> entries);
  // Rows whose partners hold the text, case folded; empty shows every row.
  void SetFilter(std::wstring text);
  // Stable, ties broken by the time; unknown lengths sort last either way.
  void SortBy(RecordingColumn column, bool ascending);

  size_t Count() const { return rows_.size(); }
  const RecordingEntry& At(size_t row) const { return entries_[rows_[row]]; }
  std::optional<size_t> RowOf(const std::wstring& stem) const;
  // Records a length read from the files; the rows move only when they are
  // sorted by length. False for an unknown stem.
  bool SetDuration(const std::wstring& stem, int64_t ms);
  // Many lengths at once (a batch read in the background): sorted once, not
  // row by row.
  void SetDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations);
  // The stems of the rows [firstRow, firstRow + count) whose length has not
  // been read: the rows on screen are read first.
  std::vector<std::wstring> StemsWithoutDuration(size_t firstRow, size_t count) const;

  RecordingColumn sortColumn() const { return column_; }
  bool ascending() const { return ascending_; }

 private:
  bool Before(size_t a, size_t b) const;
  bool Shown(size_t index) const;
  void Rebuild();
  void Sort();
  void Renumber(size_t fromRow);

  std::vector<RecordingEntry> entries_;
  std::vector<std::wstring> foldedPartners_;  // per entry, for the filter and the sort
  // Views of the entries' stems (entries_ is not resized between Replaces).
  std::unordered_map<std::wstring_view, size_t> indexOfStem_;
  std::vector<int64_t> timeKeys_;             // per entry, for the sort by time
  std::vector<size_t> rows_;                  // entry indexes in shown order
  std::vector<size_t> rowOfIndex_;            // entry index to row, or kNoRow
  std::wstring filter_;                       // case folded
  RecordingColumn column_ = RecordingColumn::Time;
  bool ascending_ = false;
};

// "m:ss", from one hour "h:mm:ss"; empty for a negative (unknown) length.
std::wstring FormatDuration(int64_t ms);
// "812 B", "1.4 KB", "23.5 MB", "1.02 GB" (1 KB = 1024 B).
std::wstring FormatSize(uint64_t bytes);
// The formats present, "WAV FLAC OGG Opus MP3 WMA" in that order.
std::wstring FormatNames(uint8_t formats);
// "2026-12-09 21:30:05".
std::wstring FormatRecordingTime(const RecordingName& name);
