#include "app/recording_presenter.h"

#include "app/resource.h"
#include "app/status_text.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "ui/control.h"

void RecordingPresenter::Init() {
  window_.EnableItem(IDC_PAUSE, false);
  window_.EnableItem(IDC_STOP, false);
}

void RecordingPresenter::ForgetFailure() {
  recordingFailed_ = false;
  tray_.HoldStateBalloons(false);
}

void RecordingPresenter::Record(const std::wstring& app) {
  // A call that starts while the program is on its way out is not recorded:
  // nothing would be left to finish it.
  if (exiting_.load()) return;
  SoundCapture& capture = recorder_.capture();
  const bool sound = recorder_.RecordsSound();
  if (sound && afterHold_ == AfterHold::Pause) {
    // Record before the pause took hold: it is called off.
    afterHold_ = AfterHold::Nothing;
    capture.Release();
    ShowRunning();
    return;
  }
  if (sound && afterHold_ == AfterHold::Stop) return;
  ForgetFailure();
  const bool began = sound && !capture.InProgress();
  if (began) recorder_.BeginSoundCall(app);
  const StartOutcome outcome = recorder_.session().StartRecording();
  if (sound) {
    if (outcome == StartOutcome::Resumed) capture.Release();
    if (began && outcome != StartOutcome::Started && outcome != StartOutcome::Finishing) capture.End();
    if (began && outcome == StartOutcome::Started) autoStarted_ = !app.empty();
  }
  if (outcome == StartOutcome::NoAudio) {
    // Nothing may look as if it recorded.
    ShowNoAudio(noAudioText_);
    return;
  }
  if (outcome != StartOutcome::NoCall) return;
  recordLineShowsSaved_ = false;
  // The notice for 3 seconds, then the line goes.
  SetRecordLineText(recorder_.language().Text(L"Record_Status4"), false);
  window_.ShowItem(IDC_RECORD_STATUS, true);
  SetTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer, 3000, nullptr);
}

void RecordingPresenter::Pause() {
  RecordingSession& session = recorder_.session();
  if (!recorder_.RecordsSound() || !recorder_.capture().InProgress()) {
    session.PauseRecording();
    return;
  }
  if (afterHold_ != AfterHold::Nothing || !session.Exists() || session.AnyPaused()) return;
  window_.EnableItem(IDC_PAUSE, false);
  afterHold_ = AfterHold::Pause;
  hold_ = recorder_.capture().Hold();
}

void RecordingPresenter::Stop() {
  RecordingSession& session = recorder_.session();
  SoundCapture& capture = recorder_.capture();
  if (autoStarted_ && !exiting_.load()) recorder_.AutoRecordStoppedByHand();
  autoStarted_ = false;
  if (recorder_.RecordsSound() && capture.InProgress() && !exiting_.load()) {
    // Both directions end at one sample first; at the exit there is no
    // time to wait for it.
    if (afterHold_ == AfterHold::Stop) return;
    window_.EnableItem(IDC_PAUSE, false);
    window_.EnableItem(IDC_STOP, false);
    afterHold_ = AfterHold::Stop;
    hold_ = capture.Hold();
    return;
  }
  if (session.finishing.load()) return;
  session.StartFinishRecording();
  if (recorder_.RecordsSound()) capture.End();
}

void RecordingPresenter::AutoRecordClientCall() {
  ruleWaiting_ = false;
  KillTimer(window_.GetSafeHwnd(), kContactRuleTimer);
  // A call that joins a running recording is in it already: the client
  // streams the calls together.
  const CallRecorder::ContactVerdict verdict = recorder_.ContactRuleVerdict();
  if (recorder_.session().Exists() || verdict.decided) {
    DecideByContactRule(verdict);
    return;
  }
  ruleWaiting_ = true;
  SetTimer(window_.GetSafeHwnd(), kContactRuleTimer, 3000, nullptr);
}

void RecordingPresenter::OnPartnerKnown() {
  if (!ruleWaiting_) return;
  const CallRecorder::ContactVerdict verdict = recorder_.ContactRuleVerdict();
  if (!verdict.decided) return;
  ruleWaiting_ = false;
  KillTimer(window_.GetSafeHwnd(), kContactRuleTimer);
  DecideByContactRule(verdict);
}

