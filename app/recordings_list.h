// The recordings window's list: the record folder's recordings in a virtual
// list view (the rows are the model's; the view asks only for the texts of
// the rows it shows, so a folder of a hundred thousand recordings opens at
// once), sorted by a click on a column's heading, filtered by the partners.
// The folder is listed and the lengths are read in the background, the rows
// on screen first; the results come back posted to the window, and the
// selection stays with its recording whatever moves.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "record/recording_list.h"
#include "record/recording_scan.h"
#include "settings/language.h"
#include "ui/background_work.h"

class RecordingsList {
 public:
  RecordingsList();
  // Nothing more is listed or read; what runs ends on its own.
  ~RecordingsList();
  // The same, for a window that has gone.
  void Close();
  RecordingsList(const RecordingsList&) = delete;
  RecordingsList& operator=(const RecordingsList&) = delete;

  // The list view of the dialog `window` (whose loop runs the posted
  // results): its style and columns.
  void Attach(HWND window, HWND list);
  // The columns' headings in the language.
  void SetTexts(const LanguageTable& language);

  // Lists `folder` again in the background; the rows follow. Requests that
  // come faster than listings are served by the one still waiting.
  void Refresh(const std::wstring& folder);
  // Keeps the rows whose partners hold `text`.
  void Filter(const std::wstring& text);
  size_t Count() const { return model_.Count(); }
  // The selected recording; null when none.
  const RecordingEntry* Selected() const;

  // The dialog's WM_NOTIFY from the list view.
  LRESULT OnNotify(NMHDR* header);

  // The number of rows changed.
  std::function<void()> onCountChanged;
  // A row was activated (double click, Enter), or Delete or F2 pressed on it.
  std::function<void()> onActivate;
  std::function<void()> onDeleteKey;
  std::function<void()> onRenameKey;

  // Shared with the background jobs, which may outlive the list.
  struct Shared;

 private:
  void TakeListing(std::vector<RecordingEntry> entries);
  // Asks for the lengths of the rows on screen that are not known yet.
  void ReadVisibleDurations();
  void TakeDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations);
  void FillItem(NMLVDISPINFOW& info) const;
  void SortBy(int column);
  void ShowSortArrow();
  std::wstring SelectedStem() const;
  void Select(const std::wstring& stem);

  HWND window_ = nullptr;
  HWND list_ = nullptr;
  RecordingListModel model_;
  std::shared_ptr<Shared> shared_;
  // Listings one after another, and the lengths; neither is waited for.
  BackgroundWork listing_{BackgroundWork::AtEnd::kFinishInBackground};
  BackgroundWork durations_{BackgroundWork::AtEnd::kFinishInBackground};
};
