// The call state machine: exact sequences of commands to the client and
// events to the application, overlapping calls, the partner slots and the
// bounds.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/skype_client.h"
#include "skype/skype_link.h"
#include "tests/skype/link_recorder.h"

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

// A call's start: the partner is asked for before the application hears of
// the call, the audio after.
Events Started(int id, std::initializer_list<std::wstring> after) {
  Events e{Partner(id), L"STARTED"};
  e.insert(e.end(), after);
  return e;
}
const Events kEnded{L"ENDED"};

// What the message thread does with a notification.
void Notify(LinkRecorder& recorder, const std::wstring& text) { recorder.client().ParseMessage(text); }

}  // namespace

TEST(CallInProgress, ANewCallAsksForPartnerTellsTheApplicationThenAsksForAudio) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  recorder.settings().Change([&](SettingsRecord& s) { s.hideClientWindowInCall = 1; });
  Notify(recorder, L"CALL 1234 STATUS INPROGRESS");
  EXPECT_EQ(recorder.events(), Started(1234, {Output(1234), Mic(1234), L"> SET WINDOWSTATE HIDDEN"}));
  EXPECT_EQ(calls.activeCallCount.load(), 1);
  EXPECT_EQ(calls.activeCallIds.Snapshot(), std::vector<int32_t>{1234});
  // The count was raised before the application heard of the call.
  EXPECT_EQ(recorder.countsSeen(), std::vector<int32_t>{1});

  recorder.clear();
  Notify(recorder, L"CALL 1234 STATUS INPROGRESS");
  Notify(recorder, L"CALL 1234 DURATION 1");
  Notify(recorder, L"CALL 1234 DURATION 2");
  EXPECT_TRUE(recorder.events().empty()) << "a known call is not started again";
  EXPECT_EQ(calls.activeCallCount.load(), 1);
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
    CallStateMachine& calls = recorder.calls();
    recorder.settings().Change([&](SettingsRecord& s) { s.recordWay = static_cast<RecordWay>(c.way); });
    Notify(recorder, L"call 7 STATUS inprogress");
    Events expected = Started(7, {});
    expected.insert(expected.end(), c.audio.begin(), c.audio.end());
    EXPECT_EQ(recorder.events(), expected) << int(c.way);
    EXPECT_EQ(calls.activeCallCount.load(), 1) << int(c.way);
  }
}

// A call that joins a recording in progress is asked for the directions that
// recording writes; hiding the client's window follows the settings in force.
TEST(CallInProgress, TheRecordWayComesFromTheRecordingsSettingsTheRestFromTheCurrentOnes) {
  LinkRecorder recorder;
  SettingsRecord pinned;
  pinned.recordWay = RecordWay::InOnly;
  recorder.settings().PinForRecording(std::make_shared<const SettingsRecord>(pinned));
  recorder.settings().Change([&](SettingsRecord& s) {
    s.recordWay = RecordWay::Both;
    s.hideClientWindowInCall = 1;
  });
  Notify(recorder, L"CALL 8 STATUS INPROGRESS");
  EXPECT_EQ(recorder.events(), Started(8, {Mic(8), L"> SET WINDOWSTATE HIDDEN"}));

  // Once the recording has ended, the next call follows the settings in force.
  recorder.settings().PinForRecording(nullptr);
  recorder.clear();
  Notify(recorder, L"CALL 9 STATUS INPROGRESS");
  EXPECT_EQ(recorder.events(), Started(9, {Output(9), Mic(9), L"> SET WINDOWSTATE HIDDEN"}));
}

TEST(CallInProgress, ADurationOfAnUnknownCallStartsItLikeInProgress) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 42 DURATION 17");
  EXPECT_EQ(recorder.events(), Started(42, {Output(42), Mic(42)}));
  EXPECT_EQ(calls.activeCallCount.load(), 1);
}

TEST(CallInProgress, StatusesOtherThanInProgressAndFinishedChangeNothing) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 9 STATUS INPROGRESS");
  recorder.clear();
  const wchar_t* statuses[] = {L"RINGING",   L"ROUTING",     L"EARLYMEDIA", L"ONHOLD",   L"LOCALHOLD",
                               L"REMOTEHOLD", L"REFUSED",    L"MISSED",     L"FAILED",   L"BUSY",
                               L"CANCELLED", L"VM_FAILED",   L"VM_SENT",    L"UNPLACED", L"VM_PLAYING_GREETING"};
  for (int id : {9, 10})
    for (const wchar_t* status : statuses) Notify(recorder, L"CALL " + std::to_wstring(id) + L" STATUS " + status);
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(calls.activeCallCount.load(), 1);
  EXPECT_EQ(calls.activeCallIds.Snapshot(), std::vector<int32_t>{9});
}

