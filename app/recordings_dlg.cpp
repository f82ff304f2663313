#include "app/recordings_dlg.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <tuple>
#include <utility>

#include "app/resource.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/recycle_bin.h"
#include "record/audio_codec.h"
#include "playback/audio_player.h"
#include "playback/playback_source.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "ui/control.h"
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

// The position bar's steps.
constexpr int kPositionSteps = 1000;
constexpr UINT_PTR kPositionTimer = 1;
// Typing in the search box filters once the typing pauses.
constexpr UINT_PTR kFilterTimer = 2;
constexpr UINT kFilterAfterMs = 150;
constexpr UINT kPositionEveryMs = 200;

// Durations are posted to the window in batches, at most this often.
constexpr auto kDurationBatchEvery = std::chrono::milliseconds(300);

std::wstring Extension(uint8_t format) {
  return format == kFormatWav ? std::wstring(L"wav") : std::wstring(FormatExtension(format));
}

// The file of a recording that plays inside the program: the first format
// present that the player decodes, in the order that decodes most cheaply.
std::wstring PlayableFile(const RecordingEntry& entry) {
  const uint8_t playable = PlayableFormats() & entry.formats;
  for (uint8_t format : {kFormatWav, kFormatFlac, kFormatOgg, kFormatMp3, kFormatOpus}) {
    if (playable & format) return entry.stem + L"." + Extension(format);
  }
  return std::wstring();
}

// The file opened with the default player or shown in the explorer: the one
// the recorder names in its balloon (an encoded copy before the WAV).
std::wstring ShownFile(const RecordingEntry& entry) {
  for (uint8_t format : {kFormatMp3, kFormatOgg, kFormatOpus, kFormatFlac, kFormatWma, kFormatWav}) {
    if (entry.formats & format) return entry.stem + L"." + Extension(format);
  }
  return entry.stem;
}

std::vector<std::wstring> FilesOf(const RecordingEntry& entry) {
  std::vector<std::wstring> files;
  for (uint8_t format : {kFormatWav, kFormatMp3, kFormatOgg, kFormatOpus, kFormatFlac, kFormatWma}) {
    if (entry.formats & format) files.push_back(entry.stem + L"." + Extension(format));
  }
  return files;
}

std::wstring TimeText(uint64_t frames, uint32_t rate) {
  return rate ? FormatDuration(static_cast<int64_t>(frames * 1000 / rate)) : std::wstring(L"0:00");
}

}  // namespace

struct CRecordingsDlg::Shared {
  std::mutex mutex;
  // Recordings whose duration is still to be read, those on screen first.
  std::deque<RecordingEntry> durationQueue;
  std::atomic<bool> closing{false};
};

// The rename dialog: the recording's name without its extension, edited.
class CRenameDlg : public CSkinnedDialog {
 public:
  CRenameDlg(HWND parent, const LanguageTable& language, std::wstring name)
      : CSkinnedDialog(IDD_RENAME_DIALOG, parent), language_(language), name_(std::move(name)) {}
  const std::wstring& name() const { return name_; }

 protected:
  BOOL OnInitDialog() override {
    SkinWindow(IDB_SETTING_BACKGROUND);
    const ButtonImagePaths white = SkinImages(L"white");
    for (auto [button, id, key] : {std::tuple{&ok_, IDOK, L"Button_OK"}, std::tuple{&cancel_, IDCANCEL, L"Button_Cancel"}}) {
      button->SetImages(white);
      button->SetText(language_.Text(key));
      button->font.SetHeight(14);
      button->textColor = RGB(0, 0, 0);
      PlaceImageButton(hwnd_, *button, id);
    }
    AddLabel(IDC_RENAME_TITLE, RGB(192, 192, 192));
    const std::wstring title = language_.TextOr(L"Recordings_Rename_Title", L"Rename recording");
    SetWindowTextW(hwnd_, title.c_str());
    SetItemText(IDC_RENAME_TITLE, title.c_str());
    edit_.borderColor = RGB(127, 157, 185);
    edit_.textColor = RGB(0, 0, 0);
    edit_.backColor = RGB(255, 255, 255);
    edit_.AttachDlgItem(hwnd_, IDC_RENAME_NAME);
    SetItemText(IDC_RENAME_NAME, name_.c_str());
    HWND field = GetDlgItem(IDC_RENAME_NAME);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    return FALSE;
  }
  bool OnCommand(WORD id, WORD, HWND) override {
    if (id == IDOK) name_ = GetWindowTextString(GetDlgItem(IDC_RENAME_NAME));
    if (id != IDOK && id != IDCANCEL) return false;
    EndDialog(id);
    return true;
  }

