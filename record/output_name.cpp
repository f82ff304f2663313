#include "record/output_name.h"

#include "common/text_format.h"
#include "formats/audio_format.h"
#include "platform/paths.h"

std::wstring StreamFileName(const std::wstring& basePath, Direction direction) {
  return FormatText(StreamFileFormat(direction), {basePath});
}

std::wstring OutputWaveName(std::wstring_view basePath, std::wstring_view partnerList) {
  std::wstring name = FormatText(L"%s(%s).wav", {basePath, partnerList});
  if (name.size() >= kOutputNameLimit) name = FormatText(L"%s.wav", {basePath});
  return name;
}

namespace {

// What the recording may leave under a name without its extension.
bool AnyRecordingFile(const std::wstring& stem) {
  for (const AudioFormatName& format : kAudioFormats) {
    if (PathExists(stem + L"." + format.extension)) return true;
  }
  return false;
}

std::wstring Numbered(std::wstring_view stem, int n) { return FormatText(L"%s (%d)", {stem, n}); }

}  // namespace

std::wstring FreeOutputWaveName(std::wstring_view basePath, std::wstring_view partnerList) {
  std::wstring name = OutputWaveName(basePath, partnerList);
  std::wstring stem = name.substr(0, name.size() - 4);  // without ".wav"
  if (!AnyRecordingFile(stem)) return name;
  for (int n = 2;; ++n) {
    std::wstring candidate = Numbered(stem, n);
    if (!AnyRecordingFile(candidate)) return candidate + L".wav";
  }
}

std::wstring FreeBasePath(std::wstring_view basePath) {
  auto taken = [](const std::wstring& base) {
    return PathExists(StreamFileName(base, Direction::Out)) || PathExists(StreamFileName(base, Direction::In));
  };
  std::wstring base(basePath);
  for (int n = 2; taken(base); ++n) base = Numbered(basePath, n);
  return base;
}