void RecordingPresenter::DecideByContactRule(const CallRecorder::ContactVerdict& verdict) {
  if (verdict.record || recorder_.session().Exists()) {
    Record();
    return;
  }
  if (!recorder_.CallInProgress()) return;
  DebugTrace(L"The contact rule skips the call with %s.", {verdict.partners});
  KillTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer);
  recordLineShowsSaved_ = false;
  SetRecordLineText(FormatText(recorder_.language().TextOr(
                                   L"Record_Status_Rule_Skipped",
                                   L"Not recorded by the contact rule: %s. Click Record to record it."),
                               {verdict.partners}),
                    false);
  window_.ShowItem(IDC_RECORD_STATUS, true);
  recordLineShowsSkipped_ = true;
}

void RecordingPresenter::OnClientCallsEnded() {
  ruleWaiting_ = false;
  KillTimer(window_.GetSafeHwnd(), kContactRuleTimer);
  if (!recordLineShowsSkipped_) return;
  recordLineShowsSkipped_ = false;
  if (!recorder_.session().Exists() && !recordLineShowsError_) window_.ShowItem(IDC_RECORD_STATUS, false);
}

void RecordingPresenter::Toggle() {
  if (recorder_.session().Exists() || afterHold_ == AfterHold::Pause)
    Stop();
  else
    Record();
}

void RecordingPresenter::OnCaptureHeld(uint64_t hold) {
  if (hold != hold_ || afterHold_ == AfterHold::Nothing) return;
  const AfterHold after = afterHold_;
  afterHold_ = AfterHold::Nothing;
  if (after == AfterHold::Pause)
    recorder_.session().PauseRecording();
  else
    FinishSoundCall();
}

void RecordingPresenter::FinishSoundCall() {
  RecordingSession& session = recorder_.session();
  if (!session.finishing.load()) session.StartFinishRecording();
  recorder_.capture().End();
  // No recording was running (it could not start): nothing will report its
  // end, so the buttons return now.
  if (!session.Exists() && !session.FinishingRunning()) OnStopped();
}

void RecordingPresenter::OnAutoRecord(bool start, const std::wstring& app) {
  if (!recorder_.RecordsSound() || recorder_.settings().Current()->AutoRecord != 1) return;
  if (start) {
    if (!recorder_.session().Exists() && !recorder_.capture().InProgress()) Record(app);
  } else if (autoStarted_) {
    autoStarted_ = false;
    if (recorder_.capture().InProgress()) Stop();
  }
}

bool RecordingPresenter::RecordLineGreen() const {
  return !recordLineShowsError_ && (recordLineShowsSaved_ || recorder_.CallInProgress());
}

void RecordingPresenter::ShowNoAudio(const std::wstring& text) {
  noAudioText_ = text;
  KillTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer);
  recordLineShowsSaved_ = false;
  SetRecordLineText(text, true);
  window_.ShowItem(IDC_RECORD_STATUS, true);
}

void RecordingPresenter::OnCallStarted() {
  if (!recordLineShowsSaved_) return;
  recordLineShowsSaved_ = false;
  if (!recorder_.session().Exists()) window_.ShowItem(IDC_RECORD_STATUS, false);
}

