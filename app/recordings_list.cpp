#include "app/recordings_list.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>

#include "ui/dpi.h"

namespace {

// The columns, in the list's order.
enum Column { kTimeColumn, kPartnersColumn, kDurationColumn, kFormatsColumn, kSizeColumn, kColumnCount };
constexpr RecordingColumn kColumnSort[] = {RecordingColumn::Time, RecordingColumn::Partners, RecordingColumn::Duration,
                                          RecordingColumn::Formats, RecordingColumn::Size};
// Widths at 96 DPI.
constexpr int kColumnWidths[] = {140, 200, 70, 100, 80};
constexpr const wchar_t* kColumnKeys[] = {L"Recordings_Column_Time", L"Recordings_Column_Partners",
                                          L"Recordings_Column_Duration", L"Recordings_Column_Formats",
                                          L"Recordings_Column_Size"};
constexpr const wchar_t* kColumnFallbacks[] = {L"Date and time", L"Partners", L"Duration", L"Formats", L"Size"};

// Lengths are posted to the window in batches, at most this often.
constexpr auto kDurationBatchEvery = std::chrono::milliseconds(300);

// Requests for a listing or for lengths that wait are served by the one
// waiting.
constexpr int kCoalesce = 1;

}  // namespace

struct RecordingsList::Shared {
  std::mutex mutex;
  // Recordings whose length is still to be read, those on screen first.
  std::deque<RecordingEntry> durationQueue;
  std::atomic<bool> closing{false};
};

RecordingsList::RecordingsList() : shared_(std::make_shared<Shared>()) {}

RecordingsList::~RecordingsList() { Close(); }

void RecordingsList::Close() { shared_->closing = true; }

void RecordingsList::Attach(HWND window, HWND list) {
  window_ = window;
  list_ = list;
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  for (int c = 0; c < kColumnCount; ++c) {
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = c >= kDurationColumn && c != kFormatsColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = ScaleForScreen(kColumnWidths[c]);
    column.iSubItem = c;
    ListView_InsertColumn(list_, c, &column);
  }
}

void RecordingsList::SetTexts(const LanguageTable& language) {
  for (int c = 0; c < kColumnCount; ++c) {
    std::wstring text = language.TextOr(kColumnKeys[c], kColumnFallbacks[c]);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = text.data();
    ListView_SetColumn(list_, c, &column);
  }
  ShowSortArrow();
}

// --- The listing -----------------------------------------------------------------

void RecordingsList::Refresh(const std::wstring& folder) {
  HWND window = window_;
  RecordingsList* self = this;
  std::shared_ptr<Shared> shared = shared_;
  listing_.Run(
      [window, self, shared, folder] {
        if (shared->closing.load()) return;
        auto entries = std::make_shared<std::vector<RecordingEntry>>(ScanRecordFolder(folder));
        PostToWindow(window, [self, entries] { self->TakeListing(std::move(*entries)); });
      },
      kCoalesce);
}

void RecordingsList::TakeListing(std::vector<RecordingEntry> entries) {
  const std::wstring selected = SelectedStem();
  model_.Replace(std::move(entries));
  ListView_SetItemCountEx(list_, static_cast<int>(model_.Count()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  InvalidateRect(list_, nullptr, FALSE);
  if (!selected.empty()) Select(selected);
  if (onCountChanged) onCountChanged();
  // Every length not known yet is read, those on screen first.
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->durationQueue.clear();
    for (size_t row = 0; row < model_.Count(); ++row) {
      const RecordingEntry& entry = model_.At(row);
      if (entry.durationMs == kDurationNotRead) shared_->durationQueue.push_back(entry);
    }
  }
  ReadVisibleDurations();
}

void RecordingsList::Filter(const std::wstring& text) {
  const std::wstring selected = SelectedStem();
  model_.SetFilter(text);
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(list_, static_cast<int>(model_.Count()), 0);
  InvalidateRect(list_, nullptr, FALSE);
  if (!selected.empty()) Select(selected);
  if (onCountChanged) onCountChanged();
  ReadVisibleDurations();
}

void RecordingsList::ReadVisibleDurations() {
  const size_t top = static_cast<size_t>(std::max(0, ListView_GetTopIndex(list_)));
  const size_t page = static_cast<size_t>(std::max(1, ListView_GetCountPerPage(list_))) + 1;
  std::vector<RecordingEntry> visible;
  for (size_t row = top; row < std::min(model_.Count(), top + page); ++row)
    if (model_.At(row).durationMs == kDurationNotRead) visible.push_back(model_.At(row));
  std::shared_ptr<Shared> shared = shared_;
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    for (auto it = visible.rbegin(); it != visible.rend(); ++it) shared->durationQueue.push_front(*it);
    if (shared->durationQueue.empty()) return;
  }
  HWND window = window_;
  RecordingsList* self = this;
  durations_.Run(
      [shared, window, self] {
        std::vector<std::pair<std::wstring, int64_t>> batch;
        auto last = std::chrono::steady_clock::now();
        auto post = [&] {
          if (batch.empty()) return;
          auto results = std::make_shared<std::vector<std::pair<std::wstring, int64_t>>>(std::move(batch));
          batch.clear();
          PostToWindow(window, [self, results] { self->TakeDurations(*results); });
          last = std::chrono::steady_clock::now();
        };
        while (!shared->closing.load()) {
          RecordingEntry entry;
          {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->durationQueue.empty()) break;
            entry = std::move(shared->durationQueue.front());
            shared->durationQueue.pop_front();
          }
          int64_t ms = RecordingDurationMs(entry);
          batch.emplace_back(entry.stem, ms < 0 ? kDurationUnreadable : ms);
          if (std::chrono::steady_clock::now() - last >= kDurationBatchEvery) post();
        }
        post();
      },
      kCoalesce);
}

