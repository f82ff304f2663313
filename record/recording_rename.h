// Renaming a recording: every file of it, all or none.
#pragma once

#include <string>

#include "record/recording_scan.h"

// Renames every file of the recording to the new name (without extension) in
// the same folder, all or none. Refused: an empty name, a character Windows
// does not allow in a name (\ / : * ? " < > |), a trailing dot or space, a
// name that a file with one of the six extensions already has. `error` gets
// why, in words for the trace.
bool RenameRecording(const RecordingEntry& entry, const std::wstring& newFileStem, std::wstring* error);
