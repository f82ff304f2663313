// The INI service for the native build, written to behave as the Windows one
// does for everything the recorder relies on (see platform/ini.h).

#include <cwctype>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "common/strings.h"
#include "platform/ini.h"
#include "platform/paths_posix.h"

namespace {

enum class Encoding { Ansi, Utf8Bom, Utf16LE };

struct IniDocument {
  Encoding encoding = Encoding::Ansi;
  std::vector<std::wstring> lines;
};

std::mutex iniMutex;  // the platform serialises profile access as well

std::optional<IniDocument> Load(std::wstring_view path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  IniDocument doc;
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    doc.encoding = Encoding::Utf16LE;
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    for (size_t i = 0; i < units.size(); ++i) {
      uint32_t c = units[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
          units[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      }
      text.push_back(static_cast<wchar_t>(c));
    }
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    doc.encoding = Encoding::Utf8Bom;
    text = WideFromUtf8(std::string_view(bytes).substr(3));
  } else {
    text = WideFromUtf8(bytes);
  }
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (end == std::wstring::npos) {
      if (!line.empty()) doc.lines.push_back(line);
      break;
    }
    doc.lines.push_back(line);
    start = end + 1;
  }
  return doc;
}

bool Save(std::wstring_view path, const IniDocument& doc) {
  std::wstring text;
  for (const std::wstring& line : doc.lines) {
    text += line;
    text += L"\r\n";
  }
  std::string bytes;
  if (doc.encoding == Encoding::Utf16LE) {
    bytes = "\xFF\xFE";
    for (wchar_t wc : text) {
      uint32_t c = static_cast<uint32_t>(wc);
      auto put = [&bytes](uint32_t u) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>((u >> 8) & 0xFF));
      };
      if (c >= 0x10000) {
        c -= 0x10000;
        put(0xD800 + (c >> 10));
        put(0xDC00 + (c & 0x3FF));
      } else {
        put(c);
      }
    }
  } else {
    if (doc.encoding == Encoding::Utf8Bom) bytes = "\xEF\xBB\xBF";
    bytes += Utf8FromWide(text);
  }
  std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  return true;
}

// A section header line gives its name.
bool SectionName(std::wstring_view line, std::wstring_view& name) {
  std::wstring_view t = Trim(line);
  if (t.empty() || t.front() != L'[') return false;
  size_t close = t.find(L']');
  if (close == std::wstring_view::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// A key line gives its name and value.
bool KeyLine(std::wstring_view line, std::wstring_view& name, std::wstring_view& value) {
  std::wstring_view t = Trim(line);
  size_t eq = t.find(L'=');
  if (eq == std::wstring_view::npos) return false;
  name = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

// Finds the section's header line; lines.size() when there is none.
size_t FindSection(const IniDocument& doc, std::wstring_view section) {
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    std::wstring_view name;
    if (SectionName(doc.lines[i], name) && SameName(name, section)) return i;
  }
  return doc.lines.size();
}

}  // namespace

std::wstring IniReadString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                           size_t maxChars) {
  std::lock_guard<std::mutex> lock(iniMutex);
  std::optional<IniDocument> doc = Load(path);
  if (!doc) return std::wstring();
  size_t header = FindSection(*doc, section);
  for (size_t i = header + 1; i < doc->lines.size(); ++i) {
    std::wstring_view name, value;
    if (SectionName(doc->lines[i], name)) break;
    if (!KeyLine(doc->lines[i], name, value) || !SameName(name, key)) continue;
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::wstring(value.substr(0, maxChars));
  }
  return std::wstring();
}

bool IniWriteString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value) {
  std::lock_guard<std::mutex> lock(iniMutex);
  IniDocument doc = Load(path).value_or(IniDocument());
  std::wstring line = std::wstring(key) + L"=" + std::wstring(value);
  size_t header = FindSection(doc, section);
  if (header == doc.lines.size()) {
    if (!doc.lines.empty() && !Trim(doc.lines.back()).empty()) doc.lines.emplace_back();
    doc.lines.push_back(L"[" + std::wstring(section) + L"]");
    doc.lines.push_back(line);
    return Save(path, doc);
  }
  size_t lastKey = header;
  for (size_t i = header + 1; i < doc.lines.size(); ++i) {
    std::wstring_view name, current;
    if (SectionName(doc.lines[i], name)) break;
    if (!Trim(doc.lines[i]).empty()) lastKey = i;
    if (KeyLine(doc.lines[i], name, current) && SameName(name, key)) {
      doc.lines[i] = line;
      return Save(path, doc);
    }
  }
  doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(lastKey + 1), line);
  return Save(path, doc);
}
