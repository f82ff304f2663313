#include "record/output_name.h"

#include "common/text_format.h"
#include "platform/paths.h"

std::wstring StreamFileName(const std::wstring& basePath, Direction direction) {
  return FormatText(StreamFileFormat(direction), {basePath});
}

std::wstring FileNameSafeText(std::wstring_view text) {
  std::wstring safe(text);
  for (wchar_t& c : safe) {
    if (c < 0x20 || c == 0x7F || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'_';
  }
  return safe;
}

std::wstring BuildPartnerList(const PartnerTable& finished, const PartnerTable& live) {
  std::wstring list;
  for (size_t i = 0; i < kPartnerSlots; ++i) {
    std::wstring name = finished.Get(i);
    if (name.empty()) name = live.Get(i);
    if (name.empty()) break;
    list += FileNameSafeText(name);
    list += L' ';
  }
  if (!list.empty()) list.pop_back();
  return list;
}

std::wstring BuildPartnerList() {
  // While a call is in progress the recording is named after the calls it is
  // recording: the saved copy still names the last recording's partners.
  // Once the last call has ended, the saved copy names them.
  static const PartnerTable none;
  if (activeCallCount.load() > 0) return BuildPartnerList(none, callPartners);
  return BuildPartnerList(finishedCallPartners, callPartners);
}

std::wstring OutputWaveName(std::wstring_view basePath, std::wstring_view partnerList) {
  std::wstring name = FormatText(L"%s(%s).wav", {basePath, partnerList});
  if (name.size() >= kOutputNameLimit) name = FormatText(L"%s.wav", {basePath});
  return name;
}

namespace {

// What the recording may leave under a name without its extension.
bool AnyRecordingFile(const std::wstring& stem) {
  for (const wchar_t* extension : {L".wav", L".mp3", L".ogg", L".flac", L".wma"}) {
    if (PathExists(stem + extension)) return true;
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
