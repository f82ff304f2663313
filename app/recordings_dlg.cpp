#include "app/recordings_dlg.h"

#include <commctrl.h>

#include <chrono>

#include "app/recording_files.h"
#include "app/rename_dlg.h"
#include "app/resource.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "settings/settings.h"
#include "ui/background_work.h"
#include "ui/control.h"

namespace {

// Typing in the search box filters once the typing pauses.
constexpr UINT_PTR kFilterTimer = 2;
constexpr UINT kFilterAfterMs = 150;
static_assert(kFilterTimer != RecordingsPlayer::kPositionTimer, "the window's timers");

// A recording's files change several times within a moment (the mix, then
// each encoder): one listing follows the last of them.
constexpr auto kFolderQuiet = std::chrono::milliseconds(300);

}  // namespace

CRecordingsDlg::CRecordingsDlg(HWND owner, CallRecorder& recorder)
    : CSkinnedDialog(IDD_RECORDINGS_DIALOG, owner),
      recorder_(recorder),
      player_(recorder.language()),
      edits_(recorder.language()) {}

CRecordingsDlg::~CRecordingsDlg() = default;

BOOL CRecordingsDlg::OnInitDialog() {
  folder_ = recorder_.settings().Current()->recordFolder;
  SkinWindow(IDB_SETTING_BACKGROUND);
  SkinControls();
  list_.Attach(hwnd_, GetDlgItem(IDC_RECORDINGS_LIST));
  list_.onCountChanged = [this] { ShowCount(); };
  list_.onActivate = [this] { Play(); };
  list_.onDeleteKey = [this] { Delete(); };
  list_.onRenameKey = [this] { Rename(); };
  player_.makeSoundOut = makeSoundOut;
  player_.onStatus = [this](const std::wstring& text, bool error) { SetStatus(text, error); };
  player_.onIdle = [this] { ShowHint(); };
  player_.Attach(hwnd_, GetDlgItem(IDC_RECORDINGS_POSITION), GetDlgItem(IDC_RECORDINGS_TIME),
                 GetDlgItem(IDC_RECORDINGS_STOP));
  edits_.Attach(hwnd_);
  ApplyTexts();
  shell_.SetWindow(hwnd_);
  AddTooltip(close_.GetSafeHwnd(), recorder_.language().Text(L"Button_Close_Tip").c_str());
  Refresh();
  HWND window = hwnd_;
  CRecordingsDlg* self = this;
  if (!watch_.Start(folder_, kFolderQuiet, [window, self] { PostToWindow(window, [self] { self->Refresh(); }); }))
    DebugTrace(L"The record folder %s is not watched; the list follows the recorder's events only.", {folder_});
  SetFocus(GetDlgItem(IDC_RECORDINGS_LIST));
  return FALSE;
}

void CRecordingsDlg::OnDestroy() {
  // Nothing more is listed or played; the workers end on their own.
  watch_.Stop();
  list_.Close();
  player_.Close();
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
  list_.SetTexts(language);
  ShowHint();
}

void CRecordingsDlg::ShowHint() {
  SetStatus(recorder_.language().TextOr(
                L"Recordings_Hint",
                L"Double-click a recording to play it here (WAV, FLAC, OGG, MP3, Opus); Open plays WMA in your player."),
            false);
}

void CRecordingsDlg::ShowCount() {
  SetItemText(IDC_RECORDINGS_COUNT,
              FormatText(recorder_.language().TextOr(L"Recordings_Count", L"%s recordings"),
                         {std::to_wstring(list_.Count())})
                  .c_str());
}

void CRecordingsDlg::Refresh() {
  if (hwnd_) list_.Refresh(folder_);
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

// --- Commands ----------------------------------------------------------------------

void CRecordingsDlg::Play() {
  const RecordingEntry* entry = list_.Selected();
  if (!entry) {
    SetStatus(recorder_.language().TextOr(L"Recordings_None_Selected", L"Choose a recording in the list first."),
              true);
    return;
  }
  player_.Play(*entry);
}

std::wstring CRecordingsDlg::BusyReason(const RecordingEntry& entry) const {
  if (player_.Plays(entry.stem))
    return recorder_.language().TextOr(L"Recordings_Busy_Playing", L"Stop playing this recording first.");
  if (recorder_.RecordingInUse(entry.stem)) return edits_.BusyText();
  return std::wstring();
}

void CRecordingsDlg::EditDone(const std::wstring& text, bool error) {
  SetStatus(text, error);
  Refresh();
}

void CRecordingsDlg::Rename() {
  const RecordingEntry* selected = list_.Selected();
  if (!selected) return;
  const RecordingEntry entry = *selected;
  if (std::wstring busy = BusyReason(entry); !busy.empty()) {
    SetStatus(busy, true);
    return;
  }
  // Modal on this window; the main window stays usable meanwhile.
  CRenameDlg dialog(hwnd_, recorder_.language(), entry.fileStem);
  if (dialog.DoModal() != IDOK || dialog.name() == entry.fileStem || !hwnd_) return;
  edits_.Rename(folder_, entry, dialog.name(), [this](const std::wstring& text, bool error) { EditDone(text, error); });
}

void CRecordingsDlg::Delete() {
  const RecordingEntry* selected = list_.Selected();
  if (!selected) return;
  const RecordingEntry entry = *selected;
  if (std::wstring busy = BusyReason(entry); !busy.empty()) {
    SetStatus(busy, true);
    return;
  }
  edits_.Delete(folder_, entry, [this](const std::wstring& text, bool error) { EditDone(text, error); });
}

bool CRecordingsDlg::OnCommand(WORD id, WORD notifyCode, HWND) {
  switch (id) {
    case IDCANCEL:
    case IDOK:
    case IDC_RECORDINGS_CLOSE:
      EndDialog(IDCANCEL);
      return true;
    case IDC_RECORDINGS_PLAY:
      Play();
      return true;
    case IDC_RECORDINGS_STOP:
      player_.Stop();
      return true;
    case IDC_RECORDINGS_OPEN:
      if (const RecordingEntry* entry = list_.Selected()) shell_.OpenAddress(ShownFile(*entry));
      return true;
    case IDC_RECORDINGS_SHOW:
      if (const RecordingEntry* entry = list_.Selected()) shell_.ShowFileInFolder(ShownFile(*entry));
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
      if (header->hwndFrom != GetDlgItem(IDC_RECORDINGS_LIST)) break;
      handled = true;
      return list_.OnNotify(header);
    }
    case WM_TIMER:
      if (wParam == kFilterTimer) {
        KillTimer(hwnd_, kFilterTimer);
        list_.Filter(GetWindowTextString(GetDlgItem(IDC_RECORDINGS_SEARCH)));
      } else if (!player_.OnTimer(wParam)) {
        break;
      }
      handled = true;
      return 0;
    case WM_HSCROLL:
      if (!player_.OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam))) break;
      handled = true;
      return 0;
    case WM_CTLCOLORSTATIC:
      // The position bar lies on the picture.
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_RECORDINGS_POSITION)) {
        if (HBRUSH brush = BackgroundFor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) {
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
