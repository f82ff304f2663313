// The formatter fills translators' texts; these cases feed it what a careless or
// hostile text may hold.
#include <gtest/gtest.h>

#include "common/text_format.h"

TEST(FormatText, FillsTextsAndNumbersInOrder) {
  EXPECT_EQ(FormatText(L"Connected as %s", {L"alice"}), L"Connected as alice");
  EXPECT_EQ(FormatText(L"%s, free %s", {L"C:\\Rec", L"1.00 GB"}), L"C:\\Rec, free 1.00 GB");
  EXPECT_EQ(FormatText(L"%ld", {-42L}), L"-42");
  EXPECT_EQ(FormatText(L"Code %u", {10065u}), L"Code 10065");
  EXPECT_EQ(FormatText(L"%02d:%02d:%02d", {100, 0, 7}), L"100:00:07");
  EXPECT_EQ(FormatText(L"%.2f GB", {1.0}), L"1.00 GB");
  EXPECT_EQ(FormatText(L"%.2f KB", {1023.0}), L"1023.00 KB");
  EXPECT_EQ(FormatText(L"%d MB", {1023}), L"1023 MB");
}

TEST(FormatText, RecordFileNamePattern) {
  EXPECT_EQ(FormatText(L"%s\\%d%s%02d%s%02d%s %02d%s%02d%s%02d%s",
                       {L"D:\\Rec", 2011, L"-", 3, L"-", 7, L"", 9, L"h", 5, L"m", 2, L"s"}),
            L"D:\\Rec\\2011-03-07 09h05m02s");
}

TEST(FormatText, WidthPrecisionAndFlags) {
  EXPECT_EQ(FormatText(L"[%5s]", {L"ab"}), L"[   ab]");
  EXPECT_EQ(FormatText(L"[%-5s]", {L"ab"}), L"[ab   ]");
  EXPECT_EQ(FormatText(L"[%.2s]", {L"abcdef"}), L"[ab]");
  EXPECT_EQ(FormatText(L"[%05d]", {-42}), L"[-0042]");
  EXPECT_EQ(FormatText(L"[%+d]", {5}), L"[+5]");
  EXPECT_EQ(FormatText(L"[%x|%X]", {255, 255}), L"[ff|FF]");
  EXPECT_EQ(FormatText(L"[%u]", {-1}), L"[4294967295]");
  EXPECT_EQ(FormatText(L"100%%", {}), L"100%");
}

TEST(FormatText, HostileTextsAreShownLiterally) {
  // %n would write through a pointer in printf; here it is only text.
  EXPECT_EQ(FormatText(L"abc%n%s", {L"x"}), L"abc%nx");
  // More placeholders than arguments: the extra ones stay as written.
  EXPECT_EQ(FormatText(L"%s and %s and %s", {L"one"}), L"one and %s and %s");
  // No placeholder for an argument: the argument is simply not shown.
  EXPECT_EQ(FormatText(L"Recording", {L"alice", 3}), L"Recording");
  // A conversion whose argument has another type is not filled.
  EXPECT_EQ(FormatText(L"%d calls with %s", {L"bob"}), L"%d calls with bob");
  EXPECT_EQ(FormatText(L"%s", {7}), L"%s");
  // Unknown conversions, pointers and a lone percent sign at the end.
  EXPECT_EQ(FormatText(L"%p %c %lc %q 50%", {L"a"}), L"%p %c %lc %q 50%");
  EXPECT_EQ(FormatText(L"%", {}), L"%");
  EXPECT_EQ(FormatText(L"%-", {L"a"}), L"%-");
  EXPECT_EQ(FormatText(L"%*d", {5}), L"%*d");
  EXPECT_EQ(FormatText(L"%1$s", {L"a"}), L"%1$s");
}

TEST(FormatText, HugeWidthsAreBounded) {
  std::wstring out = FormatText(L"%999999999999s|%.999999999f", {L"x", 1.5});
  ASSERT_LT(out.size(), 3u * kMaxFormatWidth);
  EXPECT_EQ(out.substr(kMaxFormatWidth - 1, 2), L"x|");
  std::wstring padded = FormatText(L"%2000d", {1});
  EXPECT_EQ(padded.size(), static_cast<size_t>(kMaxFormatWidth));
}

TEST(FormatText, TextsWithZerosAndNonAsciiPassThrough) {
  std::wstring withZero(L"a\0b", 3);
  EXPECT_EQ(FormatText(withZero, {}), withZero);
  EXPECT_EQ(FormatText(L"正在录音：%s", {L"张三"}), L"正在录音：张三");
}
