#include "record/recording_name.h"

#include <utility>

#include "formats/audio_format.h"

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// What a date label may hold: anything but digits (they would run into the
// numbers), parentheses (they open the partners) and separators.
bool IsLabelChar(wchar_t c) { return !IsDigit(c) && c != L'(' && c != L')' && c != L'\\' && c != L'/'; }

// Reads "digits" exactly `count` long at `at`.
bool ReadNumber(std::wstring_view s, size_t& at, size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    wchar_t c = s[at + i];
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - L'0');
  }
  at += count;
  return true;
}

size_t LabelEnd(std::wstring_view s, size_t at) {
  while (at < s.size() && IsLabelChar(s[at])) ++at;
  return at;
}

// The base "<Y><L>MM<L>DD<L> hh<L>mm<L>ss<L>" with a year of `yearDigits`
// digits; `end` receives where the tail (variants, partners) starts.
bool MatchBase(std::wstring_view s, size_t yearDigits, RecordingName& name, size_t& end) {
  size_t at = 0;
  int* fields[] = {&name.year, &name.month, &name.day, &name.hour, &name.minute, &name.second};
  for (int i = 0; i < 6; ++i) {
    if (!ReadNumber(s, at, i == 0 ? yearDigits : 2, *fields[i])) return false;
    size_t labelEnd = LabelEnd(s, at);
    if (i == 2) {
      // The day's label is followed by the one space between date and time.
      if (labelEnd == at || s[labelEnd - 1] != L' ') return false;
    }
    if (i < 5) {
      // A label ends where the next number starts.
      if (labelEnd < s.size() && !IsDigit(s[labelEnd])) return false;
    } else {
      // " (N)" and " (recovered)" begin with a space of their own.
      if (labelEnd > at && labelEnd < s.size() && s[labelEnd - 1] == L' ') --labelEnd;
      // No language's seconds label holds a space: what follows one is a
      // name the user made ("... - Copy").
      if (s.substr(at, labelEnd - at).find(L' ') != std::wstring_view::npos) return false;
    }
    at = labelEnd;
  }
  end = at;
  return true;
}

// " (N)" at `at` with N from 2 on (the first free number); `after` is past it.
bool ReadCopyNumber(std::wstring_view s, size_t at, int& number, size_t& after) {
  if (s.substr(at, 2) != L" (") return false;
  size_t p = at + 2, digits = 0;
  long long value = 0;
  while (p < s.size() && IsDigit(s[p]) && digits < 9) {
    value = value * 10 + (s[p] - L'0');
    ++p;
    ++digits;
  }
  if (digits == 0 || p >= s.size() || s[p] != L')' || s[at + 2] == L'0' || value < 2) return false;
  number = static_cast<int>(value);
  after = p + 1;
  return true;
}

bool ParseStem(std::wstring_view stem, RecordingName& name) {
  size_t tail = 0;
  bool matched = false;
  for (size_t yearDigits = 4; yearDigits >= 1 && !matched; --yearDigits) {
    name = RecordingName();
    matched = MatchBase(stem, yearDigits, name, tail);
  }
  if (!matched) return false;
  if (name.year < 1 || name.month < 1 || name.month > 12 || name.day < 1 || name.day > 31 || name.hour > 23 ||
      name.minute > 59 || name.second > 59)
    return false;

  std::wstring_view rest = stem.substr(tail);
  static constexpr std::wstring_view kRecovered = L" (recovered)";
  size_t after = 0;
  if (rest.substr(0, kRecovered.size()) == kRecovered) {
    name.recovered = true;
    rest.remove_prefix(kRecovered.size());
  } else if (ReadCopyNumber(rest, 0, name.number, after)) {
    rest.remove_prefix(after);
  }
  if (rest.empty()) return true;
  if (rest.front() != L'(') return false;
  // "(<partners>) (N)": a name that was taken. Partners of their own that end
  // in "(N)" end in "))" and are not taken for it.
  size_t open = rest.rfind(L" (");
  int number = 0;
  if (open != std::wstring_view::npos && open > 0 && rest[open - 1] == L')' &&
      ReadCopyNumber(rest, open, number, after) && after == rest.size()) {
    name.number = number;
    rest = rest.substr(0, open);
  }
  if (rest.size() < 2 || rest.back() != L')') return false;
  name.partners.assign(rest.substr(1, rest.size() - 2));
  name.hasPartners = true;
  return true;
}

}  // namespace

bool ParseRecordingName(std::wstring_view fileName, RecordingName& name, uint8_t* format) {
  size_t dot = fileName.rfind(L'.');
  if (dot == std::wstring_view::npos) return false;
  uint8_t bit = FormatOfExtension(fileName.substr(dot + 1));
  if (bit == 0) return false;
  RecordingName parsed;
  if (!ParseStem(fileName.substr(0, dot), parsed)) return false;
  name = std::move(parsed);
  if (format) *format = bit;
  return true;
}
