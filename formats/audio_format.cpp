#include "formats/audio_format.h"

#include "common/strings.h"

const wchar_t* FormatExtension(uint8_t format) {
  for (const AudioFormatName& known : kAudioFormats)
    if (known.bit == format) return known.extension;
  return L"";
}

uint8_t FormatOfExtension(std::wstring_view extension) {
  for (const AudioFormatName& known : kAudioFormats)
    if (EqualsNoCase(extension, known.extension)) return known.bit;
  return 0;
}

uint8_t FormatOfFileName(std::wstring_view path) {
  const size_t dot = path.find_last_of(L'.');
  const size_t separator = path.find_last_of(L"/\\");
  if (dot == std::wstring_view::npos || (separator != std::wstring_view::npos && separator > dot)) return 0;
  return FormatOfExtension(path.substr(dot + 1));
}

std::wstring EncodedFileName(const std::wstring& wavName, uint8_t format) {
  return wavName.substr(0, wavName.size() >= 3 ? wavName.size() - 3 : 0) + FormatExtension(format);
}
