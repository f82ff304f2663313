// Plays the scenario's steps, in order, on a thread of its own: the waits
// (for the discover, the attach, a command, so much audio, a window's close,
// a file), the notifications, the presses of the recorder's buttons and the
// holding of its threads. Also the DURATION ticks of the calls in progress.
#pragma once

namespace simclient {

// The steps of `scenario`; the exit code (kExitTimeout when a wait ran out,
// an `exit` step's own code).
int RunScenario();

// Sends CALL <id> DURATION <seconds> for every call in progress at the
// scenario's tick until `shared.ending`.
void TickDurations();

}  // namespace simclient
