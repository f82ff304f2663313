// The writer thread of one direction: creates the direction's stream file
// ("%s_Out.sky" or "%s_In.sky" after the session's base path), writes what the
// hand-off gives it until its stop flag is set, fills in the header sizes and,
// when it is the only direction recorded, turns the file into the recording.
#pragma once

#include <string>

#include "common/direction.h"

// The writer thread's body (started by StartStreamWriter). True when the
// stream file was finished with its sizes filled in.
bool RunStreamWriter(Direction direction, bool onlyDirection);

// The direction's stream file name for a base path.
std::wstring StreamFileName(const std::wstring& basePath, Direction direction);
