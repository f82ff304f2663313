#include <gtest/gtest.h>

#include "platform/file.h"
#include "record/output_name.h"
#include "tests/support/temp_dir.h"

TEST(PartnerList, FinishedHandlesComeFirstSlotBySlotAndTheListEndsAtAGap) {
  PartnerTable finished, live;
  EXPECT_EQ(BuildPartnerList(finished, live), L"");
  finished.Set(0, L"alice");
  live.Set(0, L"ignored");
  live.Set(1, L"bob");
  finished.Set(2, L"carol");
  live.Set(4, L"after the gap");
  EXPECT_EQ(BuildPartnerList(finished, live), L"alice bob carol");
}

// A recording stopped (Stop, exit) in the middle of a call after an earlier
// call: the saved copy still holds the earlier call's partner.
TEST(PartnerList, WhileACallIsInProgressTheLiveTableNamesTheRecording) {
  finishedCallPartners.Set(0, L"earlier");
  callPartners.Set(0, L"now");
  activeCallCount = 1;
  EXPECT_EQ(BuildPartnerList(), L"now");
  // The last call ended: the saved copy names it.
  SaveAndClearCallPartners();
  activeCallCount = 0;
  EXPECT_EQ(BuildPartnerList(), L"now");
  finishedCallPartners.Clear();
}

TEST(PartnerList, AFullTableIsListed) {
  PartnerTable finished, live;
  for (size_t i = 0; i < kPartnerSlots; ++i) live.Set(i, L"p");
  std::wstring list = BuildPartnerList(finished, live);
  EXPECT_EQ(list.size(), 2 * kPartnerSlots - 1);
  EXPECT_EQ(list.back(), L'p');
}

TEST(PartnerList, HandlesThatCannotStandInAFileNameAreMadeSafe) {
  PartnerTable finished, live;
  finished.Set(0, L"live:alice");
  finished.Set(1, L"..\\..\\evil");
  finished.Set(2, L"a/b*c?d\"e<f>g|h");
  finished.Set(3, std::wstring(L"tab\there\x01"));
  finished.Set(4, L"z\u00e9\u4e2d");  // letters beyond ASCII are fine
  EXPECT_EQ(BuildPartnerList(finished, live), L"live_alice .._.._evil a_b_c_d_e_f_g_h tab_here_ z\u00e9\u4e2d");
}

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
