// The questions a test asks SimSkype.exe about the recorder's windows, from
// outside the recorder's process as a user's tools would see them. Each
// answer goes into the file named last on the command line, or to the
// standard output without one; the result is the exit code.
#pragma once

namespace simclient {

// --recorder-state: kExitOk when the main window is visible,
// kExitRecorderHidden when hidden, kExitNoRecorder when there is none.
int AskRecorderState();

// --recorder-text <control id> [<file>]: "1\n" or "0\n" (the control visible
// or not), then its text.
int AskRecorderText(int control, const wchar_t* file);

// --recordings list|status [<file>], --recordings select <row>,
// --recordings command <id>: the recordings window's rows (a line each, the
// columns separated by tabs), its count and status lines, a row selected,
// a command posted to it. argv[i] is the word after --recordings.
int AskRecordings(int argc, wchar_t** argv, int i);

// --tray-balloon [<file>]: the text of the balloon the notification area
// shows now; kExitNoBalloon when none is shown.
int AskTrayBalloon(const wchar_t* file);

}  // namespace simclient
