#include "app/recording_presenter.h"

#include "app/resource.h"
#include "app/status_text.h"
#include "common/text_format.h"
#include "ui/control.h"

void RecordingPresenter::Init() {
  window_.EnableItem(IDC_PAUSE, false);
  window_.EnableItem(IDC_STOP, false);
}

// --- What the recorder decided ---------------------------------------------------

void RecordingPresenter::OnStarting() {
  // What a failed recording left (its error line and balloon stay until the
  // next start) goes.
  recordingFailed_ = false;
  tray_.HoldStateBalloons(false);
}

void RecordingPresenter::OnNothingToRecord() {
  // The notice for 3 seconds, then the line goes.
  SetRecordLineText(recorder_.language().Text(L"Record_Status4"), RecordLine::Recording);
  window_.ShowItem(IDC_RECORD_STATUS, true);
  SetTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer, 3000, nullptr);
}

void RecordingPresenter::OnCallSkipped(const std::wstring& partners) {
  KillTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer);
  SetRecordLineText(FormatText(recorder_.language().TextOr(
                                   L"Record_Status_Rule_Skipped",
                                   L"Not recorded by the contact rule: %s. Click Record to record it."),
                               {partners}),
                    RecordLine::Skipped);
  window_.ShowItem(IDC_RECORD_STATUS, true);
}

void RecordingPresenter::OnHolding(bool stopping) {
  // The buttons wait for both directions to stop at one sample.
  window_.EnableItem(IDC_PAUSE, false);
  if (stopping) window_.EnableItem(IDC_STOP, false);
}

void RecordingPresenter::OnCallStarted() {
  // A call came into progress: the saved recording's line has had its time.
  if (line_ != RecordLine::Saved) return;
  line_ = RecordLine::Recording;
  if (!recorder_.Status().exists) window_.ShowItem(IDC_RECORD_STATUS, false);
}

void RecordingPresenter::OnCallsEnded() {
  // The line of a skipped call goes with the calls.
  if (line_ != RecordLine::Skipped) return;
  line_ = RecordLine::Recording;
  if (!recorder_.Status().exists) window_.ShowItem(IDC_RECORD_STATUS, false);
}

bool RecordingPresenter::RecordLineGreen() const {
  return line_ != RecordLine::Error && (line_ == RecordLine::Saved || recorder_.CallInProgress());
}

void RecordingPresenter::ShowNoAudio(const std::wstring& text) {
  // Nothing may look as if it recorded.
  noAudioText_ = text;
  KillTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer);
  SetRecordLineText(text, RecordLine::Error);
  window_.ShowItem(IDC_RECORD_STATUS, true);
}

// --- The recording ------------------------------------------------------------------

void RecordingPresenter::ShowRunning() {
  window_.EnableItem(IDC_RECORD, false);
  window_.EnableItem(IDC_PAUSE, true);
  window_.EnableItem(IDC_STOP, true);
}

// The line shown and brought up to date at once.
void RecordingPresenter::ShowStatusSoon() {
  window_.ShowItem(IDC_RECORD_STATUS, true);
  SetTimer(window_.GetSafeHwnd(), kRecordStatusTimer, 10, nullptr);
}

void RecordingPresenter::BalloonIfWanted() {
  if (recorder_.settings().Current()->stateBalloons != 0) tray_.ScheduleStateBalloon(10);
}

void RecordingPresenter::OnStarted() {
  // A writer failed before the start was heard of: the recording is being
  // given up already.
  if (recordingFailed_) return;
  ShowRunning();
  ShowStatusSoon();
  BalloonIfWanted();
}

void RecordingPresenter::OnResumed(bool timeRunning) {
  if (recordingFailed_) return;
  ShowRunning();
  if (!timeRunning) return;
  ShowStatusSoon();
  BalloonIfWanted();
}

void RecordingPresenter::OnPaused() {
  SetTimer(window_.GetSafeHwnd(), kRecordStatusTimer, 10, nullptr);
  BalloonIfWanted();
  window_.EnableItem(IDC_RECORD, true);
  window_.EnableItem(IDC_PAUSE, false);
  window_.EnableItem(IDC_STOP, true);
}

void RecordingPresenter::OnFinishing() { BalloonIfWanted(); }

