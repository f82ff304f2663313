#include "app/status_lines.h"

#include "app/resource.h"
#include "app/status_text.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "skype/window_control.h"
#include "ui/control.h"

namespace {
// Keys of the checks: a check asked for while one waits is served by that one.
constexpr int kClientCheck = 1;
constexpr int kFolderCheck = 2;
}  // namespace

void StatusLines::Start(bool askVirtualStore) {
  askVirtualStore_ = askVirtualStore;
  HWND hwnd = window_.GetSafeHwnd();
  SetTimer(hwnd, kClientStatusTimer, 100, nullptr);
  SetTimer(hwnd, kFolderStatusTimer, 100, nullptr);
}

bool StatusLines::OnTimer(UINT_PTR id) {
  HWND hwnd = window_.GetSafeHwnd();
  switch (id) {
    case kClientStatusTimer:
      KillTimer(hwnd, id);
      CheckClient();
      SetTimer(hwnd, kClientStatusTimer, 5000, nullptr);
      return true;
    case kFolderStatusTimer:
      KillTimer(hwnd, id);
      CheckFolder();
      SetTimer(hwnd, kFolderStatusTimer, 10000, nullptr);
      return true;
    default:
      return false;
  }
}

void StatusLines::ScheduleFolderCheck(UINT delayMs) {
  SetTimer(window_.GetSafeHwnd(), kFolderStatusTimer, delayMs, nullptr);
}

void StatusLines::SetLineText(int id, const std::wstring& text) {
  HWND line = window_.GetDlgItem(id);
  if (GetWindowTextString(line) == text) return;
  SetWindowTextW(line, text.c_str());
  // The line has no background of its own: the whole window is drawn anew so
  // that the old text goes.
  InvalidateRect(window_.GetSafeHwnd(), nullptr, TRUE);
}

void StatusLines::CheckClient() {
  if (recorder_.RecordsSound()) {
    ShowSoundSource();
    return;
  }
  if (showsSound_) {
    showsSound_ = false;
    clientState_ = 0;
    window_.ShowItem(IDC_RUN_SKYPE, true);
  }
  // The check reads the registry and scans the process list: not here.
  HWND window = window_.GetSafeHwnd();
  StatusLines* self = this;
  // The job looks at the client only; the link's flags are read when its
  // answer arrives on the window's thread (the job may outlive the link, a
  // check still under way at the exit).
  clientCheck_.Run(
      [window, self] {
        ClientPresence presence = CheckClientPresence();
        PostToWindow(window, [self, presence] {
          self->ShowClientState(self->recorder_.ClientState(presence));
        });
      },
      kClientCheck);
}

std::wstring StatusLines::RunSkypeCaption() const {
  // The client-not-installed caption stays until the client check says otherwise.
  return recorder_.language().Text(clientState_ == NotInstalled ? L"Button_Access_Skype_Network"
                                                                 : L"Button_Open_Skype");
}

void StatusLines::ShowSoundSource() {
  const bool changed = !showsSound_;
  showsSound_ = true;
  // The client's button has nothing to do for this source.
  window_.ShowItem(IDC_RUN_SKYPE, false);
  const std::wstring hotkey = recorder_.settings().Current()->recordHotkey;
  SetLineText(IDC_CLIENT_STATUS, SoundSourceLine(recorder_.language(), hotkey, soundFailure_, hotkeyTaken_));
  if (changed) InvalidateRect(window_.GetDlgItem(IDC_CLIENT_STATUS), nullptr, FALSE);
}

void StatusLines::OnSoundDevice(Direction direction, bool open, const std::wstring& what) {
  soundFailures_[DirectionIndex(direction)] = open ? std::wstring() : what;
  const std::wstring failure = soundFailures_[0].empty() ? soundFailures_[1] : soundFailures_[0];
  if (failure == soundFailure_) return;
  soundFailure_ = failure;
  if (recorder_.RecordsSound()) {
    ShowSoundSource();
    InvalidateRect(window_.GetDlgItem(IDC_CLIENT_STATUS), nullptr, FALSE);
  }
}

void StatusLines::ShowClientState(int state) {
  // An answer of a check started before the source changed.
  if (recorder_.RecordsSound()) return;
  const LanguageTable& language = recorder_.language();
  bool changed = clientState_ != state;
  clientState_ = state;
  window_.SetItemText(IDC_RUN_SKYPE, RunSkypeCaption().c_str());
  std::wstring text = language.Text(FormatText(L"Skype_Status_%d", {state}));
  if (state == Attached) text = FormatText(text, {recorder_.ClientUser()});
  SetLineText(IDC_CLIENT_STATUS, text);
  // Same text in another colour (a language without these keys).
  if (changed) InvalidateRect(window_.GetDlgItem(IDC_CLIENT_STATUS), nullptr, FALSE);
}

void StatusLines::CheckFolder() {
  // The folder may be on a share that takes seconds to answer: not here.
  HWND window = window_.GetSafeHwnd();
  StatusLines* self = this;
  std::wstring folder = recorder_.settings().Current()->recordFolder;
  bool askVirtualStore = askVirtualStore_;
  folderCheck_.Run(
      [window, self, folder, askVirtualStore] {
        FolderFacts facts;
        facts.folder = folder;
        facts.exists = PathExists(folder);
        if (facts.exists) {
          facts.freeKnown = FreeSpaceOfFolder(folder, facts.freeBytes);
          if (!facts.freeKnown)
            DebugTrace(L"The free space of the record folder is not known (error %ld).",
                       {static_cast<long>(GetLastError())});
        }
        if (askVirtualStore) {
          std::wstring localAppData = GetLocalAppDataFolder();
          DebugTrace(L"The local application data folder: %s", {localAppData});
          std::wstring copy = VirtualStoreFolder(localAppData, folder);
          facts.virtualStoreAsked = true;
          facts.virtualStoreExists = !copy.empty() && PathExists(copy);
        }
        PostToWindow(window, [self, facts] { self->ShowFolderFacts(facts); });
      },
      kFolderCheck);
}

void StatusLines::ShowFolderFacts(const FolderFacts& facts) {
  FolderLine line = BuildFolderLine(recorder_.language(), facts.folder, facts.exists,
                                    facts.freeKnown ? static_cast<int64_t>(facts.freeBytes) : -1);
  bool changed = folderState_ != line.state;
  folderState_ = line.state;
  window_.ShowItem(IDC_OPEN_FOLDER, facts.exists);
  SetLineText(IDC_FOLDER_STATUS, line.text);
  if (changed) InvalidateRect(window_.GetDlgItem(IDC_FOLDER_STATUS), nullptr, FALSE);
  if (facts.virtualStoreAsked) {
    window_.ShowItem(IDC_VIRTUALSTORE_HINT, facts.virtualStoreExists);
    window_.ShowItem(IDC_OPEN_VIRTUALSTORE, facts.virtualStoreExists);
  }
}
