#include "record/encoder_handoff.h"

#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "platform/file.h"
#include "platform/process.h"
#include "record/wave_file.h"
#include "settings/settings.h"

namespace {

// The name with its last three characters (the "wav" of ".wav") replaced.
std::wstring WithExtension(const std::wstring& wavName, const wchar_t* extension) {
  return wavName.substr(0, wavName.size() >= 3 ? wavName.size() - 3 : 0) + extension;
}

}  // namespace

std::vector<EncoderCommand> EncoderCommands(const std::wstring& wavName, uint8_t recordFormat) {
  std::vector<EncoderCommand> commands;
  if (recordFormat & kFormatMp3) {
    std::wstring mp3 = WithExtension(wavName, L"mp3");
    std::wstring arguments = FormatText(L"-h \"%s\" \"%s\"", {wavName, mp3});
    commands.push_back({kFormatMp3, FormatText(L"%s %s", {kMp3Encoder, arguments}), mp3});
  }
  if (recordFormat & kFormatOgg)
    commands.push_back(
        {kFormatOgg, FormatText(L"%s -q 10 \"%s\"", {kOggEncoder, wavName}), WithExtension(wavName, L"ogg")});
  if (recordFormat & kFormatFlac)
    commands.push_back(
        {kFormatFlac, FormatText(L"%s -8 \"%s\"", {kFlacEncoder, wavName}), WithExtension(wavName, L"flac")});
  if (recordFormat & kFormatWma) {
    std::wstring wma = WithExtension(wavName, L"wma");
    std::wstring arguments = FormatText(L"-i \"%s\" -o \"%s\"", {wavName, wma});
    commands.push_back({kFormatWma, FormatText(L"%s %s", {kWmaEncoder, arguments}), wma});
  }
  return commands;
}

std::chrono::milliseconds EncoderTimeLimit(uint64_t wavBytes, std::chrono::milliseconds timeFloor) {
  uint64_t audio = wavBytes > kWaveHeaderBytes ? wavBytes - kWaveHeaderBytes : 0;
  return timeFloor + std::chrono::milliseconds(audio * 1000 / kMonoBytesPerSecond);
}

EncoderReport EncoderHandoff(const std::wstring& wavName, uint8_t recordFormat, std::chrono::milliseconds timeFloor) {
  EncoderReport report;
  uint64_t wavBytes = 0;
  QueryFileSize(wavName, wavBytes);
  std::chrono::milliseconds limit = EncoderTimeLimit(wavBytes, timeFloor);
  for (const EncoderCommand& command : EncoderCommands(wavName, recordFormat)) {
    ++report.chosen;
    ProcessRun run = RunProcessAndWait(command.commandLine, limit);
    uint64_t size = 0;
    if (!run.started) {
      DebugTrace(L"Encoder not started: %s\n", {command.commandLine});
    } else if (run.killed) {
      // What it left is cut short; the WAV file stays, so nothing is lost.
      DebugTrace(L"Encoder still running after %u s, ended: %s\n",
                 {static_cast<unsigned long long>(limit.count() / 1000), command.commandLine});
      RemoveFile(command.outputName);
    } else if (!run.ended) {
      DebugTrace(L"Encoder started but could not be waited for: %s\n", {command.commandLine});
    } else if (run.exitCode != 0) {
      DebugTrace(L"Encoder ended with code %u: %s\n", {run.exitCode, command.commandLine});
    } else if (!QueryFileSize(command.outputName, size) || size == 0) {
      DebugTrace(L"Encoder left no output %s\n", {command.outputName});
    } else {
      ++report.produced;
      report.outputs.push_back(command.outputName);
    }
  }
  if (recordFormat & kFormatWav) return report;
  if (report.chosen > 0 && report.produced == report.chosen) {
    report.wavDeleted = RemoveFile(wavName);
    if (!report.wavDeleted) DebugTrace(L"Cannot delete %s\n", {wavName});
  } else {
    DebugTrace(L"%s is kept: %d of %d encoders produced their output\n", {wavName, report.produced, report.chosen});
  }
  return report;
}
