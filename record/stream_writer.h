// The writer thread of one direction: creates the direction's stream file
// ("%s_Out.sky" or "%s_In.sky" after the session's base path), writes what the
// hand-off gives it until its stop flag is set, fills in the header sizes and,
// when it is the only direction recorded, turns the file into the recording.
#pragma once

#include <string>

#include "common/direction.h"

// What a writer thread leaves behind.
struct WriterResult {
  bool completed = false;  // the stream file was finished with its sizes filled in
  // The only direction's writer: the recording its file became, for the
  // finishing sequence to hand to the encoders; empty when the move failed.
  std::wstring recording;
};

// The writer thread's body (started by StartStreamWriter).
WriterResult RunStreamWriter(Direction direction, bool onlyDirection);

// The direction's stream file name for a base path.
std::wstring StreamFileName(const std::wstring& basePath, Direction direction);
