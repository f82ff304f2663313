// What the threads of SimSkype share: what the recorder has said and asked
// so far, what the streams have sent, the calls in progress; the scenario
// being played; the two windows that send to the recorder; and the program's
// exit codes.
//
// Threads: the main thread owns the windows (the API window that talks to the
// recorder, a second window for foreign senders, the client-class windows) and
// runs their message loop; the scenario thread runs the steps; the outbox
// thread sends everything that goes to the recorder, in order, so that answers
// and notifications reach it in the order they were made; one thread per audio
// stream; one for the DURATION ticks.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/simclient/scenario.h"

namespace simclient {

using Clock = std::chrono::steady_clock;

constexpr int kExitOk = 0, kExitUsage = 1, kExitScenario = 2, kExitTimeout = 3, kExitInstall = 4;
constexpr int kExitRecorderHidden = 5, kExitNoRecorder = 6, kExitNoBalloon = 7, kExitNoControl = 8;
// The recorder's main window, for the steps that press its buttons.
constexpr wchar_t kRecorderWindowClass[] = L"SkypeDorvRecorder.Class";

// Guarded by `mutex`; `changed` is notified on every change.
struct SharedState {
  std::mutex mutex;
  std::condition_variable changed;
  HWND recorder = nullptr;  // the window that sent the last discover
  int discovers = 0;
  int userHandleReplies = 0;
  std::vector<std::string> commands;
  std::set<std::string> closedClasses;
  std::map<std::pair<int32_t, AudioDirection>, int64_t> bytesSent;
  std::map<int32_t, Clock::time_point> callsInProgress;
  bool ending = false;
};

extern SharedState shared;
// Read once at the start, then only read.
extern Scenario scenario;
// Made at the start on the main thread, then only read.
extern HWND apiWindow;
extern HWND foreignWindow;
extern UINT attachMessage;
extern UINT discoverMessage;

// The recorder's window that discovered the client; null before.
HWND Recorder();

// A window handle as the logs write it.
std::string HandleText(HWND window);

}  // namespace simclient
