#include "record/recording_scan.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "common/strings.h"
#include "formats/audio_format.h"
#include "formats/audio_length.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace {

std::wstring JoinPath(const std::wstring& folder, std::wstring_view name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += name;
  return path;
}

}  // namespace

std::vector<RecordingEntry> ScanRecordFolder(const std::wstring& folder) {
  std::vector<FolderEntry> listing = FolderEntriesOf(folder);
  std::vector<RecordingEntry> entries;
  // Views of the stems in the listing's names, which outlive the map.
  std::unordered_map<std::wstring_view, size_t> byStem;
  byStem.reserve(listing.size());
  RecordingName name;
  for (FolderEntry& file : listing) {
    if (file.directory) continue;
    uint8_t bit = 0;
    const size_t dot = file.name.rfind(L'.');
    const bool madeHere = ParseRecordingName(file.name, name, &bit);
    if (!madeHere) {
      bit = dot == std::wstring::npos ? 0 : FormatOfExtension(std::wstring_view(file.name).substr(dot + 1));
      if (bit == 0 || dot == 0) continue;
      // Dated by the file, named by its name.
      const LocalTime t = LocalTimeOf(file.modified);
      name = RecordingName();
      name.year = t.year, name.month = t.month, name.day = t.day;
      name.hour = t.hour, name.minute = t.minute, name.second = t.second;
      name.partners = file.name.substr(0, dot);
      name.hasPartners = true;
    }
    const std::wstring_view fileStem = std::wstring_view(file.name).substr(0, dot);
    auto [at, added] = byStem.try_emplace(fileStem, entries.size());
    if (added) {
      RecordingEntry entry;
      entry.stem = JoinPath(folder, fileStem);
      entry.fileStem = fileStem;
      entry.name = name;
      entry.modified = file.modified;
      entry.madeHere = madeHere;
      entries.push_back(std::move(entry));
    }
    RecordingEntry& entry = entries[at->second];
    entry.formats |= bit;
    entry.size += file.size;
    entry.modified = std::max(entry.modified, file.modified);
  }
  return entries;
}

int64_t RecordingDurationMs(const RecordingEntry& entry) {
  for (const AudioFormatName& known : kAudioFormats) {
    if (!(entry.formats & known.bit)) continue;
    std::optional<int64_t> ms = AudioFileDurationMs(entry.stem + L"." + known.extension, known.bit);
    if (ms) return *ms;
  }
  return kDurationUnreadable;
}

// --- Recordings in progress ---------------------------------------------------

std::vector<std::wstring> BusyBases(const std::vector<FolderEntry>& folder) {
  static constexpr std::wstring_view kSideSuffixes[] = {L".rec", L"_Out.sky", L"_In.sky"};
  std::vector<std::wstring> bases;
  for (const FolderEntry& entry : folder) {
    if (entry.directory) continue;
    std::wstring_view name = entry.name;
    for (std::wstring_view suffix : kSideSuffixes) {
      if (name.size() > suffix.size() && EqualsNoCase(name.substr(name.size() - suffix.size()), suffix)) {
        bases.emplace_back(name.substr(0, name.size() - suffix.size()));
        break;
      }
    }
  }
  return bases;
}

bool StemOfBusyBase(const std::vector<std::wstring>& busyBases, std::wstring_view fileStem) {
  for (const std::wstring& base : busyBases) {
    if (fileStem.size() < base.size() || fileStem.substr(0, base.size()) != base) continue;
    // The base ends where the recording's name goes on with its variants or
    // partners, not inside a number.
    if (fileStem.size() == base.size() || fileStem[base.size()] == L'(' || fileStem[base.size()] == L' ')
      return true;
  }
  return false;
}

bool RecordingBusy(const std::vector<FolderEntry>& folder, const std::wstring& fileStem) {
  return StemOfBusyBase(BusyBases(folder), fileStem);
}

bool RecordingBusy(const std::wstring& folderPath, const std::wstring& fileStem) {
  return RecordingBusy(FolderEntriesOf(folderPath), fileStem);
}