 private:
  const LanguageTable& language_;
  std::wstring name_;
  CImageButton ok_, cancel_;
  CEditEx edit_;
};

CRecordingsDlg::CRecordingsDlg(HWND owner, CallRecorder& recorder)
    : CSkinnedDialog(IDD_RECORDINGS_DIALOG, owner), recorder_(recorder), shared_(std::make_shared<Shared>()) {}

CRecordingsDlg::~CRecordingsDlg() {
  shared_->closing = true;
  StopWatching();
}

BOOL CRecordingsDlg::OnInitDialog() {
  folder_ = recorder_.settings().Current()->WavePath;
  SkinWindow(IDB_SETTING_BACKGROUND);
  SkinControls();
  MakeColumns();
  ApplyTexts();
  shell_.SetWindow(hwnd_);
  AddTooltip(close_.GetSafeHwnd(), recorder_.language().Text(L"Button_Close_Tip").c_str());
  EnableItem(IDC_RECORDINGS_STOP, false);
  Refresh();
  StartWatching(folder_);
  if (onShown) onShown(hwnd_);
  SetFocus(list_);
  return FALSE;
}

void CRecordingsDlg::SkinControls() {
  const ButtonImagePaths white = SkinImages(L"white");
  struct Button {
    CImageButton& button;
    int id;
  };
  close_.SetImages(SkinImages(L"Close"));
  PlaceImageButton(hwnd_, close_, IDC_RECORDINGS_CLOSE);
  for (Button b : {Button{play_, IDC_RECORDINGS_PLAY}, Button{stop_, IDC_RECORDINGS_STOP},
                   Button{open_, IDC_RECORDINGS_OPEN}, Button{show_, IDC_RECORDINGS_SHOW},
                   Button{rename_, IDC_RECORDINGS_RENAME}, Button{delete_, IDC_RECORDINGS_DELETE}}) {
    b.button.SetImages(white);
    b.button.font.SetHeight(14);
    b.button.textColor = RGB(0, 0, 0);
    PlaceImageButton(hwnd_, b.button, b.id);
  }
  search_.borderColor = RGB(127, 157, 185);
  search_.textColor = RGB(0, 0, 0);
  search_.backColor = RGB(255, 255, 255);
  search_.AttachDlgItem(hwnd_, IDC_RECORDINGS_SEARCH);
  AddLabel(IDC_RECORDINGS_TITLE, RGB(192, 192, 192));
  for (int id : {IDC_RECORDINGS_SEARCH_LABEL, IDC_RECORDINGS_TIME}) AddLabel(id, RGB(0, 0, 0));
  AddLabel(IDC_RECORDINGS_COUNT, RGB(80, 80, 80));
  AddLabel(IDC_RECORDINGS_STATUS, RGB(0, 128, 0));

  list_ = GetDlgItem(IDC_RECORDINGS_LIST);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  position_ = GetDlgItem(IDC_RECORDINGS_POSITION);
  SendMessageW(position_, TBM_SETRANGE, FALSE, MAKELPARAM(0, kPositionSteps));
  SendMessageW(position_, TBM_SETPAGESIZE, 0, kPositionSteps / 20);
}

