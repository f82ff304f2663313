#include "record/encoder_handoff.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/contracts.h"
#include "common/text_format.h"
#include "formats/audio_encoder.h"
#include "platform/debug_trace.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "record/wave_file.h"

namespace {

// The folder of the running program, with its separator: where a user puts
// the external encoders.
std::wstring ExecutableFolder() {
  std::wstring path = GetModuleFilePath();
  size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// An external encoder's output decodes to the WAV file's length. WMA, which
// nothing here decodes, is taken as its encoder left it.
bool ChecksOut(uint8_t format, const std::wstring& output, const std::wstring& wavName) {
  if (!(format & BuiltInCodecFormats())) return true;
  File wav;
  uint64_t bytes = 0;
  const uint16_t channels = wav.OpenExisting(wavName) ? ReadWaveHeaderChannels(wav) : 0;
  if (channels == 0 || !wav.Size(bytes)) {
    DebugTrace(L"Cannot read %s to check %s\n", {wavName, output});
    return false;
  }
  return EncodedFileChecksOut(format, output, (bytes - kWaveHeaderBytes) / (2u * channels), kSampleRate);
}

}  // namespace

std::vector<EncoderCommand> EncoderCommands(const std::wstring& wavName, uint8_t recordFormat) {
  std::vector<EncoderCommand> commands;
  if (recordFormat & kFormatMp3) {
    std::wstring mp3 = EncodedFileName(wavName, kFormatMp3);
    std::wstring arguments = FormatText(L"-h \"%s\" \"%s\"", {wavName, mp3});
    commands.push_back({kFormatMp3, FormatText(L"%s %s", {kMp3Encoder, arguments}), mp3});
  }
  if (recordFormat & kFormatOgg)
    commands.push_back(
        {kFormatOgg, FormatText(L"%s -q 10 \"%s\"", {kOggEncoder, wavName}), EncodedFileName(wavName, kFormatOgg)});
  if (recordFormat & kFormatFlac)
    commands.push_back(
        {kFormatFlac, FormatText(L"%s -8 \"%s\"", {kFlacEncoder, wavName}), EncodedFileName(wavName, kFormatFlac)});
  if (recordFormat & kFormatWma) {
    std::wstring wma = EncodedFileName(wavName, kFormatWma);
    std::wstring arguments = FormatText(L"-i \"%s\" -o \"%s\"", {wavName, wma});
    commands.push_back({kFormatWma, FormatText(L"%s %s", {kWmaEncoder, arguments}), wma});
  }
  return commands;
}

std::chrono::milliseconds EncoderTimeLimit(uint64_t wavBytes, std::chrono::milliseconds timeFloor) {
  uint64_t audio = wavBytes > kWaveHeaderBytes ? wavBytes - kWaveHeaderBytes : 0;
  return timeFloor + std::chrono::milliseconds(audio * 1000 / kMonoBytesPerSecond);
}

uint8_t BuiltInFormatsFor(uint8_t recordFormat) {
  uint8_t formats = recordFormat & BuiltInCodecFormats();
  const std::wstring folder = ExecutableFolder();
  for (const auto& [format, program] : {std::pair<uint8_t, const wchar_t*>{kFormatMp3, kMp3Encoder},
                                        {kFormatOgg, kOggEncoder},
                                        {kFormatFlac, kFlacEncoder}}) {
    if ((formats & format) && !folder.empty() && PathExists(folder + program)) formats &= ~format;
  }
  return formats;
}

EncoderReport EncoderHandoff(const std::wstring& wavName, uint8_t recordFormat, std::chrono::milliseconds timeFloor,
                             const std::vector<BuiltInOutput>* builtIn) {
  EncoderReport report;
  const uint8_t inProgram = BuiltInFormatsFor(recordFormat);
  std::vector<BuiltInOutput> made = builtIn ? *builtIn : EncodeWaveFile(wavName, inProgram);
  std::vector<std::pair<uint8_t, std::wstring>> outputs;
  for (const BuiltInOutput& output : made) {
    ++report.chosen;
    if (!output.made) continue;
    ++report.produced;
    outputs.emplace_back(output.format, output.name);
  }

  uint64_t wavBytes = 0;
  QueryFileSize(wavName, wavBytes);
  std::chrono::milliseconds limit = EncoderTimeLimit(wavBytes, timeFloor);
  for (const EncoderCommand& command : EncoderCommands(wavName, recordFormat & ~inProgram)) {
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
    } else if (!ChecksOut(command.format, command.outputName, wavName)) {
      RemoveFile(command.outputName);
    } else {
      ++report.produced;
      outputs.emplace_back(command.format, command.outputName);
    }
  }
  // The files in the order of the format bits, whoever made them.
  std::stable_sort(outputs.begin(), outputs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& output : outputs) report.outputs.push_back(output.second);

  if (recordFormat & kFormatWav) return report;
  if (report.chosen > 0 && report.produced == report.chosen) {
    report.wavDeleted = RemoveFile(wavName);
    if (!report.wavDeleted) DebugTrace(L"Cannot delete %s\n", {wavName});
  } else {
    DebugTrace(L"%s is kept: %d of %d formats were made\n", {wavName, report.produced, report.chosen});
  }
  return report;
}
