// The call state machine: exact sequences of commands to the client and
// messages to the main window, overlapping calls, the partner slots and the
// bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/main_window.h"
#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/skype_link.h"
#include "skype/skype_messages.h"
#include "tests/skype/link_recorder.h"
#include "tests/support/capture.h"

using Events = std::vector<std::wstring>;

namespace {

const wchar_t kOutput[] = L"> ALTER CALL %d SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"";
const wchar_t kMic[] = L"> ALTER CALL %d SET_CAPTURE_MIC port=\"7285\"";

std::wstring Output(int id) {
  std::wstring s = kOutput;
  return s.replace(s.find(L"%d"), 2, std::to_wstring(id));
}
std::wstring Mic(int id) {
  std::wstring s = kMic;
  return s.replace(s.find(L"%d"), 2, std::to_wstring(id));
}
std::wstring Partner(int id) { return L"> GET CALL " + std::to_wstring(id) + L" PARTNER_HANDLE"; }

Events Started(int id, std::initializer_list<std::wstring> after) {
  Events e{Partner(id), L"STARTED", L"STARTED", L"STARTED"};
  e.insert(e.end(), after);
  return e;
}
const Events kEnded{L"ENDED", L"ENDED", L"ENDED"};

// What the message thread does with a notification.
void Notify(const std::wstring& text) { ParseMessageFromSkype(text); }

// Waits until the posted partner message has been handled as well.
void NotifyPartner(LinkRecorder& recorder, const std::wstring& text) {
  size_t before = recorder.events().size();
  Notify(text);
  ASSERT_TRUE(recorder.waitForEvents(before + 1));
}

}  // namespace

TEST(CallInProgress, ANewCallAsksForPartnerTellsTheMainWindowThenAsksForAudio) {
  LinkRecorder recorder;
  Settings.Change([&](SettingsRecord& s) { s.CloseSkypeMainWindowWhenTalking = 1; });
  Notify(L"CALL 1234 STATUS INPROGRESS");
  EXPECT_EQ(recorder.events(), Started(1234, {Output(1234), Mic(1234), L"> SET WINDOWSTATE HIDDEN"}));
  EXPECT_EQ(activeCallCount.load(), 1);
  EXPECT_EQ(activeCallIds.Snapshot(), std::vector<int32_t>{1234});
  // The count was raised before the main window heard of the call.
  EXPECT_EQ(recorder.countsSeenByMainWindow(), (std::vector<int32_t>{1, 1, 1}));

  recorder.clear();
  Notify(L"CALL 1234 STATUS INPROGRESS");
  Notify(L"CALL 1234 DURATION 1");
  Notify(L"CALL 1234 DURATION 2");
  EXPECT_TRUE(recorder.events().empty()) << "a known call is not started again";
  EXPECT_EQ(activeCallCount.load(), 1);
}

TEST(CallInProgress, RecordWayChoosesTheAudioRequests) {
  struct Case {
    uint8_t way;
    std::vector<std::wstring> audio;
  };
  const Case cases[] = {
      {0, {Output(7), Mic(7)}}, {1, {Mic(7)}}, {2, {Output(7)}}, {3, {}}, {200, {}},
  };
  for (const Case& c : cases) {
    LinkRecorder recorder;
    Settings.Change([&](SettingsRecord& s) { s.RecordWay = c.way; });
    Notify(L"call 7 STATUS inprogress");
    Events expected = Started(7, {});
    expected.insert(expected.end(), c.audio.begin(), c.audio.end());
    EXPECT_EQ(recorder.events(), expected) << int(c.way);
    EXPECT_EQ(activeCallCount.load(), 1) << int(c.way);
  }
}

TEST(CallInProgress, ADurationOfAnUnknownCallStartsItLikeInProgress) {
  LinkRecorder recorder;
  Notify(L"CALL 42 DURATION 17");
  EXPECT_EQ(recorder.events(), Started(42, {Output(42), Mic(42)}));
  EXPECT_EQ(activeCallCount.load(), 1);
}

TEST(CallInProgress, StatusesOtherThanInProgressAndFinishedChangeNothing) {
  LinkRecorder recorder;
  Notify(L"CALL 9 STATUS INPROGRESS");
  recorder.clear();
  const wchar_t* statuses[] = {L"RINGING",   L"ROUTING",     L"EARLYMEDIA", L"ONHOLD",   L"LOCALHOLD",
                               L"REMOTEHOLD", L"REFUSED",    L"MISSED",     L"FAILED",   L"BUSY",
                               L"CANCELLED", L"VM_FAILED",   L"VM_SENT",    L"UNPLACED", L"VM_PLAYING_GREETING"};
  for (int id : {9, 10})
    for (const wchar_t* status : statuses) Notify(L"CALL " + std::to_wstring(id) + L" STATUS " + status);
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(activeCallCount.load(), 1);
  EXPECT_EQ(activeCallIds.Snapshot(), std::vector<int32_t>{9});
}

