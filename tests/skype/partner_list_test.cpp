// The list of partners that names a recording.
#include <gtest/gtest.h>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"

namespace {
class NoEvents : public SkypeEvents {
 public:
  void OnClientStateChanged() override {}
  void OnCallStarted() override {}
  void OnCallEnded() override {}
  void OnPartnerKnown() override {}
};
}  // namespace

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
  SettingsStore settings;
  NoEvents events;
  CallStateMachine calls(settings, events);
  calls.finishedCallPartners.Set(0, L"earlier");
  calls.callPartners.Set(0, L"now");
  calls.activeCallCount = 1;
  EXPECT_EQ(calls.PartnerList(), L"now");
  // The last call ended: the saved copy names it.
  calls.SaveAndClearCallPartners();
  calls.activeCallCount = 0;
  EXPECT_EQ(calls.PartnerList(), L"now");
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

// What the status line and the tray name a recording after: three names, then
// dots for more; the table saved at the calls' end fills the gaps of the live
// one where asked.
TEST(PartnerList, TheStatusLineShowsThreeNamesThenDotsAndTheBalloonFallsBackToTheSavedTable) {
  SettingsStore settings;
  NoEvents events;
  CallStateMachine calls(settings, events);
  EXPECT_EQ(StatusPartnerList(calls, false), L"");
  calls.callPartners.Set(0, L"alice");
  calls.callPartners.Set(1, L"bob");
  calls.callPartners.Set(2, L"carol");
  EXPECT_EQ(StatusPartnerList(calls, false), L"alice bob carol ");
  calls.callPartners.Set(3, L"dave");
  EXPECT_EQ(StatusPartnerList(calls, false), L"alice bob carol ......");
  calls.callPartners.Set(1, L"");
  EXPECT_EQ(StatusPartnerList(calls, false), L"alice ");

  calls.callPartners.Clear();
  calls.finishedCallPartners.Set(0, L"alice");
  calls.finishedCallPartners.Set(1, L"bob");
  EXPECT_EQ(StatusPartnerList(calls, false), L"");
  EXPECT_EQ(StatusPartnerList(calls, true), L"alice bob ");
  calls.callPartners.Set(0, L"zoe");
  EXPECT_EQ(StatusPartnerList(calls, true), L"zoe bob ");
}
