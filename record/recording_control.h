// Starting, resuming and pausing the one recording (on the user-interface
// thread, as handlers of the main window), the session's dated base path, and
// the hand-off blocks' allocation. Ending a recording is FinishRecording or
// AbortRecording (recording_session.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "record/recording_session.h"
#include "record/stream_handoff.h"
#include "settings/ini_file.h"

// What starting and pausing change in the main window, besides what ending a
// recording changes (RecordingView). The main window implements it.
class SessionView : public RecordingView {
 public:
  // Record (1003) disabled, Pause (1004) and Stop (1005) enabled.
  virtual void ShowRecordingRunning() = 0;
  // Record enabled, Pause disabled; Stop stays enabled.
  virtual void ShowRecordingPaused() = 0;
  // The recording status line (1031) shown and its timer (7) armed for 10 ms.
  virtual void ShowRecordStatus() = 0;
  // Timer 7 for 10 ms, so the line shows the new state at once.
  virtual void ScheduleRecordStatus() = 0;
  // The text in the recording status line for 3 seconds, then the line hidden
  // (a Record press with no call in progress).
  virtual void ShowNoCallNotice(const std::wstring& text) = 0;
};

// The six words placed between the numbers of a recording's name, from the
// current language; characters a file name cannot hold are replaced.
struct DateLabels {
  std::wstring year, month, day, hour, minute, second;
};
DateLabels LoadDateLabels(IniFile& language);

// The base path: the record folder, then the date and time with the labels,
// e.g. D:\Rec\2011-03-07 09h05m02s. One backslash joins folder and date, also
// when the folder ends with one.
std::wstring BuildBasePath(const std::wstring& folder, const LocalTime& time, const DateLabels& labels);

// What StartRecording did.
enum class StartOutcome {
  Started,        // a fresh recording with its writers
  Resumed,        // a paused or running recording carries on
  NoCall,         // no call in progress: the notice is shown, nothing recorded
  Finishing,      // a finishing sequence is under way: the start is ignored
  NotStarted,     // refused: no hand-off memory, RecordWay out of range, a base
                  // path too long, or no writer could be started
};

// The message box for a base path that does not fit.
constexpr wchar_t kBasePathTooLongText[] = L"Record folder path is too long!";

StartOutcome StartRecording(SessionView& view);

// A start that came while a finishing sequence ran (a new call, or Record) is
// remembered; once the finishing has let go of the session, the main window
// takes it and starts with StartDeferredRecording, so the new call is recorded
// too. True once per remembered start.
bool TakePendingStart();
// StartRecording that keeps what the hand-offs received since the finishing
// stopped the last writers: the new call's first audio.
StartOutcome StartDeferredRecording(SessionView& view);
void PauseRecording(SessionView& view);

// The seconds the recording line shows now (and keeps in the session).
uint32_t UpdateElapsedSeconds();
