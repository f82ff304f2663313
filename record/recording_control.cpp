// Starting, resuming and pausing the recording (on the user-interface thread,
// for the main window's handlers), and the session's dated base path.
#include "record/recording_control.h"

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/clock.h"
#include "platform/debug_trace.h"
#include "platform/paths.h"
#include "record/output_name.h"
#include "record/recording_session.h"
#include "settings/language.h"
#include "settings/settings.h"

namespace {
const Direction kDirections[] = {Direction::Out, Direction::In};
}  // namespace

DateLabels LoadDateLabels(const LanguageTable& language) {
  auto label = [&language](const wchar_t* key) { return FileNameSafeText(language.Text(key)); };
  return {label(L"Year"), label(L"Month"), label(L"Day"), label(L"Hour"), label(L"Minute"), label(L"Second")};
}

std::wstring BuildBasePath(const std::wstring& folder, const LocalTime& t, const DateLabels& l) {
  bool endsWithSeparator = !folder.empty() && folder.back() == L'\\';
  return FormatText(endsWithSeparator ? L"%s%d%s%02d%s%02d%s %02d%s%02d%s%02d%s"
                                      : L"%s\\%d%s%02d%s%02d%s %02d%s%02d%s%02d%s",
                    {folder, t.year, l.year, t.month, l.month, t.day, l.day, t.hour, l.hour, t.minute, l.minute,
                     t.second, l.second});
}

uint32_t RecordingSession::UpdateElapsedSeconds() {
  uint32_t start = startTick.load();
  if (start == 0) return elapsedSeconds.load();
  uint32_t elapsed = (TickCountMs() - start) / 1000 + accumulatedSeconds.load();
  elapsedSeconds = elapsed;
  return elapsed;
}

// A resume throws away what arrived during the pause, but only once what came
// before it is on disk. It runs on the main window's thread, which must not
// wait for a disk: a writer still busy with a long write (a slow folder) keeps
// its hand-off, and the pause's audio stays in the recording rather than the
// audio before it being lost.
void RecordingSession::DropPausedAudio() {
  for (Direction d : kDirections) {
    WriterHandle writer = Writer(d);
    WriterFlags& flags = Flags(d);
    if (!writer || writer->Ended() || flags.pauseFlushed.load() == flags.pauseRequests.load())
      Handoff(d).Reset();
    else
      DebugTrace(L"Resume: the %s writer has not written the audio before the pause; the pause is kept.",
                 {d == Direction::Out ? L"Out" : L"In"});
  }
}

StartOutcome RecordingSession::Start(bool keepReceived) {
  // The finishing sequence has set the stop flags and waits for the writers;
  // clearing the flags now would make it wait for ever. The start is made once
  // the finishing lets go of the session.
  if (finishing.load()) {
    DebugTrace(L"Recording deferred: the one before is still being finished.");
    pendingStart_ = true;
    // The new recording begins now: once the writers are done, what the
    // hand-offs received until this moment belongs to no recording.
    WriterHandle out = Writer(Direction::Out), in = Writer(Direction::In);
    if ((!out || out->Ended()) && (!in || in->Ended())) ResetHandoffs();
    return StartOutcome::Finishing;
  }
  // Without its blocks a hand-off can neither be cleared nor used.
  if (!AllocateHandoffs()) return StartOutcome::NotStarted;

  const bool resume = Exists();
  const bool paused = AnyPaused();
  // A fresh start throws away what arrived before it, a resume what arrived
  // during the pause. A start while the recording runs (a further call, or the
  // repeated start message of this one) keeps the hand-offs: they hold the
  // recording's own audio that the writers have not taken yet.
  if (!resume) {
    if (!keepReceived) ResetHandoffs();
    for (Direction d : kDirections) Flags(d).Clear();
  } else if (paused) {
    DropPausedAudio();
    for (Direction d : kDirections) Flags(d).Clear();
  }
  const bool callInProgress = calls_.CallInProgress();
  if (resume) {
    if (callInProgress && startTick.load() == 0) {
      uint32_t now = TickCountMs();
      startTick = now ? now : 1;  // 0 means the time is not running
    }
    events_.OnRecordingResumed(callInProgress);
    return StartOutcome::Resumed;
  }
  if (!callInProgress) return StartOutcome::NoCall;

  // One set of settings for the whole decision; a fresh recording keeps it
  // (folder, record way, stereo, formats) until it has been finished.
  const SettingsSnapshot settings = settings_.Current();
  // Only 0, 1 and 2 name directions; any other value would leave the buttons
  // claiming a recording that no writer makes.
  const RecordWay way = settings->recordWay;
  if (way > RecordWay::OutOnly) {
    DebugTrace(L"Not recording: the record way %d records nothing.", {static_cast<int>(way)});
    return StartOutcome::NotStarted;
  }
  for (Direction d : kDirections) {
    if (!WayRecords(way, d) || audioAvailable_[DirectionIndex(d)].load()) continue;
    DebugTrace(L"Not recording: no audio server for the %s direction.", {d == Direction::Out ? L"Out" : L"In"});
    return StartOutcome::NoAudio;
  }
  // The folder may have gone since it was made (deleted by the user, a drive
  // cleaned up): it is made again, with every level it lacks, rather than
  // the call being lost. When it cannot be made, the stream files cannot be
  // created and that failure is reported.
  if (!CreateDirectoryTree(settings->recordFolder))
    DebugTrace(L"Not recording: the record folder %s cannot be created.", {settings->recordFolder});
  LocalTime startTime = LocalTimeNow();
  std::wstring basePath = FreeBasePath(BuildBasePath(settings->recordFolder, startTime, LoadDateLabels(language_)));
  if (basePath.size() > kBasePathMaxChars) {
    // A cut name would record into another folder or name.
    Report(RecordingFailure::BasePathTooLong);
    return StartOutcome::NotStarted;
  }

  SetBasePath(basePath);
  // Beside the stream files before they exist: it tells them from a crashed
  // program's for as long as this recording runs.
  sidecar_.Open(basePath, FormatText(L"%d-%02d-%02d %02d:%02d:%02d",
                                     {startTime.year, startTime.month, startTime.day, startTime.hour,
                                      startTime.minute, startTime.second}));
  settings_.PinForRecording(settings);
  bool any = false;
  if (way == RecordWay::Both) {
    any |= StartStreamWriter(Direction::Out, false);
    any |= StartStreamWriter(Direction::In, false);
  } else if (way == RecordWay::InOnly) {
    any |= StartStreamWriter(Direction::In, true);
  } else {
    any |= StartStreamWriter(Direction::Out, true);
  }
  if (!any) {
    // No writer could be started (each failure has been reported).
    ClearTimes();
    sidecar_.Close();
    settings_.PinForRecording(nullptr);
    return StartOutcome::NotStarted;
  }
  if (startTick.load() == 0) {
    uint32_t now = TickCountMs();
    startTick = now ? now : 1;
  }
  events_.OnRecordingStarted();
  return StartOutcome::Started;
}

StartOutcome RecordingSession::StartRecording() { return Start(false); }
StartOutcome RecordingSession::StartDeferredRecording() { return Start(true); }

void RecordingSession::PauseRecording() {
  if (!Exists() || finishing.load()) return;
  uint32_t elapsed = UpdateElapsedSeconds();
  startTick = 0;
  accumulatedSeconds = elapsed;
  for (Direction d : kDirections) Flags(d).RequestPause();
  events_.OnRecordingPaused();
}