TEST(CallFinished, TheLastCallSavesAndClearsThePartnersBeforeTheApplicationHears) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 1234 STATUS INPROGRESS");
  Notify(recorder, L"CALL 1234 PARTNER_HANDLE bob");
  EXPECT_EQ(calls.callPartners.Get(0), L"bob");
  EXPECT_EQ(recorder.events().back(), L"PARTNER");

  // What the application finds when it hears of the end: the recording it
  // finishes is named after the saved partners.
  std::vector<std::wstring> savedAtEnd;
  recorder.onEvent([&](const std::wstring& event) {
    if (event == L"ENDED")
      savedAtEnd.push_back(calls.finishedCallPartners.Get(0) + L"|" + calls.callPartners.Get(0) + L"|" +
                           calls.PartnerList());
  });
  recorder.clear();
  Notify(recorder, L"CALL 1234 STATUS FINISHED");
  EXPECT_EQ(recorder.events(), kEnded);
  EXPECT_EQ(recorder.countsSeen(), std::vector<int32_t>{0});
  EXPECT_EQ(savedAtEnd, std::vector<std::wstring>{L"bob||bob"});
  EXPECT_EQ(calls.activeCallCount.load(), 0);
  EXPECT_TRUE(calls.activeCallIds.Snapshot().empty());
}

TEST(CallFinished, OverlappingCallsShareOneCountAndOnePartnerTable) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 100 STATUS INPROGRESS");
  Notify(recorder, L"CALL 100 PARTNER_HANDLE alice");
  Notify(recorder, L"CALL 200 STATUS INPROGRESS");
  Notify(recorder, L"CALL 200 PARTNER_HANDLE carol");
  EXPECT_EQ(calls.activeCallCount.load(), 2);
  EXPECT_EQ(calls.callPartners.Get(0), L"alice");
  EXPECT_EQ(calls.callPartners.Get(1), L"carol");
  EXPECT_EQ(calls.activeCallIds.Snapshot(), (std::vector<int32_t>{100, 200}));

  // The first call ends: one call is left, the table stays, the application
  // is still told.
  recorder.clear();
  Notify(recorder, L"CALL 100 STATUS FINISHED");
  EXPECT_EQ(recorder.events(), kEnded);
  EXPECT_EQ(calls.activeCallCount.load(), 1);
  EXPECT_EQ(calls.activeCallIds.Snapshot(), std::vector<int32_t>{200});
  EXPECT_EQ(calls.callPartners.Get(0), L"alice");
  EXPECT_EQ(calls.callPartners.Get(1), L"carol");
  EXPECT_EQ(calls.finishedCallPartners.Get(0), L"");

  // A third call while one is in progress takes the slot of the count.
  Notify(recorder, L"CALL 300 STATUS INPROGRESS");
  Notify(recorder, L"CALL 300 PARTNER_HANDLE dave");
  EXPECT_EQ(calls.callPartners.Get(1), L"dave");

  Notify(recorder, L"CALL 200 STATUS FINISHED");
  Notify(recorder, L"CALL 300 STATUS FINISHED");
  EXPECT_EQ(calls.activeCallCount.load(), 0);
  EXPECT_EQ(calls.finishedCallPartners.Get(0), L"alice");
  EXPECT_EQ(calls.finishedCallPartners.Get(1), L"dave");
  EXPECT_EQ(calls.callPartners.Get(0), L"");
  EXPECT_EQ(calls.callPartners.Get(1), L"");
}

TEST(CallFinished, AFinishedOfAnUnknownCallStillLowersTheCountNeverBelowZero) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 1 STATUS INPROGRESS");
  Notify(recorder, L"CALL 2 STATUS INPROGRESS");
  recorder.clear();
  Notify(recorder, L"CALL 99 STATUS FINISHED");
  EXPECT_EQ(calls.activeCallCount.load(), 1);
  EXPECT_EQ(calls.activeCallIds.Snapshot(), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(recorder.events(), kEnded);

  // With no call left, a FINISHED copies the all-zero live table over the
  // saved one and still tells the application.
  Notify(recorder, L"CALL 1 STATUS FINISHED");
  calls.finishedCallPartners.Set(0, L"stale");
  recorder.clear();
  Notify(recorder, L"CALL 2 STATUS FINISHED");
  EXPECT_EQ(calls.activeCallCount.load(), 0);
  EXPECT_EQ(calls.finishedCallPartners.Get(0), L"");
  Notify(recorder, L"CALL 2 STATUS FINISHED");
  EXPECT_EQ(calls.activeCallCount.load(), 0);
  EXPECT_EQ(recorder.events(), (Events{L"ENDED", L"ENDED"}));
  EXPECT_EQ(recorder.countsSeen(), (std::vector<int32_t>{0, 0}));
}