void RecordingPresenter::OnStopped() {
  // A new recording may have started since this was posted.
  if (recorder_.Status().exists) return;
  window_.EnableItem(IDC_RECORD, true);
  window_.EnableItem(IDC_PAUSE, false);
  window_.EnableItem(IDC_STOP, false);
  if (line_ != RecordLine::Error) window_.ShowItem(IDC_RECORD_STATUS, false);
  KillTimer(window_.GetSafeHwnd(), kRecordStatusTimer);
}

void RecordingPresenter::ShowSaved(const std::wstring& file) {
  const LanguageTable& language = recorder_.language();
  const std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
  // A recording that started meanwhile (a call right after the last) keeps
  // its line; the balloon still tells of the saved one.
  if (!recorder_.Status().exists && line_ != RecordLine::Error) {
    KillTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer);
    SetRecordLineText(FormatText(language.TextOr(L"Record_Saved", L"Recording saved: %s"), {name}), RecordLine::Saved);
    window_.ShowItem(IDC_RECORD_STATUS, true);
  }
  if (recorder_.settings().Current()->savedNotice == 0 || recorder_.Exiting()) {
    BalloonIfWanted();
    return;
  }
  // It tells more than the state balloon would, which it replaces.
  tray_.CancelBalloons();
  ShellLauncher& shell = shell_;
  tray_.ShowBalloon(
      FormatText(language.TextOr(L"Record_Saved_Balloon", L"Recording saved: %s. Click here to show it."), {name}),
      [&shell, file] { shell.ShowFileInFolder(file); });
}

void RecordingPresenter::OnFinished(const FinishedRecording& finished) {
  if (!finished.aborted) {
    // What the user wants now decides whether to look; the folder is the one
    // the recording went to. Nobody is there to look at the exit.
    const SettingsSnapshot now = recorder_.settings().Current();
    if (now->openFolderAfterRecording == 1 && !recorder_.Exiting()) shell_.OpenFolder(finished.folder);
    // The file the user will look for: the first encoded copy, else the WAV.
    const std::wstring& saved =
        finished.encoders.outputs.empty() ? finished.recording : finished.encoders.outputs.front();
    if (saved.empty())
      BalloonIfWanted();
    else
      ShowSaved(saved);
  }
  lines_.ScheduleFolderCheck();
}

void RecordingPresenter::OnFailed(RecordingFailure failure, bool ending) {
  recordingFailed_ = true;
  // The buttons return when the other writer has ended.
  if (ending) {
    window_.EnableItem(IDC_PAUSE, false);
    window_.EnableItem(IDC_STOP, false);
  }
  // The line keeps the error until the next recording starts.
  std::wstring text = recorder_.language().Text(L"Error_Message_1");
  KillTimer(window_.GetSafeHwnd(), kRecordStatusTimer);
  SetRecordLineText(text, RecordLine::Error);
  window_.ShowItem(IDC_RECORD_STATUS, true);
  // Shown whatever ShowStatusOnTray says, for the shell's own time; no state
  // balloon takes its place.
  tray_.CancelBalloons();
  tray_.HoldStateBalloons(true);
  tray_.ShowBalloon(text, false);
}

// --- The line -----------------------------------------------------------------------

bool RecordingPresenter::OnTimer(UINT_PTR id) {
  HWND hwnd = window_.GetSafeHwnd();
  switch (id) {
    case kRecordStatusTimer:
      KillTimer(hwnd, id);
      RefreshRecordLine();
      return true;
    case kNoCallNoticeTimer:
      KillTimer(hwnd, id);
      if (!recorder_.Status().exists && line_ != RecordLine::Error) window_.ShowItem(IDC_RECORD_STATUS, false);
      return true;
    default:
      return false;
  }
}

void RecordingPresenter::RefreshRecordLine() {
  if (recordingFailed_) return;
  const RecordingStatus status = recorder_.Status();
  std::wstring text = BuildRecordLine(recorder_.language(), status.finishing, status.paused, recorder_.Subject(false),
                                      recorder_.ElapsedSeconds());
  SetRecordLineText(text, RecordLine::Recording);
  SetTimer(window_.GetSafeHwnd(), kRecordStatusTimer, 1000, nullptr);
}

void RecordingPresenter::SetRecordLineText(const std::wstring& text, RecordLine shows) {
  HWND line = window_.GetDlgItem(IDC_RECORD_STATUS);
  // The colour follows what the line tells.
  const bool colourMayChange = line_ != shows;
  line_ = shows;
  if (GetWindowTextString(line) != text)
    SetWindowTextW(line, text.c_str());
  else if (colourMayChange)
    InvalidateRect(line, nullptr, TRUE);
}
