// The recordings of the record folder from one listing of it: the files of
// one name grouped into a recording, the length of each read from its
// cheapest file, and which of them are still being made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "record/recording_name.h"

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

// The length of a recording from the cheapest of its files to read: WAV,
// FLAC, OGG, Opus, MP3, WMA, the next one when one cannot be read;
// kDurationUnreadable when none can.
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