void RecordingPresenter::ShowSaved(const std::wstring& file) {
  const LanguageTable& language = recorder_.language();
  const std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
  // A recording that started meanwhile (a call right after the last) keeps
  // its line; the balloon still tells of the saved one.
  if (!recorder_.session().Exists() && !recordLineShowsError_) {
    KillTimer(window_.GetSafeHwnd(), kNoCallNoticeTimer);
    SetRecordLineText(FormatText(language.TextOr(L"Record_Saved", L"Recording saved: %s"), {name}), false);
    recordLineShowsSaved_ = true;
    window_.ShowItem(IDC_RECORD_STATUS, true);
  }
  if (recorder_.settings().Current()->ShowSavedNotice == 0 || exiting_.load()) {
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

void RecordingPresenter::BalloonIfWanted() {
  if (recorder_.settings().Current()->ShowStatusOnTray != 0) tray_.ScheduleStateBalloon(10);
}

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
  RecordingSession& session = recorder_.session();
  bool pendingStart = session.TakePendingStart();
  // A new recording may have started since this was posted.
  if (session.Exists()) return;
  window_.EnableItem(IDC_RECORD, true);
  window_.EnableItem(IDC_PAUSE, false);
  window_.EnableItem(IDC_STOP, false);
  if (!recordLineShowsError_) window_.ShowItem(IDC_RECORD_STATUS, false);
  KillTimer(window_.GetSafeHwnd(), kRecordStatusTimer);
  // A call that came into progress while the recording was being finished
  // is recorded now.
  const bool sound = recorder_.RecordsSound();
  if (pendingStart && recorder_.CallInProgress() && !exiting_.load()) {
    ForgetFailure();
    session.StartDeferredRecording();
  }
  // A sound call whose recording ended another way (a failure) ends too.
  if (sound && !session.Exists() && afterHold_ == AfterHold::Nothing) recorder_.capture().End();
  // A change of the source made during the recording applies now.
  if (!session.Exists()) recorder_.SettleSource();
}

void RecordingPresenter::OnFinished(const FinishedRecording& finished) {
  if (!finished.aborted) {
    // What the user wants now decides whether to look; the folder is the one
    // the recording went to.
    const SettingsSnapshot now = recorder_.settings().Current();
    if (now->OpenRecordFolderAfterRecording == 1 && !exiting_.load()) shell_.OpenFolder(finished.folder);
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

void RecordingPresenter::OnFailed(RecordingFailure failure) {
  if (!EndsRecording(failure)) return;
  recordingFailed_ = true;
  // The other writer may be in the middle of a long write: it is stopped and
  // waited for elsewhere, and the buttons return when it has ended.
  if (recorder_.session().StartAbortRecording()) {
    window_.EnableItem(IDC_PAUSE, false);
    window_.EnableItem(IDC_STOP, false);
  }
  // The line keeps the error until the next recording starts.
  std::wstring text = recorder_.language().Text(L"Error_Message_1");
  KillTimer(window_.GetSafeHwnd(), kRecordStatusTimer);
  SetRecordLineText(text, true);
  window_.ShowItem(IDC_RECORD_STATUS, true);
  // Shown whatever ShowStatusOnTray says, for the shell's own time; no state
  // balloon takes its place.
  tray_.CancelBalloons();
  tray_.HoldStateBalloons(true);
  tray_.ShowBalloon(text, false);
}

bool RecordingPresenter::OnTimer(UINT_PTR id) {
  HWND hwnd = window_.GetSafeHwnd();
  switch (id) {
    case kRecordStatusTimer:
      KillTimer(hwnd, id);
      RefreshRecordLine();
      return true;
    case kContactRuleTimer:
      KillTimer(hwnd, id);
      if (ruleWaiting_) {
        // A partner the client never named: the rule decides on the others.
        ruleWaiting_ = false;
        DecideByContactRule(recorder_.ContactRuleVerdict());
      }
      return true;
    case kNoCallNoticeTimer:
      KillTimer(hwnd, id);
      if (!recorder_.session().Exists() && !recordLineShowsError_) window_.ShowItem(IDC_RECORD_STATUS, false);
      return true;
    default:
      return false;
  }
}

void RecordingPresenter::RefreshRecordLine() {
  if (recordingFailed_) return;
  recordLineShowsSaved_ = false;
  RecordingSession& session = recorder_.session();
  std::wstring text = BuildRecordLine(recorder_.language(), session.finishing.load() != 0, session.AnyPaused(),
                                      RecordingSubject(recorder_, false), session.UpdateElapsedSeconds());
  SetRecordLineText(text, false);
  SetTimer(window_.GetSafeHwnd(), kRecordStatusTimer, 1000, nullptr);
}

void RecordingPresenter::SetRecordLineText(const std::wstring& text, bool error) {
  recordLineShowsSkipped_ = false;
  HWND line = window_.GetDlgItem(IDC_RECORD_STATUS);
  bool colourMayChange = recordLineShowsError_ != error;
  recordLineShowsError_ = error;
  if (GetWindowTextString(line) != text)
    SetWindowTextW(line, text.c_str());
  else if (colourMayChange)
    InvalidateRect(line, nullptr, TRUE);
}
