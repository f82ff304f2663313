// The two threads of the client link.
//
//   SkypeWatchThread: once at its start, starts the client's program again when
//     its main window is there and its path is known; then every 2000 ms,
//     broadcasts the discover message while the link is not attached and closes
//     the client's call-quality windows when the setting asks for it.
//   SkypeMessageThread: takes one notification from the queue per 1 ms cycle
//     and parses it (the call state machine runs here).
//
// The application starts both at start-up, before the main window exists, and
// stops both at exit. Stopping is cooperative: each thread ends at its next
// wait, so neither is cut off while it holds the queue lock or is inside a
// send. A thread that is waiting in a send to the main window can finish even
// when StopLinkThreads is called from the user-interface thread, because the
// wait serves the messages sent to that thread's windows.
#pragma once

#include <chrono>

// Starts SkypeWatchThread, then SkypeMessageThread. Does nothing when they run.
void StartLinkThreads();

// Asks both threads to stop and waits for them, at most `deadline` each. True
// when both have ended; a thread that has not ended by then (it is waiting on a
// client that does not answer) is left to end with the process, and a trace
// line says so. Notifications still queued are dropped.
bool StopLinkThreads(std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));

// The thread bodies; each returns when StopLinkThreads asks it to.
void SkypeWatchThread();
void SkypeMessageThread();

// The watcher's period.
constexpr std::chrono::milliseconds kWatchPeriod{2000};