void CRecordingsDlg::MakeColumns() {
  for (int c = 0; c < kColumnCount; ++c) {
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = c >= kDurationColumn && c != kFormatsColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = ScaleForScreen(kColumnWidths[c]);
    column.iSubItem = c;
    ListView_InsertColumn(list_, c, &column);
  }
}

void CRecordingsDlg::ApplyTexts() {
  const LanguageTable& language = recorder_.language();
  const std::wstring title = language.TextOr(L"Recordings_Title", L"Recordings");
  SetWindowTextW(hwnd_, title.c_str());
  SetItemText(IDC_RECORDINGS_TITLE, title.c_str());
  SetItemText(IDC_RECORDINGS_SEARCH_LABEL, language.TextOr(L"Recordings_Search", L"Find partner:").c_str());
  play_.SetText(language.TextOr(L"Recordings_Play", L"Play"));
  stop_.SetText(language.TextOr(L"Recordings_Stop", L"Stop"));
  open_.SetText(language.TextOr(L"Recordings_Open", L"Open"));
  show_.SetText(language.TextOr(L"Recordings_Show", L"Show"));
  rename_.SetText(language.TextOr(L"Recordings_Rename", L"Rename"));
  delete_.SetText(language.TextOr(L"Recordings_Delete", L"Delete"));
  for (int c = 0; c < kColumnCount; ++c) {
    std::wstring text = language.TextOr(kColumnKeys[c], kColumnFallbacks[c]);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = text.data();
    ListView_SetColumn(list_, c, &column);
  }
  SetItemText(IDC_RECORDINGS_TIME, L"0:00 / 0:00");
  ShowSortArrow();
  ShowHint();
}

void CRecordingsDlg::ShowHint() {
  SetStatus(recorder_.language().TextOr(
                L"Recordings_Hint",
                L"Double-click a recording to play it here (WAV, FLAC, OGG, MP3, Opus); Open plays WMA in your player."),
            false);
}

void CRecordingsDlg::Close() {
  if (onClosing) onClosing();
  shared_->closing = true;
  // The player's thread is told to stop; it is waited for off this thread.
  if (player_) {
    std::shared_ptr<AudioPlayer> player = std::move(player_);
    playWork_.Run([player] { player->Stop(); });
  }
  EndDialog(IDCANCEL);
}

// --- The listing ---------------------------------------------------------------

void CRecordingsDlg::Refresh() {
  HWND window = hwnd_;
  CRecordingsDlg* self = this;
  const std::wstring folder = folder_;
  // Requests faster than listings are served by the one still waiting.
  work_.Run(
      [window, self, folder] {
        std::vector<RecordingEntry> entries = ScanRecordFolder(folder);
        auto shared = std::make_shared<std::vector<RecordingEntry>>(std::move(entries));
        PostToWindow(window, [self, shared] { self->TakeListing(std::move(*shared)); });
      },
      1);
}

