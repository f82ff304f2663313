#include "record/mixer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "common/direction.h"
#include "platform/debug_trace.h"
#include "platform/file.h"
#include "record/output_name.h"
#include "record/wave_file.h"

namespace {

// Sums two sample runs with clipping to the 16-bit range.
void MixMono(const int16_t* a, const int16_t* b, int16_t* out, size_t samples) {
  for (size_t k = 0; k < samples; ++k) {
    int32_t s = static_cast<int32_t>(a[k]) + static_cast<int32_t>(b[k]);
    out[k] = static_cast<int16_t>(s > 32767 ? 32767 : (s < -32768 ? -32768 : s));
  }
}

// Left from a (the far end), right from b (the microphone).
void Interleave(const int16_t* a, const int16_t* b, int16_t* out, size_t samples) {
  for (size_t k = 0; k < samples; ++k) {
    out[2 * k] = a[k];
    out[2 * k + 1] = b[k];
  }
}

int16_t* NewSamples(size_t bytes) { return new (std::nothrow) int16_t[bytes / 2]; }

MixOutcome Combine(const std::wstring& base, const std::wstring& partnerList, bool stereo, uint8_t encodeFormats) {
  MixOutcome outcome;
  std::wstring output = FreeOutputWaveName(base, partnerList);
  std::optional<BuiltInEncoders> encoders;
  if (encodeFormats) encoders.emplace(output, encodeFormats, stereo ? 2 : 1, kSampleRate);
  outcome.result = MixStreamFiles(base, output, stereo, encoders ? &*encoders : nullptr);
  if (encoders && outcome.mixed()) outcome.encoded = encoders->Finish();
  if (!outcome.mixed()) {
    DebugTrace(L"The mix of %s failed: the stream files stay\n", {base});
    return outcome;
  }
  for (Direction d : {Direction::Out, Direction::In}) {
    std::wstring stream = StreamFileName(base, d);
    if (!RemoveFile(stream)) DebugTrace(L"Cannot delete %s\n", {stream});
  }
  outcome.output = output;
  return outcome;
}

}  // namespace

std::optional<RecordingFailure> MixFailure(MixResult result) {
  switch (result) {
    case MixResult::OutputNotCreated:
      return RecordingFailure::MixOutputNotCreated;
    case MixResult::WriteFailed:
      return RecordingFailure::MixWriteFailed;
    case MixResult::NoMemory:
      return RecordingFailure::MixMemory;
    case MixResult::Mixed:
    case MixResult::NotMixed:
      break;
  }
  return std::nullopt;
}

MixOutcome MixStreamsToMono(const std::wstring& basePath, const std::wstring& partnerList, uint8_t encodeFormats) {
  return Combine(basePath, partnerList, false, encodeFormats);
}
MixOutcome MixStreamsToStereo(const std::wstring& basePath, const std::wstring& partnerList,
                                     uint8_t encodeFormats) {
  return Combine(basePath, partnerList, true, encodeFormats);
}

