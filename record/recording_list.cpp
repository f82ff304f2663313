#include "record/recording_list.h"

#include <algorithm>
#include <limits>

#include "common/strings.h"
#include "common/text_format.h"
#include "formats/audio_format.h"

namespace {

// Case folding for the partners' filter and sort: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic, the same on every platform (the C
// library's towlower depends on the locale).
wchar_t Fold(wchar_t c) {
  if (c < 0x80) return AsciiLower(c);
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<wchar_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<wchar_t>(c + 0x50);
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return static_cast<wchar_t>(c | 1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? static_cast<wchar_t>(c + 1) : c;
  return c;
}

std::wstring Folded(std::wstring_view text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = Fold(c);
  return folded;
}

constexpr size_t kNoRow = std::numeric_limits<size_t>::max();

int Compare3(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// The time a recording is sorted by, as one number: the date and time, then
// the copy's number, then recovered or not, in that order of weight.
int64_t TimeKey(const RecordingName& n) {
  int64_t key = n.year;
  for (int64_t part : {int64_t{n.month}, int64_t{n.day}, int64_t{n.hour}, int64_t{n.minute}, int64_t{n.second}})
    key = key * 100 + part;
  // At most 14 digits of date and time leave room for a copy's number up to
  // 1023 (more copies of one second sort by their names).
  return (key * 1024 + std::min(n.number, 1023)) * 2 + (n.recovered ? 1 : 0);
}

// The formats as the window names them, read as a number: WAV first counts
// most, so that equal sets sit together.
int FormatsKey(uint8_t formats) {
  int key = 0;
  for (const AudioFormatName& known : kAudioFormats) key = key * 2 + ((formats & known.bit) ? 1 : 0);
  return key;
}

}  // namespace

bool RecordingListModel::Before(size_t a, size_t b) const {
  const RecordingEntry& x = entries_[a];
  const RecordingEntry& y = entries_[b];
  int order = 0;
  switch (column_) {
    case RecordingColumn::Time: break;
    case RecordingColumn::Partners: order = foldedPartners_[a].compare(foldedPartners_[b]); break;
    case RecordingColumn::Duration: {
      bool xKnown = x.durationMs >= 0, yKnown = y.durationMs >= 0;
      // Unknown lengths last, whichever the direction.
      if (xKnown != yKnown) return xKnown;
      if (xKnown) order = Compare3(x.durationMs, y.durationMs);
      break;
    }
    case RecordingColumn::Formats: order = Compare3(FormatsKey(x.formats), FormatsKey(y.formats)); break;
    case RecordingColumn::Size: order = Compare3(static_cast<int64_t>(x.size), static_cast<int64_t>(y.size)); break;
  }
  if (order == 0) order = Compare3(timeKeys_[a], timeKeys_[b]);
  if (order == 0) order = x.fileStem.compare(y.fileStem);
  return ascending_ ? order < 0 : order > 0;
}

bool RecordingListModel::Shown(size_t index) const {
  return filter_.empty() || foldedPartners_[index].find(filter_) != std::wstring::npos;
}

void RecordingListModel::Replace(std::vector<RecordingEntry> entries) {
  struct Known {
    int64_t durationMs;
    uint8_t formats;
    uint64_t size;
  };
  // The old entries stay until the new ones have taken what is known of them.
  std::vector<RecordingEntry> previous = std::move(entries_);
  std::unordered_map<std::wstring_view, Known> known;
  for (const RecordingEntry& entry : previous)
    if (entry.durationMs != kDurationNotRead) known.emplace(entry.stem, Known{entry.durationMs, entry.formats, entry.size});
  entries_ = std::move(entries);
  indexOfStem_.clear();
  indexOfStem_.reserve(entries_.size());
  foldedPartners_.clear();
  foldedPartners_.reserve(entries_.size());
  timeKeys_.clear();
  timeKeys_.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    RecordingEntry& entry = entries_[i];
    if (entry.durationMs == kDurationNotRead && !known.empty()) {
      auto found = known.find(entry.stem);
      // A file that grew or changed format is read again.
      if (found != known.end() && found->second.formats == entry.formats && found->second.size == entry.size)
        entry.durationMs = found->second.durationMs;
    }
    indexOfStem_.emplace(entry.stem, i);
    foldedPartners_.push_back(Folded(entry.name.partners));
    timeKeys_.push_back(TimeKey(entry.name));
  }
  Rebuild();
}

void RecordingListModel::SetFilter(std::wstring text) {
  filter_ = Folded(text);
  Rebuild();
}

void RecordingListModel::SortBy(RecordingColumn column, bool ascending) {
  column_ = column;
  ascending_ = ascending;
  Sort();
}

void RecordingListModel::Rebuild() {
  rows_.clear();
  rowOfIndex_.assign(entries_.size(), kNoRow);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (Shown(i)) rows_.push_back(i);
  Sort();
}

void RecordingListModel::Sort() {
  std::stable_sort(rows_.begin(), rows_.end(), [this](size_t a, size_t b) { return Before(a, b); });
  Renumber(0);
}

void RecordingListModel::Renumber(size_t fromRow) {
  for (size_t row = fromRow; row < rows_.size(); ++row) rowOfIndex_[rows_[row]] = row;
}

std::optional<size_t> RecordingListModel::RowOf(const std::wstring& stem) const {
  auto found = indexOfStem_.find(stem);
  if (found == indexOfStem_.end() || rowOfIndex_[found->second] == kNoRow) return std::nullopt;
  return rowOfIndex_[found->second];
}

bool RecordingListModel::SetDuration(const std::wstring& stem, int64_t ms) {
  auto found = indexOfStem_.find(stem);
  if (found == indexOfStem_.end()) return false;
  size_t index = found->second;
  entries_[index].durationMs = ms;
  size_t row = rowOfIndex_[index];
  if (column_ != RecordingColumn::Duration || row == kNoRow) return true;
  // The order is total (the stem breaks the last tie), so taking the row out
  // and putting it back where it belongs gives what a full sort would.
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  auto at = std::lower_bound(rows_.begin(), rows_.end(), index, [this](size_t a, size_t b) { return Before(a, b); });
  size_t newRow = static_cast<size_t>(at - rows_.begin());
  rows_.insert(at, index);
  Renumber(std::min(row, newRow));
  return true;
}

void RecordingListModel::SetDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations) {
  if (column_ != RecordingColumn::Duration) {
    for (const auto& [stem, ms] : durations) SetDuration(stem, ms);
    return;
  }
  for (const auto& [stem, ms] : durations) {
    auto found = indexOfStem_.find(stem);
    if (found != indexOfStem_.end()) entries_[found->second].durationMs = ms;
  }
  Rebuild();
}