void RecordingsList::TakeDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations) {
  const std::wstring selected = model_.sortColumn() == RecordingColumn::Duration ? SelectedStem() : std::wstring();
  model_.SetDurations(durations);
  InvalidateRect(list_, nullptr, FALSE);
  // Sorted by length, the rows moved: the selection stays with its recording.
  if (!selected.empty()) Select(selected);
}

// --- The view ----------------------------------------------------------------------

void RecordingsList::FillItem(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<size_t>(item.iItem) >= model_.Count()) return;
  const RecordingEntry& entry = model_.At(static_cast<size_t>(item.iItem));
  std::wstring text;
  switch (item.iSubItem) {
    case kTimeColumn: text = FormatRecordingTime(entry.name); break;
    case kPartnersColumn: text = entry.name.partners; break;
    case kDurationColumn: text = entry.durationMs == kDurationNotRead ? L"…" : FormatDuration(entry.durationMs); break;
    case kFormatsColumn: text = FormatNames(entry.formats); break;
    case kSizeColumn: text = FormatSize(entry.size); break;
    default: break;
  }
  if (item.cchTextMax > 0) lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

LRESULT RecordingsList::OnNotify(NMHDR* header) {
  switch (header->code) {
    case LVN_GETDISPINFOW:
      FillItem(*reinterpret_cast<NMLVDISPINFOW*>(header));
      return 0;
    case LVN_COLUMNCLICK:
      SortBy(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
      return 0;
    case NM_DBLCLK:
    case NM_RETURN:
      if (onActivate) onActivate();
      return 0;
    case LVN_ODCACHEHINT:
      ReadVisibleDurations();
      return 0;
    case LVN_KEYDOWN: {
      const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
      if (key == VK_DELETE && onDeleteKey) onDeleteKey();
      if (key == VK_F2 && onRenameKey) onRenameKey();
      return 0;
    }
    default:
      return 0;
  }
}

void RecordingsList::SortBy(int column) {
  if (column < 0 || column >= kColumnCount) return;
  const std::wstring selected = SelectedStem();
  const RecordingColumn sort = kColumnSort[column];
  // A second click turns the order round; a new column starts with the
  // order a user looks for first (newest, longest, largest first).
  bool ascending = sort == RecordingColumn::Partners || sort == RecordingColumn::Formats;
  if (model_.sortColumn() == sort) ascending = !model_.ascending();
  model_.SortBy(sort, ascending);
  ShowSortArrow();
  InvalidateRect(list_, nullptr, FALSE);
  if (!selected.empty()) Select(selected);
}

void RecordingsList::ShowSortArrow() {
  HWND header = ListView_GetHeader(list_);
  for (int c = 0; c < kColumnCount; ++c) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, c, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (kColumnSort[c] == model_.sortColumn()) item.fmt |= model_.ascending() ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(header, c, &item);
  }
}

const RecordingEntry* RecordingsList::Selected() const {
  int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  if (row < 0 || static_cast<size_t>(row) >= model_.Count()) return nullptr;
  return &model_.At(static_cast<size_t>(row));
}

std::wstring RecordingsList::SelectedStem() const {
  const RecordingEntry* entry = Selected();
  return entry ? entry->stem : std::wstring();
}

void RecordingsList::Select(const std::wstring& stem) {
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  std::optional<size_t> row = model_.RowOf(stem);
  if (!row) return;
  const int at = static_cast<int>(*row);
  ListView_SetItemState(list_, at, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list_, at, FALSE);
}