TEST(CallFinished, TheLastCallSavesAndClearsThePartnersBeforeTheMainWindowHears) {
  LinkRecorder recorder;
  Notify(L"CALL 1234 STATUS INPROGRESS");
  NotifyPartner(recorder, L"CALL 1234 PARTNER_HANDLE bob");
  EXPECT_EQ(callPartners.Get(0), L"bob");
  EXPECT_EQ(recorder.events().back(), L"PARTNER");

  std::vector<std::wstring> savedAtEnd;
  recorder.onMessage([&](uint32_t message) {
    if (message == WM_SKYPE_CALL_ENDED) savedAtEnd.push_back(finishedCallPartners.Get(0) + L"|" + callPartners.Get(0));
  });
  recorder.clear();
  Notify(L"CALL 1234 STATUS FINISHED");
  EXPECT_EQ(recorder.events(), kEnded);
  EXPECT_EQ(recorder.countsSeenByMainWindow(), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(savedAtEnd, (std::vector<std::wstring>{L"bob|", L"bob|", L"bob|"}));
  EXPECT_EQ(activeCallCount.load(), 0);
  EXPECT_TRUE(activeCallIds.Snapshot().empty());
}

TEST(CallFinished, OverlappingCallsShareOneCountAndOnePartnerTable) {
  LinkRecorder recorder;
  Notify(L"CALL 100 STATUS INPROGRESS");
  NotifyPartner(recorder, L"CALL 100 PARTNER_HANDLE alice");
  Notify(L"CALL 200 STATUS INPROGRESS");
  NotifyPartner(recorder, L"CALL 200 PARTNER_HANDLE carol");
  EXPECT_EQ(activeCallCount.load(), 2);
  EXPECT_EQ(callPartners.Get(0), L"alice");
  EXPECT_EQ(callPartners.Get(1), L"carol");
  EXPECT_EQ(activeCallIds.Snapshot(), (std::vector<int32_t>{100, 200}));

  // The first call ends: one call is left, the table stays, the main window is
  // still told.
  recorder.clear();
  Notify(L"CALL 100 STATUS FINISHED");
  EXPECT_EQ(recorder.events(), kEnded);
  EXPECT_EQ(activeCallCount.load(), 1);
  EXPECT_EQ(activeCallIds.Snapshot(), std::vector<int32_t>{200});
  EXPECT_EQ(callPartners.Get(0), L"alice");
  EXPECT_EQ(callPartners.Get(1), L"carol");
  EXPECT_EQ(finishedCallPartners.Get(0), L"");

  // A third call while one is in progress takes the slot of the count.
  Notify(L"CALL 300 STATUS INPROGRESS");
  NotifyPartner(recorder, L"CALL 300 PARTNER_HANDLE dave");
  EXPECT_EQ(callPartners.Get(1), L"dave");

  Notify(L"CALL 200 STATUS FINISHED");
  Notify(L"CALL 300 STATUS FINISHED");
  EXPECT_EQ(activeCallCount.load(), 0);
  EXPECT_EQ(finishedCallPartners.Get(0), L"alice");
  EXPECT_EQ(finishedCallPartners.Get(1), L"dave");
  EXPECT_EQ(callPartners.Get(0), L"");
  EXPECT_EQ(callPartners.Get(1), L"");
}

TEST(CallFinished, AFinishedOfAnUnknownCallStillLowersTheCountNeverBelowZero) {
  LinkRecorder recorder;
  Notify(L"CALL 1 STATUS INPROGRESS");
  Notify(L"CALL 2 STATUS INPROGRESS");
  recorder.clear();
  Notify(L"CALL 99 STATUS FINISHED");
  EXPECT_EQ(activeCallCount.load(), 1);
  EXPECT_EQ(activeCallIds.Snapshot(), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(recorder.events(), kEnded);

  // With no call left, a FINISHED copies the all-zero live table over the
  // saved one and still tells the main window.
  Notify(L"CALL 1 STATUS FINISHED");
  finishedCallPartners.Set(0, L"stale");
  recorder.clear();
  Notify(L"CALL 2 STATUS FINISHED");
  EXPECT_EQ(activeCallCount.load(), 0);
  EXPECT_EQ(finishedCallPartners.Get(0), L"");
  Notify(L"CALL 2 STATUS FINISHED");
  EXPECT_EQ(activeCallCount.load(), 0);
  EXPECT_EQ(recorder.events(), (Events{L"ENDED", L"ENDED", L"ENDED", L"ENDED", L"ENDED", L"ENDED"}));
}

TEST(Partner, AReplyWithNoCallInProgressIsLoggedAndAnnouncedButNotStored) {
  LinkRecorder recorder;
  TraceCapture trace;
  NotifyPartner(recorder, L"CALL 5 PARTNER_HANDLE bob");
  EXPECT_EQ(callPartners.Get(0), L"");
  EXPECT_EQ(recorder.events(), Events{L"PARTNER"});
  EXPECT_TRUE(trace.contains(L"Call Partner is bob"));
}

TEST(Partner, HandlesAreCutTo299CharactersAndSlotsEndAt1024) {
  LinkRecorder recorder;
  Notify(L"CALL 1 STATUS INPROGRESS");
  NotifyPartner(recorder, L"CALL 1 PARTNER_HANDLE " + std::wstring(500, L'p'));
  EXPECT_EQ(callPartners.Get(0), std::wstring(299, L'p'));

  // 1024 calls fill the table; the partner of the 1025th has no slot.
  for (int id = 2; id <= 1025; ++id) Notify(L"CALL " + std::to_wstring(id) + L" STATUS INPROGRESS");
  ASSERT_EQ(activeCallCount.load(), 1025);
  NotifyPartner(recorder, L"CALL 1024 PARTNER_HANDLE last");  // lands in slot 1024: outside
  activeCallCount.store(1024);
  NotifyPartner(recorder, L"CALL 1024 PARTNER_HANDLE lastslot");
  EXPECT_EQ(callPartners.Get(1023), L"lastslot");
  EXPECT_EQ(callPartners.Get(1024), L"");
}

TEST(CallId, IsReadFromAtMost31CharactersWithASign) {
  LinkRecorder recorder;
  Notify(L"CALL 0000000000000000000000000000012345 STATUS INPROGRESS");
  Notify(L"CALL -7 STATUS INPROGRESS");
  Notify(L"CALL abc STATUS INPROGRESS");
  Events events = recorder.events();
  EXPECT_EQ(events.at(0), Partner(12));
  EXPECT_EQ(events.at(6), Partner(-7));
  EXPECT_EQ(events.at(12), Partner(0));
  EXPECT_EQ(activeCallIds.Snapshot(), (std::vector<int32_t>{12, -7, 0}));
}

TEST(CallProperty, OnlyThePropertyDecidesNeverTheValue) {
  LinkRecorder recorder;
  Notify(L"CALL 5 STATUS INPROGRESS");
  recorder.clear();
  // Values are the far end's text (display names, topics): they must not end
  // or start calls.
  const wchar_t* texts[] = {
      L"CALL 5 PARTNER_DISPNAME Bob STATUS FINISHED",
      L"CALL 6 PARTNER_DISPNAME Eve DURATION 3",
      L"CALL 5 TRANSFER_STATUS FINISHED",
      L"CALL 5 VAA_INPUT_STATUS FINISHED",
      L"CALL 6 VM_DURATION 30",
      L"CALL 6 status INPROGRESS",
      L"CALL 5 STATUS",
      L"CALL 6 DURATION",
      L"CALL 6",
      L"CALL 6 DTMF 1",
      L"CALL 6 TYPE INCOMING_P2P",
  };
  for (const wchar_t* text : texts) Notify(text);
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(activeCallIds.Snapshot(), std::vector<int32_t>{5});
  EXPECT_EQ(activeCallCount.load(), 1);
  EXPECT_EQ(callPartners.Get(0), L"");
}

TEST(PstnStatus, CreditErrorsInAnyCaseAreOnlyLogged) {
  LinkRecorder recorder;
  TraceCapture trace;
  Notify(L"CALL 3 PSTN_STATUS 9401 Database failure");
  Notify(L"CALL 3 PSTN_STATUS 9402 DATABASE FAILURE");
  Notify(L"CALL 3 PSTN_STATUS 9403 Database failure");
  Notify(L"CALL 3 PSTN_STATUS 9401 Database failure, retry");
  Notify(L"CALL 3 PSTN_STATUS 9401");
  std::vector<std::wstring> errors;
  for (const std::wstring& line : trace.lines())
    if (line.find(L"Error") != std::wstring::npos) errors.push_back(line);
  EXPECT_EQ(errors, (std::vector<std::wstring>{L"------Error: No Skypeout credit error--------",
                                               L"-------Error: Skypeout credit is not enough.---------"}));
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(activeCallCount.load(), 0);
}

TEST(CallSequence, AWholeCallThroughTheParserInOrder) {
  LinkRecorder recorder;
  Settings.Change([&](SettingsRecord& s) {
    s.RecordWay = 0;
    s.CloseSkypeMainWindowWhenTalking = 1;
  });
  Notify(L"CALL 77 STATUS ROUTING");
  Notify(L"CALL 77 STATUS RINGING");
  Notify(L"CALL 77 STATUS INPROGRESS");
  NotifyPartner(recorder, L"CALL 77 PARTNER_HANDLE echo123");
  Notify(L"CALL 77 DURATION 1");
  Notify(L"CALL 77 STATUS ONHOLD");
  Notify(L"CALL 77 STATUS INPROGRESS");
  Notify(L"CALL 77 STATUS FINISHED");
  Events expected = Started(77, {Output(77), Mic(77), L"> SET WINDOWSTATE HIDDEN", L"PARTNER"});
  expected.insert(expected.end(), kEnded.begin(), kEnded.end());
  EXPECT_EQ(recorder.events(), expected);
  EXPECT_EQ(finishedCallPartners.Get(0), L"echo123");
}
