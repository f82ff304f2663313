#include <gtest/gtest.h>

#include "common/strings.h"

TEST(Utf8, RoundTripsEveryPlane) {
  std::wstring text = L"ASCII é 录音 ";
  text += static_cast<wchar_t>(0x20AC);
  std::string bytes = Utf8FromWide(text);
  EXPECT_EQ(WideFromUtf8(bytes), text);
  EXPECT_EQ(Utf8FromWide(L"FOCUS"), "FOCUS");
  EXPECT_EQ(Utf8FromWide(L"录"), "\xE5\xBD\x95");
}

TEST(Utf8, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(WideFromUtf8("a\xFF" "b"), std::wstring(L"a\xFFFD" L"b"));
  EXPECT_EQ(WideFromUtf8("\xE5\xBD"), std::wstring(L"\xFFFD"));           // cut short
  EXPECT_EQ(WideFromUtf8("\xC0\x80"), std::wstring(L"\xFFFD"));           // overlong zero
  EXPECT_EQ(WideFromUtf8("\xED\xA0\x80"), std::wstring(L"\xFFFD"));       // surrogate
}

TEST(NoCase, PrefixesIgnoreAsciiCaseOnly) {
  EXPECT_TRUE(StartsWithNoCase(L"chatmessage 12 STATUS", L"CHATMESSAGE "));
  EXPECT_FALSE(StartsWithNoCase(L"CALL", L"CALL "));
  EXPECT_TRUE(EqualsNoCase(L"loggedout", L"LOGGEDOUT"));
  EXPECT_FALSE(EqualsNoCase(L"LOGGEDOUT ", L"LOGGEDOUT"));
}

TEST(ParseDecimalInt, BehavesAsAtoi) {
  EXPECT_EQ(ParseDecimalInt(L" 1"), 1);
  EXPECT_EQ(ParseDecimalInt(L"abc"), 0);
  EXPECT_EQ(ParseDecimalInt(L"-1"), -1);
  EXPECT_EQ(ParseDecimalInt(L"+17x"), 17);
  EXPECT_EQ(ParseDecimalInt(L""), 0);
  EXPECT_EQ(ParseDecimalInt(L"-"), 0);
  EXPECT_EQ(ParseDecimalInt(L"99999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseDecimalInt(L"-99999999999999999999"), INT32_MIN);
}

TEST(CutToSlot, KeepsAtMostUnitsMinusOne) {
  EXPECT_EQ(CutToSlot(std::wstring(400, L'a'), 300).size(), 299u);
  EXPECT_EQ(CutToSlot(L"abc", 300), L"abc");
  EXPECT_EQ(CutToSlot(std::wstring(L"ab\0cd", 5), 300), L"ab");
}
