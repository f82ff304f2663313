#include "common/strings.h"

#include <climits>

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendWide(std::wstring& out, uint32_t cp) {
  if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(cp));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

std::string Utf8FromWide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      uint32_t d = static_cast<uint32_t>(text[i + 1]);
      if (d >= 0xDC00 && d <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
        ++i;
        continue;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring WideFromUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    uint32_t cp;
    size_t extra;
    if (b < 0x80) { cp = b; extra = 0; }
    else if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; extra = 3; }
    else { AppendWide(out, kReplacement); ++i; continue; }
    size_t j = 1;
    bool ok = true;
    for (; j <= extra; ++j) {
      if (i + j >= bytes.size()) { ok = false; break; }
      unsigned char cb = static_cast<unsigned char>(bytes[i + j]);
      if ((cb & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cb & 0x3F);
    }
    if (!ok) {
      AppendWide(out, kReplacement);
      i += j;  // skip the lead byte and the valid continuation bytes seen
      continue;
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    AppendWide(out, cp);
    i += extra + 1;
  }
  return out;
}

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  return true;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

int32_t ParseDecimalInt(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  return static_cast<int32_t>(value);
}

std::wstring CutToSlot(std::wstring_view text, size_t units) {
  if (units == 0) return std::wstring();
  size_t keep = text.size() < units - 1 ? text.size() : units - 1;
  // A zero inside the text ends it, as in a zero-terminated slot.
  size_t zero = text.substr(0, keep).find(L'\0');
  if (zero != std::wstring_view::npos) keep = zero;
  return std::wstring(text.substr(0, keep));
}

std::wstring FileNameSafeText(std::wstring_view text) {
  std::wstring safe(text);
  for (wchar_t& c : safe) {
    if (c < 0x20 || c == 0x7F || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'_';
  }
  return safe;
}