MixResult MixStreamFiles(const std::wstring& basePath, const std::wstring& outputName, bool stereo,
                         BuiltInEncoders* encoders) {
  File outStream, inStream;
  std::wstring outName = StreamFileName(basePath, Direction::Out), inName = StreamFileName(basePath, Direction::In);
  if (!outStream.OpenExisting(outName) || !inStream.OpenExisting(inName)) {
    DebugTrace(L"Cannot open the stream files of %s\n", {basePath});
    return MixResult::NotMixed;
  }
  const uint16_t channels = stereo ? 2 : 1;
  File mixed;
  if (!mixed.Create(outputName)) {
    DebugTrace(L"Cannot create %s\n", {outputName});
    return MixResult::OutputNotCreated;
  }
  // From here on a failure must not leave a partial file that looks like a
  // finished recording.
  auto fail = [&](MixResult result, const wchar_t* trace) {
    DebugTrace(trace, {outputName});
    if (encoders) encoders->Abandon();
    mixed.Close();
    RemoveFile(outputName);
    return result;
  };
  constexpr wchar_t kWriteFailed[] = L"Cannot write %s\n";
  constexpr wchar_t kReadFailed[] = L"Cannot read the stream files for %s\n";
  if (!WriteEmptyWaveHeader(mixed, channels)) return fail(MixResult::WriteFailed, kWriteFailed);

  std::unique_ptr<int16_t[]> a(NewSamples(kMixChunkBytes)), b(NewSamples(kMixChunkBytes)),
      mix(NewSamples(2 * kMixChunkBytes));
  if (!a || !b || !mix) return fail(MixResult::NoMemory, L"No memory to mix into %s\n");

  if (!outStream.Seek(kWaveHeaderBytes) || !inStream.Seek(kWaveHeaderBytes))
    return fail(MixResult::NotMixed, kReadFailed);
  char* bytesA = reinterpret_cast<char*>(a.get());
  char* bytesB = reinterpret_cast<char*>(b.get());
  for (;;) {
    size_t gotA = 0, gotB = 0;
    // A read error would end the mix early and lose the rest of the call.
    if (!outStream.Read(bytesA, kMixChunkBytes, gotA) || !inStream.Read(bytesB, kMixChunkBytes, gotB))
      return fail(MixResult::NotMixed, kReadFailed);
    size_t n = std::max(gotA, gotB);
    if (n == 0) break;
    if (n % 2 == 1) ++n;
    // The shorter input, and the missing byte of an odd length, are silence.
    std::memset(bytesA + gotA, 0, n - gotA);
    std::memset(bytesB + gotB, 0, n - gotB);
    size_t samples = n / 2;
    if (stereo)
      Interleave(a.get(), b.get(), mix.get(), samples);
    else
      MixMono(a.get(), b.get(), mix.get(), samples);
    // A lost chunk would be a silent gap in the recording: the mix fails and
    // the stream files stay.
    if (!mixed.Write(mix.get(), stereo ? 2 * n : n)) return fail(MixResult::WriteFailed, kWriteFailed);
    if (encoders) encoders->Feed(mix.get(), stereo ? n : samples);
    // The disk works on what is written while the next chunk is mixed.
    mixed.StartWriteBack();
  }
  // Durable before the caller deletes the stream files.
  if (!FinishWaveHeader(mixed, channels) || !mixed.Flush()) return fail(MixResult::WriteFailed, kWriteFailed);
  mixed.Close();
  return MixResult::Mixed;
}

MixOutcome MixStreamFilesInPlace(const std::wstring& basePath, const std::wstring& partnerList) {
  MixOutcome outcome;
  std::wstring names[2] = {StreamFileName(basePath, Direction::Out), StreamFileName(basePath, Direction::In)};
  uint64_t sizes[2] = {0, 0};
  if (!QueryFileSize(names[0], sizes[0]) || !QueryFileSize(names[1], sizes[1])) return outcome;
  const int longer = sizes[0] >= sizes[1] ? 0 : 1;
  File target, other;
  if (!target.OpenExisting(names[longer]) || !other.OpenExisting(names[1 - longer])) return outcome;
  std::unique_ptr<int16_t[]> a(NewSamples(kMixChunkBytes)), b(NewSamples(kMixChunkBytes));
  if (!a || !b) {
    outcome.result = MixResult::NoMemory;
    return outcome;
  }
  char* bytesA = reinterpret_cast<char*>(a.get());
  char* bytesB = reinterpret_cast<char*>(b.get());
  // Only the shorter file's stretch changes: beyond it the sum is the longer
  // file's own samples. Each chunk is read, summed and written back where it
  // was, so the file never grows.
  for (uint64_t at = kWaveHeaderBytes;;) {
    size_t gotA = 0, gotB = 0;
    if (!other.Seek(at) || !other.Read(bytesB, kMixChunkBytes, gotB)) return outcome;
    if (gotB == 0) break;
    if (!target.Seek(at) || !target.Read(bytesA, gotB, gotA) || gotA < gotB) return outcome;
    size_t n = gotB + (gotB % 2);  // an odd last byte of the shorter file
    std::memset(bytesA + gotA, 0, n - gotA);
    std::memset(bytesB + gotB, 0, n - gotB);
    MixMono(a.get(), b.get(), a.get(), n / 2);
    if (!target.Seek(at) || !target.Write(bytesA, gotA)) {
      outcome.result = MixResult::WriteFailed;
      return outcome;
    }
    at += gotB;
  }
  if (!FinishWaveHeader(target, 1) || !target.Flush()) return outcome;
  target.Close();
  other.Close();
  std::wstring output = FreeOutputWaveName(basePath, partnerList);
  if (!MoveFileNoReplace(names[longer], output)) return outcome;
  DebugTrace(L"The stream files of %s were mixed in place into %s\n", {basePath, output});
  RemoveFile(names[1 - longer]);
  outcome.result = MixResult::Mixed;
  outcome.output = output;
  return outcome;
}