void CRecordingsDlg::TakeListing(std::vector<RecordingEntry> entries) {
  const std::wstring selected = SelectedStem();
  model_.Replace(std::move(entries));
  ListView_SetItemCountEx(list_, static_cast<int>(model_.Count()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  InvalidateRect(list_, nullptr, FALSE);
  if (!selected.empty()) Select(selected);
  ShowCount();
  // Every duration not known yet is read, those on screen first.
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

void CRecordingsDlg::Filter() {
  const std::wstring selected = SelectedStem();
  model_.SetFilter(GetWindowTextString(GetDlgItem(IDC_RECORDINGS_SEARCH)));
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(list_, static_cast<int>(model_.Count()), 0);
  InvalidateRect(list_, nullptr, FALSE);
  if (!selected.empty()) Select(selected);
  ShowCount();
  ReadVisibleDurations();
}

void CRecordingsDlg::ShowCount() {
  SetItemText(IDC_RECORDINGS_COUNT,
              FormatText(recorder_.language().TextOr(L"Recordings_Count", L"%s recordings"),
                         {std::to_wstring(model_.Count())})
                  .c_str());
}

void CRecordingsDlg::ReadVisibleDurations() {
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
  HWND window = hwnd_;
  CRecordingsDlg* self = this;
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
      1);
}

void CRecordingsDlg::TakeDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations) {
  const std::wstring selected = model_.sortColumn() == RecordingColumn::Duration ? SelectedStem() : std::wstring();
  model_.SetDurations(durations);
  InvalidateRect(list_, nullptr, FALSE);
  // Sorted by length, the rows moved: the selection stays with its recording.
  if (!selected.empty()) Select(selected);
}

// --- The list ------------------------------------------------------------------

void CRecordingsDlg::FillItem(NMLVDISPINFOW& info) {
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

LRESULT CRecordingsDlg::OnListNotify(NMHDR* header) {
  switch (header->code) {
    case LVN_GETDISPINFOW:
      FillItem(*reinterpret_cast<NMLVDISPINFOW*>(header));
      return 0;
    case LVN_COLUMNCLICK:
      SortBy(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
      return 0;
    case NM_DBLCLK:
    case NM_RETURN:
      Play();
      return 0;
    case LVN_ODCACHEHINT:
      ReadVisibleDurations();
      return 0;
    case LVN_KEYDOWN:
      if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE) Delete();
      if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_F2) Rename();
      return 0;
    default:
      return 0;
  }
}

void CRecordingsDlg::SortBy(int column) {
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

void CRecordingsDlg::ShowSortArrow() {
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

const RecordingEntry* CRecordingsDlg::Selected() const {
  int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  if (row < 0 || static_cast<size_t>(row) >= model_.Count()) return nullptr;
  return &model_.At(static_cast<size_t>(row));
}

std::wstring CRecordingsDlg::SelectedStem() const {
  const RecordingEntry* entry = Selected();
  return entry ? entry->stem : std::wstring();
}

void CRecordingsDlg::Select(const std::wstring& stem) {
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  std::optional<size_t> row = model_.RowOf(stem);
  if (!row) return;
  const int at = static_cast<int>(*row);
  ListView_SetItemState(list_, at, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list_, at, FALSE);
}

// --- Playing ---------------------------------------------------------------------

void CRecordingsDlg::Play() {
  const RecordingEntry* entry = Selected();
  const LanguageTable& language = recorder_.language();
  if (!entry) {
    SetStatus(language.TextOr(L"Recordings_None_Selected", L"Choose a recording in the list first."), true);
    return;
  }
  const std::wstring file = PlayableFile(*entry);
  if (file.empty()) {
    SetStatus(language.TextOr(L"Recordings_Cannot_Play_Format",
                              L"This recording's formats do not play here: click Open to play it in your player."),
              true);
    return;
  }
  // Played again from where the bar stands when it is this recording's.
  uint64_t startFrame = 0;
  if (file == playing_ || (playing_.empty() && entry->stem == playingStem_)) {
    const int at = static_cast<int>(SendMessageW(position_, TBM_GETPOS, 0, 0));
    if (at < kPositionSteps) startFrame = lengthFrames_ * static_cast<uint64_t>(at) / kPositionSteps;
  }
  std::shared_ptr<AudioPlayer> previous = std::move(player_);
  auto player = std::make_shared<AudioPlayer>(makeSoundOut);
  player_ = player;
  playing_.clear();
  playingStem_ = entry->stem;
  HWND window = hwnd_;
  CRecordingsDlg* self = this;
  AudioPlayer* played = player.get();
  player->onEnded = [window, self, played] { PostToWindow(window, [self, played] { self->OnPlayEnded(played); }); };
  playWork_.Run([previous, player, file, startFrame, window, self] {
    if (previous) previous->Stop();
    std::unique_ptr<PlaybackSource> source = OpenPlaybackSource(file);
    const bool started = source && player->Play(std::move(source), startFrame);
    PostToWindow(window, [self, started, file, played = player.get()] { self->OnPlayStarted(started, file, played); });
  });
}

void CRecordingsDlg::OnPlayStarted(bool started, const std::wstring& file, const AudioPlayer* player) {
  // Another recording was asked for meanwhile: its own start follows.
  if (player_.get() != player) return;
  const LanguageTable& language = recorder_.language();
  if (!started) {
    player_.reset();
    SetStatus(FormatText(language.TextOr(L"Recordings_Cannot_Play",
                                         L"%s cannot be played here (no sound device, or the file cannot be read)."),
                         {file.substr(file.find_last_of(L"\\/") + 1)}),
              true);
    return;
  }
  playing_ = file;
  lengthFrames_ = player_->LengthFrames();
  rate_ = player_->Rate();
  EnableItem(IDC_RECORDINGS_STOP, true);
  SetStatus(FormatText(language.TextOr(L"Recordings_Playing", L"Playing %s"),
                       {file.substr(file.find_last_of(L"\\/") + 1)}),
            false);
  ShowPosition();
  SetTimer(hwnd_, kPositionTimer, kPositionEveryMs, nullptr);
}

void CRecordingsDlg::StopPlaying() {
  KillTimer(hwnd_, kPositionTimer);
  if (player_) {
    std::shared_ptr<AudioPlayer> player = std::move(player_);
    playWork_.Run([player] { player->Stop(); });
  }
  playing_.clear();
  EnableItem(IDC_RECORDINGS_STOP, false);
  ShowHint();
}

void CRecordingsDlg::OnPlayEnded(const AudioPlayer* player) {
  if (!player_ || player_.get() != player) return;
  KillTimer(hwnd_, kPositionTimer);
  player_.reset();
  playing_.clear();
  EnableItem(IDC_RECORDINGS_STOP, false);
  SendMessageW(position_, TBM_SETPOS, TRUE, kPositionSteps);
  SetItemText(IDC_RECORDINGS_TIME, (TimeText(lengthFrames_, rate_) + L" / " + TimeText(lengthFrames_, rate_)).c_str());
  ShowHint();
}

void CRecordingsDlg::ShowPosition() {
  if (!player_) return;
  const uint64_t at = std::min(player_->PositionFrames(), lengthFrames_);
  if (!dragging_ && lengthFrames_ > 0)
    SendMessageW(position_, TBM_SETPOS, TRUE, static_cast<LPARAM>(at * kPositionSteps / lengthFrames_));
  SetItemText(IDC_RECORDINGS_TIME, (TimeText(at, rate_) + L" / " + TimeText(lengthFrames_, rate_)).c_str());
}

void CRecordingsDlg::OnPositionBar(WORD code) {
  if (code == TB_THUMBTRACK) {
    dragging_ = true;
    return;
  }
  if (code != TB_ENDTRACK && code != TB_THUMBPOSITION && code != TB_PAGEUP && code != TB_PAGEDOWN &&
      code != TB_LINEUP && code != TB_LINEDOWN && code != TB_TOP && code != TB_BOTTOM)
    return;
  dragging_ = false;
  if (!player_ || lengthFrames_ == 0) return;
  const int at = static_cast<int>(SendMessageW(position_, TBM_GETPOS, 0, 0));
  const uint64_t frame = lengthFrames_ * static_cast<uint64_t>(at) / kPositionSteps;
  std::shared_ptr<AudioPlayer> player = player_;
  playWork_.Run([player, frame] { player->Seek(frame); });
}

// --- Files -----------------------------------------------------------------------

std::wstring CRecordingsDlg::BusyReason(const RecordingEntry& entry) const {
  if (entry.stem == playingStem_ && player_)
    return recorder_.language().TextOr(L"Recordings_Busy_Playing", L"Stop playing this recording first.");
  if (recorder_.RecordingInUse(entry.stem)) return BusyText();
  return std::wstring();
}

std::wstring CRecordingsDlg::BusyText() const {
  return recorder_.language().TextOr(L"Recordings_Busy",
                                     L"This recording is still being written or recovered; try again when it is done.");
}

void CRecordingsDlg::Rename() {
  const RecordingEntry* selected = Selected();
  if (!selected) return;
  const RecordingEntry entry = *selected;
  const LanguageTable& language = recorder_.language();
  if (std::wstring busy = BusyReason(entry); !busy.empty()) {
    SetStatus(busy, true);
    return;
  }
  CRenameDlg dialog(hwnd_, language, entry.fileStem);
  if (dialog.DoModal() != IDOK || dialog.name() == entry.fileStem) return;
  const std::wstring newStem = dialog.name();
  HWND window = hwnd_;
  CRecordingsDlg* self = this;
  const std::wstring folder = folder_;
  work_.Run([entry, newStem, window, self, folder] {
    // The side files of a recording under way are looked for here: listing
    // a large folder is no work for the window's thread.
    const bool busy = RecordingBusy(folder, entry.fileStem);
    std::wstring error;
    const bool renamed = !busy && RenameRecording(entry, newStem, &error);
    PostToWindow(window, [self, busy, renamed, newStem, error] {
      const LanguageTable& language = self->recorder_.language();
      if (busy) {
        self->SetStatus(self->BusyText(), true);
      } else if (renamed) {
        self->SetStatus(FormatText(language.TextOr(L"Recordings_Renamed", L"Renamed to %s."), {newStem}), false);
      } else {
        DebugTrace(L"Rename to %s refused: %s", {newStem, error});
        self->SetStatus(
            FormatText(language.TextOr(L"Recordings_Rename_Failed",
                                       L"Cannot rename to %s: the name is taken or not allowed in file names."),
                       {newStem}),
            true);
      }
      self->Refresh();
    });
  });
}

void CRecordingsDlg::Delete() {
  const RecordingEntry* selected = Selected();
  if (!selected) return;
  const RecordingEntry entry = *selected;
  if (std::wstring busy = BusyReason(entry); !busy.empty()) {
    SetStatus(busy, true);
    return;
  }
  HWND window = hwnd_;
  CRecordingsDlg* self = this;
  const std::wstring folder = folder_;
  const std::vector<std::wstring> files = FilesOf(entry);
  work_.Run([files, window, self, folder, name = entry.fileStem] {
    const bool busy = RecordingBusy(folder, name);
    const bool recycled = !busy && MoveToRecycleBin(files, window);
    PostToWindow(window, [self, busy, recycled, name] {
      const LanguageTable& language = self->recorder_.language();
      if (busy)
        self->SetStatus(self->BusyText(), true);
      else if (recycled)
        self->SetStatus(FormatText(language.TextOr(L"Recordings_Deleted", L"%s was moved to the Recycle Bin."), {name}),
                        false);
      else
        self->SetStatus(FormatText(language.TextOr(L"Recordings_Delete_Failed",
                                                   L"%s could not be moved to the Recycle Bin; nothing was deleted."),
                                   {name}),
                        true);
      self->Refresh();
    });
  });
}

void CRecordingsDlg::SetStatus(const std::wstring& text, bool error) {
  HWND line = GetDlgItem(IDC_RECORDINGS_STATUS);
  const bool recolour = statusError_ != error;
  statusError_ = error;
  if (GetWindowTextString(line) != text)
    SetWindowTextW(line, text.c_str());
  else if (recolour)
    InvalidateRect(line, nullptr, TRUE);
}

// --- Watching the folder -------------------------------------------------------

void CRecordingsDlg::StartWatching(const std::wstring& folder) {
  HANDLE change = FindFirstChangeNotificationW(folder.c_str(), FALSE,
                                               FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                   FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (change == INVALID_HANDLE_VALUE) {
    DebugTrace(L"The record folder %s cannot be watched (%d); the list follows the recorder's events only.",
               {folder, static_cast<int>(GetLastError())});
    return;
  }
  stopWatching_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stopWatching_) {
    FindCloseChangeNotification(change);
    return;
  }
  HWND window = hwnd_;
  HANDLE stop = stopWatching_;
  try {
    watcher_ = std::thread([change, stop, window] {
      HANDLE waits[] = {stop, change};
      while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        // A recording's files change several times within a moment (the mix,
        // then each encoder): one listing follows the last of them.
        while (FindNextChangeNotification(change) &&
               WaitForMultipleObjects(2, waits, FALSE, 300) == WAIT_OBJECT_0 + 1) {
        }
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) break;
        PostMessageW(window, WM_RECORDINGS_REFRESH, 0, 0);
      }
      FindCloseChangeNotification(change);
    });
  } catch (const std::system_error&) {
    FindCloseChangeNotification(change);
  }
}

void CRecordingsDlg::StopWatching() {
  if (stopWatching_) SetEvent(stopWatching_);
  // The watcher only waits on the two handles: it ends at once.
  if (watcher_.joinable()) watcher_.join();
  if (stopWatching_) CloseHandle(stopWatching_);
  stopWatching_ = nullptr;
}

// --- Messages --------------------------------------------------------------------

bool CRecordingsDlg::OnCommand(WORD id, WORD notifyCode, HWND) {
  switch (id) {
    case IDCANCEL:
    case IDOK:
    case IDC_RECORDINGS_CLOSE:
      Close();
      return true;
    case IDC_RECORDINGS_PLAY:
      Play();
      return true;
    case IDC_RECORDINGS_STOP:
      StopPlaying();
      return true;
    case IDC_RECORDINGS_OPEN:
      if (const RecordingEntry* entry = Selected()) shell_.OpenAddress(ShownFile(*entry));
      return true;
    case IDC_RECORDINGS_SHOW:
      if (const RecordingEntry* entry = Selected()) shell_.ShowFileInFolder(ShownFile(*entry));
      return true;
    case IDC_RECORDINGS_RENAME:
      Rename();
      return true;
    case IDC_RECORDINGS_DELETE:
      Delete();
      return true;
    case IDC_RECORDINGS_SEARCH:
      if (notifyCode == EN_CHANGE) SetTimer(hwnd_, kFilterTimer, kFilterAfterMs, nullptr);
      return true;
    default:
      return false;
  }
}

INT_PTR CRecordingsDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  switch (message) {
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom != list_) break;
      handled = true;
      return OnListNotify(header);
    }
    case WM_RECORDINGS_REFRESH:
      handled = true;
      Refresh();
      return 0;
    case WM_POSTED_ACTION:
      handled = true;
      RunPostedAction(lParam);
      return 0;
    case WM_TIMER:
      if (wParam == kFilterTimer) {
        KillTimer(hwnd_, kFilterTimer);
        Filter();
      } else if (wParam == kPositionTimer) {
        ShowPosition();
      } else {
        break;
      }
      handled = true;
      return 0;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lParam) != position_) break;
      handled = true;
      OnPositionBar(LOWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      // The position bar lies on the picture.
      if (reinterpret_cast<HWND>(lParam) == position_) {
        if (HBRUSH brush = BackgroundFor(position_, reinterpret_cast<HDC>(wParam))) {
          handled = true;
          return reinterpret_cast<INT_PTR>(brush);
        }
        break;
      }
      // The status line is red while it tells of a failure.
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_RECORDINGS_STATUS)) {
        INT_PTR brush = CSkinnedDialog::WindowProc(message, wParam, lParam, handled);
        SetTextColor(reinterpret_cast<HDC>(wParam), statusError_ ? RGB(255, 0, 0) : RGB(0, 128, 0));
        return brush;
      }
      break;
    default:
      break;
  }
  return CSkinnedDialog::WindowProc(message, wParam, lParam, handled);
}
