// The main window's status lines (client, record folder, recording), its
// timers and the tray balloons, and the requests the recording's threads post
// to it (SessionView).
#include <cstdint>

#include "app/pelmo_dlg.h"
#include "app/resource.h"
#include "app/status_text.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "record/recording_session.h"
#include "record/recovery.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/skype_link.h"
#include "skype/window_control.h"
#include "ui/control.h"

namespace {

enum ViewRequest : WPARAM {
  kViewEnded,
  kViewTrayBalloon,
  kViewFolderStatus,
  kViewFocus,
  kViewRunning,
  kViewPaused,
  kViewShowRecordStatus,
  kViewRecordStatus,
  kViewNoCallNotice,
};

// Keys of the checks: a check asked for while one waits is served by that one.
constexpr int kClientCheck = 1;
constexpr int kFolderCheck = 2;

bool AnyFlag(WriterSignal WriterFlags::*flag) {
  return (recordingSession.Flags(Direction::Out).*flag).load() != 0 ||
         (recordingSession.Flags(Direction::In).*flag).load() != 0;
}

}  // namespace

// What the folder check found out, away from the window's thread.
struct CPelmoDlg::FolderFacts {
  std::wstring folder;
  bool exists = false;
  bool freeKnown = false;
  uint64_t freeBytes = 0;
  bool virtualStoreAsked = false;  // only on systems with a VirtualStore (major version 6 and later)
  bool virtualStoreExists = false;
};

