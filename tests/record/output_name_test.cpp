#include <gtest/gtest.h>

#include "platform/file.h"
#include "record/output_name.h"
#include "tests/support/temp_dir.h"

TEST(OutputWaveName, PartnersInParenthesesAndTheFallbackAt260) {
  EXPECT_EQ(OutputWaveName(L"D:\\Rec\\2011-03-07 09h05m02s", L"alice bob"),
            L"D:\\Rec\\2011-03-07 09h05m02s(alice bob).wav");
  EXPECT_EQ(OutputWaveName(L"D:\\Rec\\x", L""), L"D:\\Rec\\x().wav");
  // base + "(" + list + ").wav": 259 characters is used, 260 is not.
  std::wstring base(200, L'b');
  std::wstring list53(53, L'p');
  EXPECT_EQ(OutputWaveName(base, list53).size(), 259u);
  EXPECT_EQ(OutputWaveName(base, list53 + L"p"), base + L".wav");
}

TEST(FreeNames, ARecordingOfTheSameNameIsNeverReplaced) {
  TempDir dir;
  std::wstring base = dir.file(L"2011-03-07 09h05m02s");
  EXPECT_EQ(FreeOutputWaveName(base, L"kate"), base + L"(kate).wav");
  ASSERT_TRUE(WriteFileBytes(base + L"(kate).wav", "first"));
  EXPECT_EQ(FreeOutputWaveName(base, L"kate"), base + L"(kate) (2).wav");
  // Only the encoded file of an earlier recording is left: its name is taken
  // all the same, or the encoder would replace it.
  ASSERT_TRUE(WriteFileBytes(base + L"(kate) (2).mp3", "second"));
  EXPECT_EQ(FreeOutputWaveName(base, L"kate"), base + L"(kate) (3).wav");
  for (const wchar_t* extension : {L".ogg", L".flac", L".wma"}) {
    ASSERT_TRUE(WriteFileBytes(dir.file(L"y()") + extension, "z"));
    EXPECT_EQ(FreeOutputWaveName(dir.file(L"y"), L""), dir.file(L"y() (2).wav")) << extension;
    ASSERT_TRUE(RemoveFile(dir.file(L"y()") + extension));
  }
  // Other partners are another name.
  EXPECT_EQ(FreeOutputWaveName(base, L"liam"), base + L"(liam).wav");
}

TEST(FreeNames, AStartInTheSecondOfAnotherGetsItsOwnStreamFiles) {
  TempDir dir;
  std::wstring base = dir.file(L"2011-03-07 09h05m02s");
  EXPECT_EQ(FreeBasePath(base), base);
  // Stream files kept by a failed mix, one direction is enough.
  ASSERT_TRUE(WriteFileBytes(base + L"_In.sky", "kept"));
  EXPECT_EQ(FreeBasePath(base), base + L" (2)");
  ASSERT_TRUE(WriteFileBytes(base + L" (2)_Out.sky", "kept"));
  EXPECT_EQ(FreeBasePath(base), base + L" (3)");
  // A finished recording of the base path is no reason: its name is chosen
  // free at the end.
  ASSERT_TRUE(WriteFileBytes(base + L" (3)().wav", "done"));
  EXPECT_EQ(FreeBasePath(base), base + L" (3)");
}