// The recording's name: while calls are in progress, their partners; once the
// last has ended, the partners it had, until the next call starts.
TEST(PartnerList, NamesTheLiveCallsThenTheFinishedOnesUntilTheNextCall) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  EXPECT_EQ(calls.PartnerList(), L"");
  Notify(recorder, L"CALL 1 STATUS INPROGRESS");
  Notify(recorder, L"CALL 1 PARTNER_HANDLE alice");
  Notify(recorder, L"CALL 2 STATUS INPROGRESS");
  Notify(recorder, L"CALL 2 PARTNER_HANDLE bob/eve");
  EXPECT_TRUE(calls.CallInProgress());
  EXPECT_EQ(calls.PartnerList(), L"alice bob_eve");
  Notify(recorder, L"CALL 1 STATUS FINISHED");
  EXPECT_EQ(calls.PartnerList(), L"alice bob_eve") << "one call is still in progress";
  Notify(recorder, L"CALL 2 STATUS FINISHED");
  EXPECT_FALSE(calls.CallInProgress());
  EXPECT_EQ(calls.PartnerList(), L"alice bob_eve");

  // A new call: only its own partner, not the last recording's.
  Notify(recorder, L"CALL 3 STATUS INPROGRESS");
  EXPECT_EQ(calls.PartnerList(), L"");
  Notify(recorder, L"CALL 3 PARTNER_HANDLE carol");
  EXPECT_EQ(calls.PartnerList(), L"carol");
}

TEST(Partner, AReplyWithNoCallInProgressIsAnnouncedButNotStored) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 5 PARTNER_HANDLE bob");
  EXPECT_EQ(calls.callPartners.Get(0), L"");
  EXPECT_EQ(calls.PartnerList(), L"");
  EXPECT_EQ(recorder.events(), Events{L"PARTNER"});
}

TEST(Partner, HandlesAreCutTo299CharactersAndSlotsEndAt1024) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 1 STATUS INPROGRESS");
  Notify(recorder, L"CALL 1 PARTNER_HANDLE " + std::wstring(500, L'p'));
  EXPECT_EQ(calls.callPartners.Get(0), std::wstring(299, L'p'));

  // 1024 calls fill the table; the partner of the 1025th has no slot.
  for (int id = 2; id <= 1025; ++id) Notify(recorder, L"CALL " + std::to_wstring(id) + L" STATUS INPROGRESS");
  ASSERT_EQ(calls.activeCallCount.load(), 1025);
  recorder.clear();
  Notify(recorder, L"CALL 1024 PARTNER_HANDLE last");  // lands in slot 1024: outside
  EXPECT_EQ(calls.callPartners.Get(1023), L"") << "kept in the last slot instead";
  EXPECT_EQ(calls.callPartners.Get(1024), L"");
  EXPECT_EQ(recorder.events(), Events{L"PARTNER"});
  calls.activeCallCount.store(1024);
  Notify(recorder, L"CALL 1024 PARTNER_HANDLE lastslot");
  EXPECT_EQ(calls.callPartners.Get(1023), L"lastslot");
  EXPECT_EQ(calls.callPartners.Get(1024), L"");
}

TEST(CallId, IsReadFromAtMost31CharactersWithASign) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 0000000000000000000000000000012345 STATUS INPROGRESS");
  Notify(recorder, L"CALL -7 STATUS INPROGRESS");
  Notify(recorder, L"CALL abc STATUS INPROGRESS");
  Events events = recorder.events();
  EXPECT_EQ(events.at(0), Partner(12));
  // Each call: its partner request, the start, two audio requests.
  EXPECT_EQ(events.at(4), Partner(-7));
  EXPECT_EQ(events.at(8), Partner(0));
  EXPECT_EQ(calls.activeCallIds.Snapshot(), (std::vector<int32_t>{12, -7, 0}));
}

TEST(CallProperty, OnlyThePropertyDecidesNeverTheValue) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 5 STATUS INPROGRESS");
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
  for (const wchar_t* text : texts) Notify(recorder, text);
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(calls.activeCallIds.Snapshot(), std::vector<int32_t>{5});
  EXPECT_EQ(calls.activeCallCount.load(), 1);
  EXPECT_EQ(calls.callPartners.Get(0), L"");
}

