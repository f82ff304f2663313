#include "record/recording_control.h"

#include <atomic>

#include "common/text_format.h"
#include "platform/clock.h"
#include "platform/debug_trace.h"
#include "platform/message_box.h"
#include "record/output_name.h"
#include "record/recovery.h"
#include "record/stream_handoff.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "skype/call_partners.h"

namespace {
const Direction kDirections[] = {Direction::Out, Direction::In};
std::atomic<bool> pendingStart{false};
}  // namespace

bool TakePendingStart() { return pendingStart.exchange(false); }

DateLabels LoadDateLabels(IniFile& language) {
  auto label = [&language](const wchar_t* key) { return FileNameSafeText(LanguageText(language, key)); };
  return {label(L"Year"), label(L"Month"), label(L"Day"), label(L"Hour"), label(L"Minute"), label(L"Second")};
}

std::wstring BuildBasePath(const std::wstring& folder, const LocalTime& t, const DateLabels& l) {
  bool endsWithSeparator = !folder.empty() && folder.back() == L'\\';
  return FormatText(endsWithSeparator ? L"%s%d%s%02d%s%02d%s %02d%s%02d%s%02d%s"
                                      : L"%s\\%d%s%02d%s%02d%s %02d%s%02d%s%02d%s",
                    {folder, t.year, l.year, t.month, l.month, t.day, l.day, t.hour, l.hour, t.minute, l.minute,
                     t.second, l.second});
}

uint32_t UpdateElapsedSeconds() {
  uint32_t start = recordingSession.startTick.load();
  if (start == 0) return recordingSession.elapsedSeconds.load();
  uint32_t elapsed = (TickCountMs() - start) / 1000 + recordingSession.accumulatedSeconds.load();
  recordingSession.elapsedSeconds = elapsed;
  return elapsed;
}

