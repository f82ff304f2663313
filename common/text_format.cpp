#include "common/text_format.h"

#include <cstdio>

double FormatArg::asReal() const {
  switch (kind_) {
    case Kind::Real: return real_;
    case Kind::Signed: return static_cast<double>(signed_);
    case Kind::Unsigned: return static_cast<double>(unsigned_);
    default: return 0;
  }
}

namespace {

struct Conversion {
  bool left = false, plus = false, space = false, zero = false;
  int width = -1;
  int precision = -1;
  wchar_t conversion = 0;
};

// Reads a run of decimal digits, bounded to kMaxFormatWidth.
int ReadBoundedNumber(std::wstring_view s, size_t& i) {
  int value = 0;
  while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
    value = value * 10 + (s[i] - L'0');
    if (value > kMaxFormatWidth) value = kMaxFormatWidth;
    ++i;
  }
  return value;
}

// Parses the conversion that starts at format[start] == '%'. Returns the index
// after it, or 0 when the text is not a conversion this formatter knows.
size_t ParseConversion(std::wstring_view f, size_t start, Conversion& conv) {
  size_t i = start + 1;
  for (; i < f.size(); ++i) {
    wchar_t c = f[i];
    if (c == L'-') conv.left = true;
    else if (c == L'+') conv.plus = true;
    else if (c == L' ') conv.space = true;
    else if (c == L'0') conv.zero = true;
    else if (c == L'#') continue;
    else break;
  }
  if (i < f.size() && f[i] >= L'1' && f[i] <= L'9') conv.width = ReadBoundedNumber(f, i);
  if (i < f.size() && f[i] == L'.') {
    ++i;
    conv.precision = ReadBoundedNumber(f, i);
  }
  // Length modifiers carry no meaning here: the argument says what it is.
  while (i < f.size() && (f[i] == L'l' || f[i] == L'h' || f[i] == L'z' || f[i] == L'j' || f[i] == L'L'))
    ++i;
  if (i >= f.size()) return 0;
  wchar_t c = f[i];
  switch (c) {
    case L's': case L'S': case L'd': case L'i': case L'u': case L'x': case L'X': case L'f': case L'F':
      conv.conversion = c;
      return i + 1;
    default:
      return 0;
  }
}

bool Fits(const Conversion& conv, const FormatArg& arg) {
  switch (conv.conversion) {
    case L's': case L'S': return arg.kind() == FormatArg::Kind::Text;
    case L'd': case L'i': case L'u': case L'x': case L'X':
      return arg.kind() == FormatArg::Kind::Signed || arg.kind() == FormatArg::Kind::Unsigned;
    case L'f': case L'F': return arg.kind() != FormatArg::Kind::Text;
    default: return false;
  }
}

void Pad(std::wstring& out, const Conversion& conv, std::wstring_view sign, std::wstring_view body, bool numeric) {
  size_t len = sign.size() + body.size();
  size_t width = conv.width > 0 ? static_cast<size_t>(conv.width) : 0;
  size_t fill = width > len ? width - len : 0;
  if (conv.left) {
    out.append(sign);
    out.append(body);
    out.append(fill, L' ');
  } else if (conv.zero && numeric) {
    out.append(sign);
    out.append(fill, L'0');
    out.append(body);
  } else {
    out.append(fill, L' ');
    out.append(sign);
    out.append(body);
  }
}

void Convert(std::wstring& out, const Conversion& conv, const FormatArg& arg) {
  switch (conv.conversion) {
    case L's': case L'S': {
      std::wstring_view text = arg.text();
      if (conv.precision >= 0 && text.size() > static_cast<size_t>(conv.precision))
        text = text.substr(0, conv.precision);
      Pad(out, conv, L"", text, false);
      return;
    }
    case L'd': case L'i': case L'u': case L'x': case L'X': {
      bool negative = false;
      uint64_t magnitude;
      if (conv.conversion == L'd' || conv.conversion == L'i') {
        int64_t v = arg.asSigned();
        negative = v < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      } else {
        magnitude = arg.asUnsigned();
        // A negative int given to %u or %x prints as the 32-bit word it is.
        if (arg.kind() == FormatArg::Kind::Signed && arg.asSigned() < 0 && arg.asSigned() >= INT32_MIN)
          magnitude &= 0xFFFFFFFFu;
      }
      unsigned base = (conv.conversion == L'x' || conv.conversion == L'X') ? 16 : 10;
      const wchar_t* digits = conv.conversion == L'X' ? L"0123456789ABCDEF" : L"0123456789abcdef";
      std::wstring body;
      do {
        body.insert(body.begin(), digits[magnitude % base]);
        magnitude /= base;
      } while (magnitude != 0);
      if (conv.precision >= 0 && body.size() < static_cast<size_t>(conv.precision))
        body.insert(body.begin(), conv.precision - body.size(), L'0');
      std::wstring_view sign = negative ? L"-" : conv.plus ? L"+" : conv.space ? L" " : L"";
      Conversion padding = conv;
      if (conv.precision >= 0) padding.zero = false;
      Pad(out, padding, sign, body, true);
      return;
    }
    case L'f': case L'F': {
      double v = arg.asReal();
      int precision = conv.precision >= 0 ? conv.precision : 6;
      if (precision > 64) precision = 64;
      char buffer[512];
      int n = std::snprintf(buffer, sizeof buffer, "%.*f", precision, v < 0 ? -v : v);
      if (n < 0) n = 0;
      if (n >= static_cast<int>(sizeof buffer)) n = sizeof buffer - 1;
      std::wstring body(buffer, buffer + n);
      bool negative = v < 0;
      std::wstring_view sign = negative ? L"-" : conv.plus ? L"+" : conv.space ? L" " : L"";
      Pad(out, conv, sign, body, true);
      return;
    }
    default:
      return;
  }
}

}  // namespace

std::wstring FormatText(std::wstring_view format, std::initializer_list<FormatArg> args) {
  std::wstring out;
  out.reserve(format.size() + 32);
  const FormatArg* next = args.begin();
  size_t i = 0;
  while (i < format.size()) {
    wchar_t c = format[i];
    if (c != L'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == L'%') {
      out.push_back(L'%');
      i += 2;
      continue;
    }
    Conversion conv;
    size_t end = ParseConversion(format, i, conv);
    if (end != 0 && next != args.end() && Fits(conv, *next)) {
      Convert(out, conv, *next);
      ++next;
      i = end;
      continue;
    }
    // Not a conversion we fill: copy the '%' and go on with the text after it.
    out.push_back(L'%');
    ++i;
  }
  return out;
}
