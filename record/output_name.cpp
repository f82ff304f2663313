#include "record/output_name.h"

#include "common/text_format.h"

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

std::wstring BuildPartnerList() { return BuildPartnerList(finishedCallPartners, callPartners); }

std::wstring OutputWaveName(std::wstring_view basePath, std::wstring_view partnerList) {
  std::wstring name = FormatText(L"%s(%s).wav", {basePath, partnerList});
  if (name.size() >= kOutputNameLimit) name = FormatText(L"%s.wav", {basePath});
  return name;
}