void CPelmoDlg::SetLineText(int id, const std::wstring& text) {
  HWND line = GetDlgItem(id);
  if (GetWindowTextString(line) == text) return;
  SetWindowTextW(line, text.c_str());
  // The line has no background of its own: the whole window is drawn anew so
  // that the old text goes.
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void CPelmoDlg::SetRecordLineText(const std::wstring& text, bool error) {
  HWND line = GetDlgItem(IDC_RECORD_STATUS);
  bool colourMayChange = recordLineShowsError_ != error;
  recordLineShowsError_ = error;
  if (GetWindowTextString(line) != text)
    SetWindowTextW(line, text.c_str());
  else if (colourMayChange)
    InvalidateRect(line, nullptr, TRUE);
}

void CPelmoDlg::ClientStatusLine() {
  // The check reads the registry and scans the process list: not here.
  HWND window = hwnd_;
  CPelmoDlg* self = this;
  clientCheck_.Run(
      [window, self] {
        int state = GetSkypeClientState();
        PostToWindow(window, [self, state] { self->ShowClientState(state); });
      },
      kClientCheck);
}

void CPelmoDlg::ShowClientState(int state) {
  IniFile language(LanguageIniPath());
  bool changed = clientState_ != state;
  clientState_ = state;
  SetItemText(IDC_RUN_SKYPE,
              LanguageText(language, state == NotInstalled ? L"Button_Access_Skype_Network" : L"Button_Open_Skype")
                  .c_str());
  std::wstring text = LanguageText(language, FormatText(L"Skype_Status_%d", {state}));
  if (state == Attached) text = FormatText(text, {currentUserHandle.Get()});
  SetLineText(IDC_CLIENT_STATUS, text);
  // Same text in another colour (a language without these keys).
  if (changed) InvalidateRect(GetDlgItem(IDC_CLIENT_STATUS), nullptr, FALSE);
}

void CPelmoDlg::FolderStatusLine() {
  // The folder may be on a share that takes seconds to answer: not here.
  HWND window = hwnd_;
  CPelmoDlg* self = this;
  std::wstring folder = Settings.Current()->WavePath;
  bool askVirtualStore = osMajorVersion_ >= 6;
  folderCheck_.Run(
      [window, self, folder, askVirtualStore] {
        FolderFacts facts;
        facts.folder = folder;
        facts.exists = PathExists(folder);
        if (facts.exists) {
          facts.freeKnown = FreeSpaceOfFolder(folder, facts.freeBytes);
          if (!facts.freeKnown)
            DebugTrace(L"Get Free Space failed,error code=%ld", {static_cast<long>(GetLastError())});
        }
        if (askVirtualStore) {
          std::wstring localAppData = GetLocalAppDataFolder();
          DebugTrace(L"%s", {localAppData});
          std::wstring copy = VirtualStoreFolder(localAppData, folder);
          facts.virtualStoreAsked = true;
          facts.virtualStoreExists = !copy.empty() && PathExists(copy);
        }
        PostToWindow(window, [self, facts] { self->ShowFolderFacts(facts); });
      },
      kFolderCheck);
}

void CPelmoDlg::ShowFolderFacts(const FolderFacts& facts) {
  IniFile language(LanguageIniPath());
  FolderLine line = BuildFolderLine(language, facts.folder, facts.exists,
                                    facts.freeKnown ? static_cast<int64_t>(facts.freeBytes) : -1);
  bool changed = folderState_ != line.state;
  folderState_ = line.state;
  ShowItem(IDC_OPEN_FOLDER, facts.exists);
  SetLineText(IDC_FOLDER_STATUS, line.text);
  if (changed) InvalidateRect(GetDlgItem(IDC_FOLDER_STATUS), nullptr, FALSE);
  if (facts.virtualStoreAsked) {
    ShowItem(IDC_VIRTUALSTORE_HINT, facts.virtualStoreExists);
    ShowItem(IDC_OPEN_VIRTUALSTORE, facts.virtualStoreExists);
  }
}

void CPelmoDlg::RecordStatusLine() {
  IniFile language(LanguageIniPath());
  std::wstring text = BuildRecordLine(language, recordingSession.finishing.load() != 0,
                                      AnyFlag(&WriterFlags::pause), StatusPartnerList(false), UpdateElapsedSeconds());
  SetRecordLineText(text, false);
  SetTimer(hwnd_, kRecordStatusTimer, 1000, nullptr);
}

void CPelmoDlg::StartRecovery() {
  // The record folder is read and files are mixed: not here.
  const SettingsSnapshot settings = Settings.Current();
  HWND window = hwnd_;
  CPelmoDlg* self = this;
  recovery_.Run([window, self, settings] {
    RecoveryReport report = RecoverRecordings(settings->WavePath, settings->SaveLF != 0, settings->RecordFormat);
    for (const std::wstring& name : report.recovered) DebugTrace(L"Recovered recording: %s\n", {name});
    for (const std::wstring& name : report.damaged) DebugTrace(L"Damaged stream file kept: %s\n", {name});
    if (report.recovered.empty()) return;
    std::wstring text = LanguageText(L"Recovered_Message");
    PostToWindow(window, [self, text] { self->ShowRecovered(text); });
  });
}

void CPelmoDlg::ShowRecovered(const std::wstring& text) {
  // Shown whatever ShowStatusOnTray says, for a balloon's time.
  KillTimer(hwnd_, kBalloonRemovalTimer);
  trayIcon_.ShowBalloon(text);
  SetTimer(hwnd_, kBalloonRemovalTimer, 7000, nullptr);
}

void CPelmoDlg::TrayBalloon() {
  IniFile language(LanguageIniPath());
  std::wstring text = BuildBalloonText(language, recordingSession.finishing.load() != 0,
                                       AnyFlag(&WriterFlags::stop), AnyFlag(&WriterFlags::pause),
                                       StatusPartnerList(true));
  trayIcon_.ShowBalloon(text);
  SetTimer(hwnd_, kBalloonRemovalTimer, 7000, nullptr);
  SetFocus(hwnd_);
}

void CPelmoDlg::OnWriterFailed() {
  // The other writer may be in the middle of a long write: it is stopped and
  // waited for elsewhere, and the buttons return when it has ended.
  if (StartAbortRecording(*this)) {
    EnableItem(IDC_PAUSE, false);
    EnableItem(IDC_STOP, false);
  }
  // The line keeps the error until the next recording starts.
  std::wstring text = LanguageText(L"Error_Message_1");
  KillTimer(hwnd_, kRecordStatusTimer);
  SetRecordLineText(text, true);
  ShowItem(IDC_RECORD_STATUS, true);
  KillTimer(hwnd_, kTrayBalloonTimer);
  // Shown whatever ShowStatusOnTray says, for its own time.
  KillTimer(hwnd_, kBalloonRemovalTimer);
  trayIcon_.ShowBalloon(text);
}

void CPelmoDlg::OnTimer(UINT_PTR id) {
  KillTimer(hwnd_, id);
  switch (id) {
    case kStartupTimer:
      startupHideOver_ = true;
      break;
    case kClientStatusTimer:
      ClientStatusLine();
      SetTimer(hwnd_, kClientStatusTimer, 5000, nullptr);
      break;
    case kFolderStatusTimer:
      FolderStatusLine();
      SetTimer(hwnd_, kFolderStatusTimer, 10000, nullptr);
      break;
    case kRecordStatusTimer:
      RecordStatusLine();
      break;
    case kTrayBalloonTimer:
      TrayBalloon();
      break;
    case kBalloonRemovalTimer:
      trayIcon_.RemoveBalloon();
      break;
    case kNoCallNoticeTimer:
      if (!recordingSession.Exists() && !recordLineShowsError_) ShowItem(IDC_RECORD_STATUS, false);
      break;
    default:
      break;
  }
}

void CPelmoDlg::PostView(WPARAM request, const std::wstring& text) {
  auto* copy = text.empty() ? nullptr : new std::wstring(text);
  HWND window = viewWindow_.load();
  if (!window || !PostMessageW(window, WM_RECORDING_VIEW, request, reinterpret_cast<LPARAM>(copy))) delete copy;
}

void CPelmoDlg::ShowRecordingEnded() { PostView(kViewEnded); }
void CPelmoDlg::ScheduleTrayBalloon() { PostView(kViewTrayBalloon); }
void CPelmoDlg::ScheduleFolderStatus() { PostView(kViewFolderStatus); }
void CPelmoDlg::ShowRecordingRunning() { PostView(kViewRunning); }
void CPelmoDlg::ShowRecordingPaused() { PostView(kViewPaused); }
void CPelmoDlg::ShowRecordStatus() { PostView(kViewShowRecordStatus); }
void CPelmoDlg::ScheduleRecordStatus() { PostView(kViewRecordStatus); }
void CPelmoDlg::ShowNoCallNotice(const std::wstring& text) { PostView(kViewNoCallNotice, text); }

void CPelmoDlg::OpenRecordFolder(const std::wstring& folder) {
  // Not for the recording the exit finishes: nobody is there to look at it.
  if (exiting_.load()) return;
  OpenFolderInShell(folder);
}

void CPelmoDlg::OnViewRequest(WPARAM request, const std::wstring* text) {
  switch (request) {
    case kViewEnded: {
      bool pendingStart = TakePendingStart();
      // A new recording may have started since this was posted.
      if (recordingSession.Exists()) break;
      EnableItem(IDC_RECORD, true);
      EnableItem(IDC_PAUSE, false);
      EnableItem(IDC_STOP, false);
      if (!recordLineShowsError_) ShowItem(IDC_RECORD_STATUS, false);
      KillTimer(hwnd_, kRecordStatusTimer);
      // A call that came into progress while the recording was being finished
      // is recorded now.
      if (pendingStart && activeCallCount.load() > 0 && !exiting_.load()) StartDeferredRecording(*this);
      break;
    }
    case kViewTrayBalloon:
      SetTimer(hwnd_, kTrayBalloonTimer, 10, nullptr);
      break;
    case kViewFolderStatus:
      SetTimer(hwnd_, kFolderStatusTimer, 100, nullptr);
      break;
    case kViewFocus:
      SetFocus(hwnd_);
      break;
    case kViewRunning:
      EnableItem(IDC_RECORD, false);
      EnableItem(IDC_PAUSE, true);
      EnableItem(IDC_STOP, true);
      break;
    case kViewPaused:
      EnableItem(IDC_RECORD, true);
      EnableItem(IDC_PAUSE, false);
      EnableItem(IDC_STOP, true);
      break;
    case kViewShowRecordStatus:
      ShowItem(IDC_RECORD_STATUS, true);
      break;
    case kViewRecordStatus:
      SetTimer(hwnd_, kRecordStatusTimer, 10, nullptr);
      break;
    case kViewNoCallNotice:
      SetRecordLineText(text ? *text : std::wstring(), false);
      ShowItem(IDC_RECORD_STATUS, true);
      SetTimer(hwnd_, kNoCallNoticeTimer, 3000, nullptr);
      break;
    default:
      break;
  }
}
