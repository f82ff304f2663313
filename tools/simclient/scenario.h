// SimSkype's scenario: what the simulated client answers and what it does, in
// order. The file is UTF-8 text, one statement per line; see kScenarioHelp for
// the format.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace simclient {

enum class AudioDirection { Out = 0, In = 1 };  // SET_OUTPUT, SET_CAPTURE_MIC

const char* DirectionName(AudioDirection d);  // "out" or "in"

enum class SignalKind { Sine, Noise, Mls, Wav, Silence };

struct SignalParams {
  SignalKind kind = SignalKind::Sine;
  double frequency = 440;   // sine
  int32_t amplitude = 8000; // sine, noise, mls: the largest sample value
  uint32_t seed = 1;        // noise, mls
  std::wstring wavPath;     // wav
};

struct Step {
  enum class Kind {
    WaitDiscover,  // until a discover broadcast has arrived
    WaitAttach,    // until the user's handle has been handed to the recorder
    WaitCommand,   // until `text` has arrived as a command
    WaitAudio,     // until `number` ms of the stream (call, direction) have been sent
    WaitClosed,    // until the window of class `text` has received WM_CLOSE
    Sleep,         // `number` ms
    Notify,        // send `text` from the API window
    Foreign,       // send `text` from a window that is not the API window
    SendAttach,    // send attach status `number`
    Window,        // show a window of class `text`
    CloseWindow,   // destroy the window of class `text`
    Press,         // post WM_COMMAND `number` (a button) to the recorder's main window
    PostRecorder,  // post message `number` with `wParam` and `lParam` to the recorder's main window
    PostLink,      // post message `number` to the recorder's window that attached
    Signal,        // write the empty file `text` into the --dir folder
    WaitFile,      // until the file `text` exists in the --dir folder
    HoldRecorderThreads,     // suspend the recorder's threads started since the scenario began
    ReleaseRecorderThreads,  // resume them
    Reset,         // reset the stream (call, direction) with an abortive close, then connect again
    Exit,          // end with exit code `number`
  };
  Kind kind = Kind::Sleep;
  std::string text;
  int64_t number = 0;
  uint32_t wParam = 0;  // post-recorder
  uint32_t lParam = 0;
  int32_t call = 0;
  AudioDirection direction = AudioDirection::Out;
  int line = 0;
  std::string source;  // the statement as the file has it, for the progress lines
};

struct Scenario {
  std::string user = "echo123";
  // One group of attach statuses per discover broadcast, the last repeating;
  // an empty group answers nothing.
  std::vector<std::vector<uint32_t>> attachGroups{{0}};
  std::map<int32_t, std::string> partners;
  std::map<std::pair<int32_t, AudioDirection>, SignalParams> audio;
  // Replies that replace the built-in ones: command (ASCII case ignored) -> reply.
  std::vector<std::pair<std::string, std::string>> replies;
  int64_t timeoutMs = 30000;
  int64_t replyDelayMs = 0;
  int64_t durationTickMs = 0;
  int64_t chunkMs = 20;
  bool hideWindows = false;  // windows are made but not shown
  std::vector<Step> steps;

  // The partner handle answered for a call.
  std::string PartnerOf(int32_t call) const;
  // The signal of one stream.
  SignalParams AudioOf(int32_t call, AudioDirection direction) const;
};

// Parses a scenario; on failure `error` says which line and why.
bool ParseScenario(std::string_view text, Scenario& scenario, std::string& error);

// The progress lines that SimSkype prints while it plays a scenario: one when
// step `number` (counted from 1) begins, for a wait what it waits for, and one
// more when a wait is over, with the time it took (or the scenario's timeout).
bool IsWait(Step::Kind kind);
std::string StepBeginText(size_t number, const Step& step);
std::string WaitEndText(size_t number, bool over, int64_t elapsedMs);

// The usage text of SimSkype.exe, scenario format included.
extern const char kScenarioHelp[];

// ASCII-only case-insensitive equality, as the client API compares keywords.
bool SameTextNoCase(std::string_view a, std::string_view b);
bool StartsNoCase(std::string_view text, std::string_view prefix);

}  // namespace simclient
