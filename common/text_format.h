// Safe printf-style formatting of wide texts.
//
// Several texts of the recorder are formats that come from Language.ini: a
// translator's text is data, not code. FormatText therefore never hands a text to
// the C library's printf family. It fills in the arguments the caller passes, in
// order, for the conversions that fit them (%s for a text, %d %i %u %x for a
// number, %f for a real number, with flags, width and precision), and copies
// everything else literally: a stray "%n", a "%s" with no argument left, or a
// conversion whose argument has another type is shown as written. Widths and
// precisions are bounded, so no text can make it allocate without limit.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class FormatArg {
 public:
  enum class Kind { Text, Signed, Unsigned, Real };

  FormatArg(const wchar_t* text) : kind_(Kind::Text), text_(text ? text : L"") {}
  FormatArg(const std::wstring& text) : kind_(Kind::Text), text_(text) {}
  FormatArg(std::wstring_view text) : kind_(Kind::Text), text_(text) {}
  FormatArg(int value) : kind_(Kind::Signed), signed_(value) {}
  FormatArg(long value) : kind_(Kind::Signed), signed_(value) {}
  FormatArg(long long value) : kind_(Kind::Signed), signed_(value) {}
  FormatArg(unsigned value) : kind_(Kind::Unsigned), unsigned_(value) {}
  FormatArg(unsigned long value) : kind_(Kind::Unsigned), unsigned_(value) {}
  FormatArg(unsigned long long value) : kind_(Kind::Unsigned), unsigned_(value) {}
  FormatArg(double value) : kind_(Kind::Real), real_(value) {}

  Kind kind() const { return kind_; }
  std::wstring_view text() const { return text_; }
  int64_t asSigned() const { return kind_ == Kind::Signed ? signed_ : static_cast<int64_t>(unsigned_); }
  uint64_t asUnsigned() const { return kind_ == Kind::Unsigned ? unsigned_ : static_cast<uint64_t>(signed_); }
  double asReal() const;

 private:
  Kind kind_;
  std::wstring_view text_;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
  double real_ = 0;
};

// The largest width or precision that a conversion may ask for; larger values are
// cut to it.
constexpr int kMaxFormatWidth = 1024;

std::wstring FormatText(std::wstring_view format, std::initializer_list<FormatArg> args = {});
