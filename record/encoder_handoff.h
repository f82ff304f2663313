// The hand-off of a finished WAV file to the external encoders that
// RecordFormat chooses: lame.exe (MP3), oggenc2.exe (OGG), flac.exe (FLAC) and
// Wav2Wma.exe (WMA), run in this order, one at a time, each waited for.
//
// The WAV file is deleted only when WAV is not chosen and every chosen encoder
// has produced its output: an encoder that cannot be started, fails, produces
// nothing or has to be ended leaves the WAV file in place, and so does a
// RecordFormat that chooses no format at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct EncoderCommand {
  uint8_t format = 0;         // the RecordFormat bit
  std::wstring commandLine;   // as handed to the platform
  std::wstring outputName;    // the file the encoder leaves
};

// The commands RecordFormat chooses for a WAV file, in the order they run.
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

// Runs the chosen encoders on the file (its name ends in ".wav") and deletes it
// by the rule above. Each encoder may run EncoderTimeLimit(size, timeFloor).
EncoderReport EncoderHandoff(const std::wstring& wavName, uint8_t recordFormat,
                             std::chrono::milliseconds timeFloor = kEncoderTimeFloor);

// How long an encoder may run on a WAV file of this size before it is ended:
// the floor (10 minutes unless a test shortens it) plus the audio's own
// duration. An encoder slower than the audio it encodes has hung; without a
// bound it would hold the finishing thread, and every later recording's
// finishing, for ever.
std::chrono::milliseconds EncoderTimeLimit(uint64_t wavBytes, std::chrono::milliseconds timeFloor = kEncoderTimeFloor);
