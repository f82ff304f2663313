// The recordings in the record folder, as the recordings window shows them:
// which files are recordings this program made (by their names), grouped by
// recording, their lengths read from the files' headers, and the list the
// window sorts and filters. Plus renaming a recording with all its files.
//
// A recording's files are named "<base>(<partners>).<ext>", where <base> is
// the start time with the language's date labels ("2026年12月09日 21时30分05秒"),
// or one of the variants the program also makes: "<base> (N)(<partners>)"
// (a second recording of the same second), "<base>(<partners>) (N)" (a name
// already taken), "<base> (recovered)(<partners>)", "<base>" (a name too long
// for the partners) and "<base>()" (no partners). One recording may have
// several files, one per format: the "extension set".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file.h"

struct RecordingName {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::wstring partners;
  bool hasPartners = false;  // false for "<base>.ext"; true (and empty) for "<base>().ext"
  bool recovered = false;
  int number = 0;            // the " (N)" of a name that was taken; 0 when none
};

// True only for a name this program makes, with one of its extensions (any
// case) and a plausible date (month 1-12, day 1-31, hour 0-23, minute and
// second 0-59). `format` receives the extension's RecordFormat bit.
bool ParseRecordingName(std::wstring_view fileName, RecordingName& name, uint8_t* format = nullptr);

struct RecordingEntry {
  std::wstring stem;      // full path without the extension
  std::wstring fileStem;  // the name without folder and extension
  RecordingName name;
  uint8_t formats = 0;    // RecordFormat bits of the files present
  uint64_t size = 0;      // of all its files
  int64_t modified = 0;   // the newest file's, seconds since 1970-01-01 UTC
  int64_t durationMs = -1;  // -1: not read yet, -2: unreadable
  // The name is one this program makes. An audio file of the folder named
  // otherwise (renamed by the user, or put there) is listed too, with the
  // file's own time and its name in the partners' place; the keeping of
  // recordings never touches such a one.
  bool madeHere = true;
};

constexpr int64_t kDurationNotRead = -1;
constexpr int64_t kDurationUnreadable = -2;

// The recordings of a folder from one listing of it, and the other audio files
// with one of the six extensions (madeHere false); no file is opened.
std::vector<RecordingEntry> ScanRecordFolder(const std::wstring& folder);

// The length of one audio file from its headers (and, for Ogg, its last
// pages), without decoding: WAV, FLAC, Ogg Vorbis, Ogg Opus, MP3, WMA.
// kDurationUnreadable when the file cannot be read or is not of that kind.
int64_t AudioFileDurationMs(const std::wstring& path, uint8_t format);

// The length of a recording from the cheapest of its files to read: WAV,
// FLAC, OGG, Opus, MP3, WMA, the next one when one cannot be read.
int64_t RecordingDurationMs(const RecordingEntry& entry);

// A side file ("X.rec", "X_Out.sky", "X_In.sky") of a recording being written
// or waiting for recovery stands in the folder, for a base X that the
// recording's name starts with.
bool RecordingBusy(const std::vector<FolderEntry>& folder, const std::wstring& fileStem);
bool RecordingBusy(const std::wstring& folderPath, const std::wstring& fileStem);

// The bases of the side files in a listing, and the check against them: for
// callers that test many recordings of one listing.
std::vector<std::wstring> BusyBases(const std::vector<FolderEntry>& folder);
bool StemOfBusyBase(const std::vector<std::wstring>& busyBases, std::wstring_view fileStem);

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

// Renames every file of the recording to the new name (without extension) in
// the same folder, all or none. Refused: an empty name, a character Windows
// does not allow in a name (\ / : * ? " < > |), a trailing dot or space, a
// name that a file with one of the six extensions already has. `error` gets
// why, in words for the trace.
bool RenameRecording(const RecordingEntry& entry, const std::wstring& newFileStem, std::wstring* error);