std::vector<std::wstring> RecordingListModel::StemsWithoutDuration(size_t firstRow, size_t count) const {
  std::vector<std::wstring> stems;
  size_t end = firstRow + std::min(count, rows_.size());
  for (size_t row = firstRow; row < end && row < rows_.size(); ++row)
    if (entries_[rows_[row]].durationMs == kDurationNotRead) stems.push_back(entries_[rows_[row]].stem);
  return stems;
}

// --- Texts ---------------------------------------------------------------------------

std::wstring FormatDuration(int64_t ms) {
  if (ms < 0) return std::wstring();
  int64_t seconds = ms / 1000;
  long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h > 0) return FormatText(L"%d:%02d:%02d", {h, m, s});
  return FormatText(L"%d:%02d", {seconds / 60, s});
}

std::wstring FormatSize(uint64_t bytes) {
  if (bytes < 1024) return FormatText(L"%d B", {static_cast<unsigned long long>(bytes)});
  // Tenths of KB and MB, hundredths of GB, rounded; a figure that rounds up
  // to 1024 of one unit is shown in the next.
  auto scaled = [bytes](unsigned shift, uint64_t parts) {
    uint64_t unit = 1ull << shift;
    return bytes / unit * parts + ((bytes % unit) * parts + unit / 2) / unit;
  };
  uint64_t tenths = scaled(10, 10);
  if (tenths < 10240) return FormatText(L"%d.%d KB", {static_cast<unsigned long long>(tenths / 10),
                                                      static_cast<unsigned long long>(tenths % 10)});
  tenths = scaled(20, 10);
  if (tenths < 10240) return FormatText(L"%d.%d MB", {static_cast<unsigned long long>(tenths / 10),
                                                      static_cast<unsigned long long>(tenths % 10)});
  uint64_t hundredths = scaled(30, 100);
  return FormatText(L"%d.%02d GB", {static_cast<unsigned long long>(hundredths / 100),
                                    static_cast<unsigned long long>(hundredths % 100)});
}

std::wstring FormatNames(uint8_t formats) {
  std::wstring names;
  for (const AudioFormatName& known : kAudioFormats) {
    if (!(formats & known.bit)) continue;
    if (!names.empty()) names += L' ';
    names += known.label;
  }
  return names;
}

std::wstring FormatRecordingTime(const RecordingName& n) {
  return FormatText(L"%04d-%02d-%02d %02d:%02d:%02d", {n.year, n.month, n.day, n.hour, n.minute, n.second});
}
