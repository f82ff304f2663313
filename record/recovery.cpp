#include "record/recovery.h"

#include <algorithm>
#include <optional>
#include <set>

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/debug_trace.h"
#include "record/encoder_handoff.h"
#include "record/mixer.h"
#include "record/output_name.h"
#include "record/wave_file.h"

namespace {

constexpr char kSidecarTitle[] = "Calvoro Record recording";

bool EndsWith(std::wstring_view text, std::wstring_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The folder's own separator joins it to the name.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  bool slashes = folder.find(L'/') != std::wstring::npos && folder.find(L'\\') == std::wstring::npos;
  return folder + (slashes ? L'/' : L'\\') + name;
}

bool AnyStreamFile(const std::wstring& base) {
  uint64_t size = 0;
  return QueryFileSize(StreamFileName(base, Direction::Out), size) ||
         QueryFileSize(StreamFileName(base, Direction::In), size);
}

// The value of "key=" in a side file's text; empty when it is not there.
std::wstring SidecarValue(const std::string& text, const char* key) {
  std::string prefix = std::string("\n") + key + "=";
  size_t at = ("\n" + text).find(prefix);
  if (at == std::string::npos) return std::wstring();
  size_t begin = at + prefix.size() - 1;
  size_t end = text.find_first_of("\r\n", begin);
  std::string value = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return WideFromUtf8(value);
}

std::string ReadAll(File& file) {
  std::string text(4096, '\0');
  size_t got = 0;
  if (!file.Seek(0) || !file.Read(text.data(), text.size(), got)) got = 0;
  text.resize(got);
  return text;
}

enum class StreamShape { Missing, Usable, Damaged, Held };

// Brings a stream file's header sizes up to date with its length. A file
// shorter than its header or that is not a WAV file is damaged.
StreamShape RepairStream(const std::wstring& name) {
  uint64_t size = 0;
  if (!QueryFileSize(name, size)) return StreamShape::Missing;
  File file;
  // Held by another opener: a program of an earlier kind that keeps no side
  // file is still writing it.
  if (!file.OpenExisting(name)) return StreamShape::Held;
  if (ReadWaveHeaderChannels(file) == 0) return StreamShape::Damaged;
  if (!FinishWaveHeader(file, 1) || !file.Flush()) return StreamShape::Damaged;
  return StreamShape::Usable;
}

// Finishes one left-behind recording; its side file is held by `sidecar`.
void RecoverOne(const std::wstring& base, File& sidecar, bool stereo, uint8_t recordFormat,
                std::chrono::milliseconds encoderTimeFloor, RecoveryReport& report) {
  std::string text = sidecar.IsOpen() ? ReadAll(sidecar) : std::string();
  std::wstring partners = SidecarValue(text, "partners");
  const std::wstring names[2] = {StreamFileName(base, Direction::Out), StreamFileName(base, Direction::In)};
  StreamShape shapes[2];
  for (int i = 0; i < 2; ++i) {
    shapes[i] = RepairStream(names[i]);
    if (shapes[i] == StreamShape::Held) {
      DebugTrace(L"Recovery: %s is in use and is left alone\n", {names[i]});
      return;
    }
  }
  for (int i = 0; i < 2; ++i) {
    if (shapes[i] == StreamShape::Damaged) {
      DebugTrace(L"Recovery: %s is damaged and is kept as it is\n", {names[i]});
      if (MoveFileNoReplace(names[i], names[i] + kDamagedSuffix)) report.damaged.push_back(names[i] + kDamagedSuffix);
      else report.damaged.push_back(names[i]);
    }
  }
  std::wstring output = FreeOutputWaveName(base + kRecoveredMarker, partners);
  bool done = true;
  std::optional<std::vector<BuiltInOutput>> encoded;
  if (shapes[0] == StreamShape::Usable && shapes[1] == StreamShape::Usable) {
    // Encoded as it is mixed, as a finished recording is.
    BuiltInEncoders encoders(output, BuiltInFormatsFor(recordFormat), stereo ? 2 : 1, kSampleRate);
    MixResult mixed = MixStreamFiles(base, output, stereo, &encoders);
    done = mixed == MixResult::Mixed;
    if (done) encoded = encoders.Finish();
    if (done)
      for (const std::wstring& name : names) RemoveFile(name);
    else if (std::optional<RecordingFailure> failure = MixFailure(mixed))
      report.failures.push_back(*failure);
  } else if (shapes[0] == StreamShape::Usable || shapes[1] == StreamShape::Usable) {
    // The one direction there is becomes the recording, as a one-direction
    // recording does (it was flushed by its repair).
    done = MoveFileNoReplace(names[shapes[0] == StreamShape::Usable ? 0 : 1], output);
  } else {
    output.clear();
  }
  if (!done) {
    DebugTrace(L"Recovery: %s could not be finished; its stream files stay\n", {base});
    report.failed.push_back(base);
    return;
  }
  if (!output.empty()) {
    DebugTrace(L"Recovery: %s recovered as %s\n", {base, output});
    report.recovered.push_back(output);
  }
  // The side file goes once nothing of the recording is left to finish.
  sidecar.Close();
  if (!AnyStreamFile(base)) RemoveFile(SidecarFileName(base));
  if (!output.empty()) EncoderHandoff(output, recordFormat, encoderTimeFloor, encoded ? &*encoded : nullptr);
}

}  // namespace

