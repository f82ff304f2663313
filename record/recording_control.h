// What starting a recording is made of besides the session itself
// (recording_session.h): the session's dated base path, and what a start came
// to.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

class LanguageTable;

// The six words placed between the numbers of a recording's name, from the
// current language; characters a file name cannot hold are replaced.
struct DateLabels {
  std::wstring year, month, day, hour, minute, second;
};
DateLabels LoadDateLabels(const LanguageTable& language);

// The base path: the record folder, then the date and time with the labels,
// e.g. D:\Rec\2011-03-07 09h05m02s. One backslash joins folder and date, also
// when the folder ends with one.
std::wstring BuildBasePath(const std::wstring& folder, const LocalTime& time, const DateLabels& labels);

// What StartRecording did.
enum class StartOutcome {
  Started,        // a fresh recording with its writers
  Resumed,        // a paused or running recording carries on
  NoCall,         // no call in progress: nothing recorded (the application shows why)
  NoAudio,        // a direction to record has no audio server: nothing recorded
  Finishing,      // a finishing sequence is under way: the start is made once it is over
  NotStarted,     // refused: no hand-off memory, RecordWay out of range, a base
                  // path too long, or no writer could be started
};