// A SkypeOut credit error (in any case) neither ends the call nor starts
// one; the "STATUS" inside its text is a value, not the property.
TEST(PstnStatus, CreditErrorsChangeNoCallAndAreNotAnswered) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  Notify(recorder, L"CALL 3 STATUS INPROGRESS");
  recorder.clear();
  Notify(recorder, L"CALL 3 PSTN_STATUS 9401 Database failure");
  Notify(recorder, L"CALL 3 PSTN_STATUS 9402 DATABASE FAILURE");
  Notify(recorder, L"CALL 4 PSTN_STATUS 9403 Database failure");
  Notify(recorder, L"CALL 3 PSTN_STATUS 9401 Database failure, retry");
  Notify(recorder, L"CALL 3 PSTN_STATUS 9401 STATUS FINISHED");
  Notify(recorder, L"CALL 3 PSTN_STATUS 9401");
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(calls.activeCallIds.Snapshot(), std::vector<int32_t>{3});
  EXPECT_EQ(calls.activeCallCount.load(), 1);
}

TEST(CallSequence, AWholeCallThroughTheParserInOrder) {
  LinkRecorder recorder;
  CallStateMachine& calls = recorder.calls();
  recorder.settings().Change([&](SettingsRecord& s) {
    s.recordWay = RecordWay::Both;
    s.hideClientWindowInCall = 1;
  });
  Notify(recorder, L"CALL 77 STATUS ROUTING");
  Notify(recorder, L"CALL 77 STATUS RINGING");
  Notify(recorder, L"CALL 77 STATUS INPROGRESS");
  Notify(recorder, L"CALL 77 PARTNER_HANDLE echo123");
  Notify(recorder, L"CALL 77 DURATION 1");
  Notify(recorder, L"CALL 77 STATUS ONHOLD");
  Notify(recorder, L"CALL 77 STATUS INPROGRESS");
  Notify(recorder, L"CALL 77 STATUS FINISHED");
  Events expected = Started(77, {Output(77), Mic(77), L"> SET WINDOWSTATE HIDDEN", L"PARTNER"});
  expected.insert(expected.end(), kEnded.begin(), kEnded.end());
  EXPECT_EQ(recorder.events(), expected);
  EXPECT_EQ(calls.finishedCallPartners.Get(0), L"echo123");
}

namespace {

// The application's side of a second client: counts what it is told.
struct CountingEvents : SkypeEvents {
  int status = 0, started = 0, ended = 0, partner = 0;
  void OnClientStateChanged() override { ++status; }
  void OnCallStarted() override { ++started; }
  void OnCallEnded() override { ++ended; }
  void OnPartnerKnown() override { ++partner; }
};

}  // namespace

// Each client object has its own link, calls and settings: what one hears
// changes nothing in another.
TEST(ClientObjects, TwoClientsKeepTheirLinksCallsAndSettingsApart) {
  LinkRecorder recorder;
  SettingsStore otherSettings;
  otherSettings.Change([](SettingsRecord& s) { s.hideClientWindowInCall = 1; });
  CountingEvents otherEvents;
  SkypeClient other(otherSettings, otherEvents);

  Notify(recorder, L"CALL 1 STATUS INPROGRESS");
  Notify(recorder, L"CALL 1 PARTNER_HANDLE alice");
  EXPECT_EQ(recorder.events(), Started(1, {Output(1), Mic(1), L"PARTNER"}));
  EXPECT_EQ(other.calls.activeCallCount.load(), 0);
  EXPECT_EQ(other.calls.callPartners.Get(0), L"");
  EXPECT_EQ(otherEvents.started + otherEvents.partner, 0);

  // The other client has not attached: its call is followed, but none of its
  // commands goes out, and this recorder's client hears nothing of it.
  recorder.clear();
  other.ParseMessage(L"CALL 2 STATUS INPROGRESS");
  other.ParseMessage(L"CURRENTUSERHANDLE bob");
  EXPECT_EQ(other.calls.activeCallIds.Snapshot(), std::vector<int32_t>{2});
  EXPECT_EQ(otherEvents.started, 1);
  EXPECT_EQ(otherEvents.status, 1);
  EXPECT_EQ(other.link.attached.load(), 1u);
  EXPECT_TRUE(recorder.events().empty());
  EXPECT_EQ(recorder.calls().activeCallIds.Snapshot(), std::vector<int32_t>{1});
  EXPECT_EQ(recorder.link().attached.load(), 0u);
  EXPECT_EQ(recorder.link().currentUserHandle.Get(), L"");

  other.ParseMessage(L"CALL 2 STATUS FINISHED");
  EXPECT_EQ(otherEvents.ended, 1);
  EXPECT_EQ(recorder.calls().activeCallCount.load(), 1);
  EXPECT_EQ(recorder.calls().callPartners.Get(0), L"alice");
}
