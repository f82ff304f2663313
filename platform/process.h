// Child processes: the external encoders run one at a time, each waited for.
//
// The command line is the Windows one. On Windows it goes to CreateProcessW with
// no application name, so a bare program name is found by the system's search,
// which looks in the folder of the running executable first; the window is
// hidden (STARTF_USESHOWWINDOW with SW_HIDE), no handle is inherited, and the
// environment and current folder are the caller's. On POSIX the same command
// line is split as Windows splits it (SplitCommandLine), a bare program name is
// looked for in the executable's folder and then along PATH, and the program is
// started with posix_spawn in a process group of its own, with its standard
// streams on /dev/null.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ProcessRun {
  bool started = false;   // the program could be started
  bool ended = false;     // it ended by itself (and exitCode is its code)
  bool killed = false;    // it was still running at the time limit and was ended by force
  uint32_t exitCode = 0;
};

// Runs the command line and waits for the program to end. A limit of zero
// waits without a limit; with a limit, a program that is still running then is
// ended by force (on POSIX with its whole process group).
//
// Under wine a Unix program started this way has no process handle and cannot
// be waited for: the result is then started but neither ended nor killed.
ProcessRun RunProcessAndWait(std::wstring_view commandLine,
                             std::chrono::milliseconds limit = std::chrono::milliseconds(0));

// Splits a command line as CommandLineToArgvW does: the program name ends at
// the first blank (so a leading blank gives an empty name) or, when it starts
// with a quote, at the next quote; in the
// arguments, 2n backslashes before a quote give n backslashes and the quote
// opens or closes a quoted part, 2n+1 give n backslashes and a literal quote,
// other backslashes are literal, and "" inside a quoted part gives a literal
// quote and ends the part.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

// Fault injection for tests: starting a program whose file name (the last part
// of the command line's first word, compared without regard to case) is
// `program` fails as if the program were missing.
void InjectProcessStartFailure(std::wstring_view program);
void ClearProcessFaults();

// The running program's process id.
uint32_t CurrentProcessId();
