#include "app/recording_edits.h"

#include <vector>

#include "app/recording_files.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/recycle_bin.h"
#include "record/recording_rename.h"

std::wstring RecordingEdits::BusyText() const {
  return language_.TextOr(L"Recordings_Busy",
                          L"This recording is still being written or recovered; try again when it is done.");
}

void RecordingEdits::Rename(const std::wstring& folder, const RecordingEntry& entry, const std::wstring& newFileStem,
                            Done done) {
  HWND window = window_;
  const RecordingEdits* self = this;
  work_.Run([entry, newFileStem, window, self, folder, done] {
    const bool busy = RecordingBusy(folder, entry.fileStem);
    std::wstring error;
    const bool renamed = !busy && RenameRecording(entry, newFileStem, &error);
    PostToWindow(window, [self, busy, renamed, newFileStem, error, done] {
      const LanguageTable& language = self->language_;
      if (busy) {
        done(self->BusyText(), true);
      } else if (renamed) {
        done(FormatText(language.TextOr(L"Recordings_Renamed", L"Renamed to %s."), {newFileStem}), false);
      } else {
        DebugTrace(L"Rename to %s refused: %s", {newFileStem, error});
        done(FormatText(language.TextOr(L"Recordings_Rename_Failed",
                                        L"Cannot rename to %s: the name is taken or not allowed in file names."),
                        {newFileStem}),
             true);
      }
    });
  });
}

void RecordingEdits::Delete(const std::wstring& folder, const RecordingEntry& entry, Done done) {
  HWND window = window_;
  const RecordingEdits* self = this;
  const std::vector<std::wstring> files = FilesOf(entry);
  work_.Run([files, window, self, folder, name = entry.fileStem, done] {
    const bool busy = RecordingBusy(folder, name);
    const bool recycled = !busy && MoveToRecycleBin(files, window);
    PostToWindow(window, [self, busy, recycled, name, done] {
      const LanguageTable& language = self->language_;
      if (busy)
        done(self->BusyText(), true);
      else if (recycled)
        done(FormatText(language.TextOr(L"Recordings_Deleted", L"%s was moved to the Recycle Bin."), {name}), false);
      else
        done(FormatText(language.TextOr(L"Recordings_Delete_Failed",
                                        L"%s could not be moved to the Recycle Bin; nothing was deleted."),
                        {name}),
             true);
    });
  });
}
