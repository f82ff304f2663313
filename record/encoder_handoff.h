// What becomes of a finished WAV file: the formats RecordFormat chooses are
// made from it, by the program's own encoders (record/builtin_encoders.h) or,
// when a user has put one beside the program, by an external encoder:
// lame.exe (MP3), oggenc2.exe (OGG) and flac.exe (FLAC) take the place of the
// built-in ones, and Wav2Wma.exe (WMA) is the only way to WMA. The external
// ones run in this order, one at a time, each waited for, on the WAV file.
//
// Every output of a format the program can decode is decoded to its end and
// must be as long as the WAV file, to within one codec frame. The WAV file is
// deleted only when WAV is not chosen and every chosen format was made and
// checks out: an encoder that cannot be started, fails, produces nothing, an
// output that is cut short or does not decode, or an encoder that has to be
// ended, leaves the WAV file in place, and so does a RecordFormat that chooses
// no format at all. An output that does not check out is removed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "record/builtin_encoders.h"

struct EncoderCommand {
  uint8_t format = 0;         // the RecordFormat bit
  std::wstring commandLine;   // as handed to the platform
  std::wstring outputName;    // the file the encoder leaves
};

// The external commands for the formats chosen, in the order they run.
//  MP3:  lame.exe -h "x.wav" "x.mp3"
//  OGG:  oggenc2.exe -q 10 "x.wav"          (the encoder writes x.ogg)
//  FLAC: flac.exe -8 "x.wav"                (the encoder writes x.flac)
//  WMA:  Wav2Wma.exe -i "x.wav" -o "x.wma"
std::vector<EncoderCommand> EncoderCommands(const std::wstring& wavName, uint8_t recordFormat);

struct EncoderReport {
  int chosen = 0;     // encoders RecordFormat chose
  int produced = 0;   // of which ended with code 0 and left a non-empty output
  bool wavDeleted = false;
  std::vector<std::wstring> outputs;  // the files those encoders left, in their order
};

// The least time an encoder is given, whatever the length of its file.
constexpr std::chrono::milliseconds kEncoderTimeFloor = std::chrono::minutes(10);

// The chosen formats the program makes itself: those built in whose external
// encoder is not beside the program.
uint8_t BuiltInFormatsFor(uint8_t recordFormat);

// Makes the chosen formats of the file (its name ends in ".wav") and deletes it
// by the rule above. Each external encoder may run EncoderTimeLimit(size,
// timeFloor). `builtIn` holds what the built-in encoders made when they were
// fed while the WAV file was written (the mix); without it they encode the
// WAV file now.
EncoderReport EncoderHandoff(const std::wstring& wavName, uint8_t recordFormat,
                             std::chrono::milliseconds timeFloor = kEncoderTimeFloor,
                             const std::vector<BuiltInOutput>* builtIn = nullptr);

// How long an encoder may run on a WAV file of this size before it is ended:
// the floor (10 minutes unless a test shortens it) plus the audio's own
// duration. An encoder slower than the audio it encodes has hung; without a
// bound it would hold the finishing thread, and every later recording's
// finishing, for ever.
std::chrono::milliseconds EncoderTimeLimit(uint64_t wavBytes, std::chrono::milliseconds timeFloor = kEncoderTimeFloor);