std::wstring SidecarFileName(std::wstring_view basePath) { return std::wstring(basePath) + kSidecarSuffix; }

bool RecordingSidecar::Open(std::wstring_view basePath, std::wstring_view started) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_.Close();
  base_.assign(basePath);
  started_.assign(started);
  partners_.clear();
  written_ = 0;
  if (!file_.Create(SidecarFileName(base_))) {
    DebugTrace(L"Cannot create %s\n", {SidecarFileName(base_)});
    return false;
  }
  return WriteLocked();
}

void RecordingSidecar::SetPartners(const std::wstring& partners) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_.IsOpen() || partners == partners_) return;
  partners_ = partners;
  WriteLocked();
}

bool RecordingSidecar::WriteLocked() {
  std::string text = std::string(kSidecarTitle) + "\r\nstarted=" + Utf8FromWide(started_) +
                     "\r\npartners=" + Utf8FromWide(partners_) + "\r\n";
  // The file is rewritten in place; blanks cover what a longer text before
  // left behind.
  size_t length = text.size();
  if (length < written_) text.append(written_ - length, ' ');
  written_ = std::max(written_, length);
  return file_.Seek(0) && file_.Write(text.data(), text.size());
}

void RecordingSidecar::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_.IsOpen()) return;
  file_.Close();
  if (!AnyStreamFile(base_)) RemoveFile(SidecarFileName(base_));
}

void RecordingSidecar::TakeOver(RecordingSidecar& other) {
  std::scoped_lock lock(mutex_, other.mutex_);
  file_ = std::move(other.file_);
  base_ = std::move(other.base_);
  started_ = std::move(other.started_);
  partners_ = std::move(other.partners_);
  written_ = other.written_;
  other.written_ = 0;
}

RecoveryReport RecoverRecordings(const std::wstring& folder, bool stereo, uint8_t recordFormat,
                                 std::chrono::milliseconds encoderTimeFloor) {
  RecoveryReport report;
  std::set<std::wstring> bases;
  for (const std::wstring& name : FilesInFolder(folder)) {
    for (std::wstring_view tail : {std::wstring_view(L"_Out.sky"), std::wstring_view(L"_In.sky"),
                                   std::wstring_view(kSidecarSuffix)}) {
      if (EndsWith(name, tail)) bases.insert(JoinPath(folder, name.substr(0, name.size() - tail.size())));
    }
  }
  for (const std::wstring& base : bases) {
    // Held for the whole recovery: a running program holds its own, and a
    // second program recovering at the same time finds this one held.
    File sidecar;
    std::wstring sidecarName = SidecarFileName(base);
    uint64_t size = 0;
    bool claimed = QueryFileSize(sidecarName, size) ? sidecar.OpenExisting(sidecarName) : sidecar.Create(sidecarName);
    if (!claimed) {
      DebugTrace(L"Recovery: %s belongs to a running recording\n", {base});
      continue;
    }
    RecoverOne(base, sidecar, stereo, recordFormat, encoderTimeFloor, report);
    // A side file made for the recovery of files that are still in use goes.
    if (sidecar.IsOpen()) {
      sidecar.Close();
      if (size == 0) RemoveFile(sidecarName);
    }
  }
  return report;
}