namespace {

// A resume throws away what arrived during the pause, but only once what came
// before it is on disk. It runs on the main window's thread, which must not
// wait for a disk: a writer still busy with a long write (a slow folder) keeps
// its hand-off, and the pause's audio stays in the recording rather than the
// audio before it being lost.
void DropPausedAudio() {
  for (Direction d : kDirections) {
    WriterHandle writer = recordingSession.Writer(d);
    WriterFlags& flags = recordingSession.Flags(d);
    if (!writer || writer->Ended() || flags.pauseFlushed.load() == flags.pauseRequests.load())
      HandoffOf(d).Reset();
    else
      DebugTrace(L"Resume: the %s writer has not written the audio before the pause; the pause is kept.",
                 {d == Direction::Out ? L"Out" : L"In"});
  }
}

StartOutcome Start(SessionView& view, bool keepReceived) {
  // The finishing sequence has set the stop flags and waits for the writers;
  // clearing the flags now would make it wait for ever. The start is made once
  // the finishing lets go of the session.
  if (recordingSession.finishing.load()) {
    DebugTrace(L"StartRecording deferred: the recording is being finished.");
    pendingStart = true;
    // The new recording begins now: once the writers are done, what the
    // hand-offs received until this moment belongs to no recording.
    WriterHandle out = recordingSession.Writer(Direction::Out), in = recordingSession.Writer(Direction::In);
    if ((!out || out->Ended()) && (!in || in->Ended())) ResetHandoffs();
    return StartOutcome::Finishing;
  }
  // Without its blocks a hand-off can neither be cleared nor used.
  if (!AllocateHandoffs()) return StartOutcome::NotStarted;

  const bool resume = recordingSession.Exists();
  const bool paused = recordingSession.Flags(Direction::Out).pause.load() != 0 ||
                      recordingSession.Flags(Direction::In).pause.load() != 0;
  // A fresh start throws away what arrived before it, a resume what arrived
  // during the pause. A start while the recording runs (a further call, or the
  // repeated start message of this one) keeps the hand-offs: they hold the
  // recording's own audio that the writers have not taken yet.
  if (!resume) {
    if (!keepReceived) ResetHandoffs();
    for (Direction d : kDirections) recordingSession.Flags(d).Clear();
  } else if (paused) {
    DropPausedAudio();
    for (Direction d : kDirections) recordingSession.Flags(d).Clear();
  }
  const bool callInProgress = activeCallCount.load() > 0;
  // One set of settings for the whole decision; a fresh recording keeps it
  // (folder, record way, stereo, formats) until it has been finished.
  const SettingsSnapshot settings = Settings.Current();
  std::wstring basePath;
  LocalTime startTime;
  if (!resume) {
    IniFile language(LanguageIniPath());
    if (!callInProgress) {
      view.ShowNoCallNotice(LanguageText(language, L"Record_Status4"));
      return StartOutcome::NoCall;
    }
    // Only 0, 1 and 2 name directions; any other value would leave the buttons
    // claiming a recording that no writer makes.
    uint8_t way = settings->RecordWay;
    if (way > kRecordOutOnly) {
      DebugTrace(L"StartRecording: RecordWay %d records nothing.", {static_cast<int>(way)});
      return StartOutcome::NotStarted;
    }
    startTime = LocalTimeNow();
    basePath = FreeBasePath(BuildBasePath(settings->WavePath, startTime, LoadDateLabels(language)));
    if (basePath.size() > kBasePathMaxChars) {
      // A cut name would record into another folder or name.
      ShowMessageBox(kBasePathTooLongText);
      return StartOutcome::NotStarted;
    }
  }

  if (callInProgress) {
    view.ShowRecordStatus();
    if (recordingSession.startTick.load() == 0) {
      uint32_t now = TickCountMs();
      recordingSession.startTick = now ? now : 1;  // 0 means the time is not running
    }
    view.ScheduleRecordStatus();
    if (settings->ShowStatusOnTray && resume) view.ScheduleTrayBalloon();
  }

  if (resume) {
    view.ShowRecordingRunning();
    return StartOutcome::Resumed;
  }

  view.ShowRecordingRunning();
  recordingSession.SetBasePath(basePath);
  // Beside the stream files before they exist: it tells them from a crashed
  // program's for as long as this recording runs.
  recordingSidecar.Open(basePath, FormatText(L"%d-%02d-%02d %02d:%02d:%02d",
                                             {startTime.year, startTime.month, startTime.day, startTime.hour,
                                              startTime.minute, startTime.second}));
  Settings.PinForRecording(settings);
  uint8_t way = settings->RecordWay;
  bool any = false;
  if (way == kRecordBoth) {
    any |= StartStreamWriter(Direction::Out, false);
    any |= StartStreamWriter(Direction::In, false);
  } else if (way == kRecordInOnly) {
    any |= StartStreamWriter(Direction::In, true);
  } else {
    any |= StartStreamWriter(Direction::Out, true);
  }
  if (!any) {
    // No writer could be started (each failure has shown its box).
    recordingSession.ClearTimes();
    recordingSidecar.Close();
    Settings.PinForRecording(nullptr);
    view.ShowRecordingEnded();
    return StartOutcome::NotStarted;
  }
  if (settings->ShowStatusOnTray) view.ScheduleTrayBalloon();
  return StartOutcome::Started;
}

}  // namespace

StartOutcome StartRecording(SessionView& view) { return Start(view, false); }
StartOutcome StartDeferredRecording(SessionView& view) { return Start(view, true); }

void PauseRecording(SessionView& view) {
  if (!recordingSession.Exists() || recordingSession.finishing.load()) return;
  uint32_t elapsed = UpdateElapsedSeconds();
  recordingSession.startTick = 0;
  recordingSession.accumulatedSeconds = elapsed;
  view.ScheduleRecordStatus();
  if (Settings.Current()->ShowStatusOnTray) view.ScheduleTrayBalloon();
  for (Direction d : kDirections) recordingSession.Flags(d).RequestPause();
  view.ShowRecordingPaused();
}
