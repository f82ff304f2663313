// The client link's rules: sending commands, attach statuses, received texts,
// connection notifications and the client state.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "skype/skype_api.h"
#include "skype/skype_client.h"
#include "skype/skype_link.h"
#include "skype/window_control.h"
#include "tests/skype/link_recorder.h"
#include "tests/support/skype_client_standin.h"

using Events = std::vector<std::wstring>;
using Flags = std::vector<std::pair<uint32_t, uint32_t>>;  // (attached, loggedOut)

namespace {

// Queues a text as the client's window would deliver it and parses what the
// message thread would take.
void Deliver(LinkRecorder& recorder, const std::string& bytes) {
  ASSERT_TRUE(recorder.link().OnCopyData(LinkRecorder::kApiWindow, bytes.data(), bytes.size() + 1));
  std::wstring text;
  ASSERT_TRUE(recorder.link().notificationQueue.Take(text));
  recorder.client().ParseMessage(text);
}

}  // namespace

// --- Sending commands -------------------------------------------------------

TEST(SendCommandToSkype, SendsUtf8WithTwoZeroBytesCountedInCbData) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  EXPECT_TRUE(link.SendCommand(L"FOCUS"));
  auto commands = recorder.commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].data, std::string("FOCUS\0\0", 7));
  EXPECT_EQ(commands[0].data.size(), 7u);
  EXPECT_EQ(commands[0].apiWindow, LinkRecorder::kApiWindow);
  EXPECT_EQ(commands[0].fromWindow, LinkRecorder::kMessageWindow);

  // Text beyond ASCII goes out as UTF-8; cbData counts bytes, not characters.
  EXPECT_TRUE(link.SendCommand(L"GET USER \u00e9\u4e2d"));
  EXPECT_EQ(recorder.commands().at(1).data, std::string("GET USER \xC3\xA9\xE4\xB8\xAD\0\0", 16));
}

TEST(SendCommandToSkype, SendsNothingBeforeAttachOrForAnEmptyText) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  EXPECT_FALSE(link.SendCommand(L"FOCUS"));
  link.skypeApiWindow.store(LinkRecorder::kApiWindow);
  EXPECT_FALSE(link.SendCommand(L""));
  EXPECT_FALSE(link.SendCommand(std::wstring(L"\0FOCUS", 6)));
  EXPECT_TRUE(recorder.commands().empty());
}

TEST(SendCommandToSkype, ResultIsTheClientsAnswerAndTheTextEndsAtItsFirstZero) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  recorder.setClientAnswer(false);
  EXPECT_FALSE(link.SendCommand(L"FOCUS"));
  recorder.setClientAnswer(true);
  EXPECT_TRUE(link.SendCommand(std::wstring(L"FOCUS\0HIDDEN", 12)));
  EXPECT_EQ(recorder.commands().at(1).data, std::string("FOCUS\0\0", 7));
}

// --- Attach statuses --------------------------------------------------------

TEST(AttachStatus, SuccessNamesTheClientWindowAndAsksForTheUser) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  link.messageWindow.store(LinkRecorder::kMessageWindow);
  link.loggedOut.store(1);
  link.OnAttachStatus(0x77, kAttachSuccess);
  EXPECT_EQ(link.skypeApiWindow.load(), 0x77u);
  EXPECT_EQ(link.loggedOut.load(), 0u);
  EXPECT_EQ(link.attached.load(), 0u) << "attached waits for the reply";
  EXPECT_EQ(recorder.events(), Events{L"> GET CURRENTUSERHANDLE"});
  EXPECT_EQ(recorder.commands().at(0).apiWindow, 0x77u);
}

TEST(AttachStatus, PendingAndUnknownStatusesChangeNothing) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  for (uintptr_t status : {uintptr_t{1}, uintptr_t{4}, uintptr_t{0x8000}, uintptr_t{0x8002}}) {
    link.OnAttachStatus(0x77, status);
    EXPECT_EQ(link.skypeApiWindow.load(), 0u) << status;
    EXPECT_EQ(link.attached.load(), 0u) << status;
  }
  link.attached.store(1);
  link.OnAttachStatus(0x77, kAttachPendingAuthorization);
  EXPECT_EQ(link.attached.load(), 1u);
  EXPECT_TRUE(recorder.events().empty());
}

TEST(AttachStatus, RefusedNotAvailableAndApiAvailableClearAttachedButKeepTheWindow) {
  for (uintptr_t status : {uintptr_t{2}, uintptr_t{3}, uintptr_t{0x8001}}) {
    LinkRecorder recorder;
    SkypeLink& link = recorder.link();
    link.attached.store(1);
    link.loggedOut.store(1);
    link.OnAttachStatus(0x99, status);
    EXPECT_EQ(link.attached.load(), 0u) << status;
    EXPECT_EQ(link.loggedOut.load(), 1u) << status;
    EXPECT_EQ(link.skypeApiWindow.load(), LinkRecorder::kApiWindow) << status;
    EXPECT_TRUE(recorder.events().empty()) << status;
  }
}

TEST(AttachStatus, SuccessWithoutAWindowIsIgnored) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  link.OnAttachStatus(0, kAttachSuccess);
  EXPECT_EQ(link.skypeApiWindow.load(), LinkRecorder::kApiWindow);
  EXPECT_TRUE(recorder.events().empty());
}

// --- Received texts ---------------------------------------------------------

TEST(ReceivedText, OnlyTheAttachedClientWindowIsListenedTo) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  const char text[] = "CALL 1 STATUS INPROGRESS";
  // Before the first attach nobody is listened to, not even a sender giving 0.
  EXPECT_FALSE(link.OnCopyData(0, text, sizeof(text)));
  EXPECT_FALSE(link.OnCopyData(0x5A, text, sizeof(text)));
  link.skypeApiWindow.store(0x5A);
  EXPECT_FALSE(link.OnCopyData(0x5B, text, sizeof(text)));
  EXPECT_FALSE(link.OnCopyData(0, text, sizeof(text)));
  EXPECT_TRUE(link.notificationQueue.Empty());
  EXPECT_TRUE(link.OnCopyData(0x5A, text, sizeof(text)));
  std::wstring taken;
  ASSERT_TRUE(link.notificationQueue.Take(taken));
  EXPECT_EQ(taken, L"CALL 1 STATUS INPROGRESS");
  EXPECT_TRUE(recorder.events().empty()) << "nothing is parsed on the receiving thread";
}

TEST(ReceivedText, IsReadUpToItsFirstZeroButNeverBeyondCbData) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  // No zero byte within cbData: the bytes after it are not part of the text.
  const char unterminated[] = "USERSTATUS LOGGEDOUTXYZ";
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, unterminated, 20));
  const char early[] = "USERSTATUS LOGGEDOUT\0garbage";
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, early, sizeof(early)));
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, nullptr, 0));
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, unterminated, 0));
  std::wstring a, b, c, d;
  ASSERT_TRUE(link.notificationQueue.Take(a));
  ASSERT_TRUE(link.notificationQueue.Take(b));
  ASSERT_TRUE(link.notificationQueue.Take(c));
  ASSERT_TRUE(link.notificationQueue.Take(d));
  EXPECT_EQ(a, L"USERSTATUS LOGGEDOUT");
  EXPECT_EQ(b, L"USERSTATUS LOGGEDOUT");
  EXPECT_EQ(c, L"");
  EXPECT_EQ(d, L"");
}

TEST(ReceivedText, IsDecodedFromUtf8AndKeptTo15999Characters) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  std::string handle = "CALL 5 PARTNER_HANDLE J\xC3\xBCrgen";
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, handle.c_str(), handle.size() + 1));
  std::string longText(20000, 'x');
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, longText.data(), longText.size()));
  std::string longWide;  // 9000 characters of three bytes each
  for (int i = 0; i < 9000; ++i) longWide += "\xE4\xB8\xAD";
  ASSERT_TRUE(link.OnCopyData(LinkRecorder::kApiWindow, longWide.data(), longWide.size()));
  std::wstring a, b, c;
  ASSERT_TRUE(link.notificationQueue.Take(a));
  ASSERT_TRUE(link.notificationQueue.Take(b));
  ASSERT_TRUE(link.notificationQueue.Take(c));
  EXPECT_EQ(a, L"CALL 5 PARTNER_HANDLE J\u00fcrgen");
  EXPECT_EQ(b, std::wstring(15999, L'x'));
  EXPECT_EQ(c, std::wstring(9000, L'\u4e2d'));
}

TEST(NotificationQueue, IsFirstInFirstOut) {
  NotificationQueue queue;
  std::wstring text;
  EXPECT_FALSE(queue.Take(text));
  queue.Append(L"one");
  queue.Append(L"two");
  queue.Append(L"three");
  EXPECT_EQ(queue.Size(), 3u);
  for (const wchar_t* expected : {L"one", L"two", L"three"}) {
    ASSERT_TRUE(queue.Take(text));
    EXPECT_EQ(text, expected);
  }
  EXPECT_TRUE(queue.Empty());
}

// --- Connection notifications -----------------------------------------------

TEST(ConnectionMessage, TheUserHandleReplyAttachesThenTellsTheApplicationOnce) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  // The application reads the client's state when it is told: the handle and
  // the flag must be in place by then.
  std::vector<std::wstring> handleSeen;
  recorder.onEvent([&](const std::wstring&) { handleSeen.push_back(link.currentUserHandle.Get()); });
  Deliver(recorder, "CURRENTUSERHANDLE alice.smith");
  EXPECT_EQ(link.attached.load(), 1u);
  EXPECT_EQ(link.currentUserHandle.Get(), L"alice.smith");
  EXPECT_EQ(recorder.events(), Events{L"STATUS"});
  EXPECT_EQ(recorder.flagsSeen(), (Flags{{1u, 0u}}));
  EXPECT_EQ(handleSeen, Events{L"alice.smith"});
  // Everything after the first blank, in any letter case of the keyword.
  Deliver(recorder, "currentuserhandle john doe ");
  EXPECT_EQ(link.currentUserHandle.Get(), L"john doe ");
  EXPECT_EQ(recorder.events(), (Events{L"STATUS", L"STATUS"}));
}

TEST(ConnectionMessage, TheUserHandleIsCutTo299Characters) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  Deliver(recorder, "CURRENTUSERHANDLE " + std::string(400, 'h'));
  EXPECT_EQ(link.currentUserHandle.Get(), std::wstring(299, L'h'));
}

TEST(ConnectionMessage, LoggedOutInEitherStatusAndAnyCaseDetaches) {
  for (const char* text : {"USERSTATUS LOGGEDOUT", "CONNSTATUS loggedout", "userstatus LoggedOut"}) {
    LinkRecorder recorder;
    SkypeLink& link = recorder.link();
    link.attached.store(1);
    Deliver(recorder, text);
    EXPECT_EQ(link.attached.load(), 0u) << text;
    EXPECT_EQ(link.loggedOut.load(), 1u) << text;
    // Told once, with both flags already changed.
    EXPECT_EQ(recorder.events(), Events{L"STATUS"}) << text;
    EXPECT_EQ(recorder.flagsSeen(), (Flags{{0u, 1u}})) << text;
  }
}

TEST(ConnectionMessage, OtherStatusValuesChangeNothing) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  link.attached.store(1);
  for (const char* text : {"USERSTATUS ONLINE", "USERSTATUS ", "USERSTATUS", "CONNSTATUS OFFLINE",
                           "USERSTATUS LOGGEDOUT ", "USERSTATUS LOGGEDOUTX", "CONNSTATUS  LOGGEDOUT"}) {
    Deliver(recorder, text);
    EXPECT_EQ(link.attached.load(), 1u) << text;
    EXPECT_EQ(link.loggedOut.load(), 0u) << text;
  }
  EXPECT_TRUE(recorder.events().empty());
}

TEST(ConnectionMessage, IgnoredNotificationsChangeNothingAndAreNotAnswered) {
  const char* texts[] = {
      "chatmessage 1234 STATUS RECEIVED", "CHAT #alice/$bob;1 STATUS MULTI_SUBSCRIBED",
      "message 12 STATUS SENT",           "USER bob ONLINESTATUS ONLINE",
      "ERROR 68 Access denied",           "PROFILE FULLNAME Alice",
      "SMS 3 STATUS DELIVERED",           "OPEN OPTIONS PRIVACY",
      "SET CALL 5 STATUS FINISHED",       "PROTOCOL 8",
      "AUDIO_IN Default",                 "RINGER Speakers",
      "SKYPEVERSION 7.0",                 "CONNSTATUS ONLINE",
      "set call 5 status inprogress",     "CURRENTUSERHANDLE",
  };
  for (const char* text : texts) {
    LinkRecorder recorder;
    SkypeLink& link = recorder.link();
    Deliver(recorder, text);
    EXPECT_EQ(link.attached.load(), 0u) << text;
    EXPECT_EQ(link.loggedOut.load(), 0u) << text;
    EXPECT_EQ(recorder.calls().activeCallCount.load(), 0) << text;
    // Neither told to the application nor answered with a command.
    EXPECT_TRUE(recorder.events().empty()) << text;
  }
}

TEST(ConnectionMessage, LogoutThenReattachFollowsTheLinkStates) {
  LinkRecorder recorder(/*attach=*/false);
  SkypeLink& link = recorder.link();
  link.messageWindow.store(LinkRecorder::kMessageWindow);
  link.OnAttachStatus(0x5A, kAttachSuccess);
  Deliver(recorder, "CURRENTUSERHANDLE alice");
  ASSERT_EQ(link.attached.load(), 1u);
  Deliver(recorder, "USERSTATUS LOGGEDOUT");
  EXPECT_EQ(link.attached.load(), 0u);
  EXPECT_EQ(link.loggedOut.load(), 1u);
  // Commands still go out while logged out.
  EXPECT_TRUE(link.SendCommand(L"FOCUS"));
  // A reply arriving while logged out sets attached but leaves loggedOut.
  Deliver(recorder, "CURRENTUSERHANDLE alice");
  EXPECT_EQ(link.attached.load(), 1u);
  EXPECT_EQ(link.loggedOut.load(), 1u);
  // A new success clears loggedOut and asks again.
  link.OnAttachStatus(0x5A, kAttachSuccess);
  EXPECT_EQ(link.loggedOut.load(), 0u);
  Deliver(recorder, "CURRENTUSERHANDLE alice2");
  EXPECT_EQ(link.currentUserHandle.Get(), L"alice2");
  // One event per change of state, each told after the change: attached,
  // logged out, the reply while logged out, attached again.
  EXPECT_EQ(recorder.events(), (Events{L"> GET CURRENTUSERHANDLE", L"STATUS", L"STATUS", L"> FOCUS", L"STATUS",
                                       L"> GET CURRENTUSERHANDLE", L"STATUS"}));
  EXPECT_EQ(recorder.flagsSeen(), (Flags{{1u, 0u}, {0u, 1u}, {1u, 1u}, {1u, 0u}}));
}

// The reply to a success may still be queued when the client says it is no
// longer available; it must not attach the link again, or the watcher would
// stop looking for the client for good.
TEST(ConnectionMessage, AUserHandleReplyOvertakenByADetachDoesNotAttach) {
  for (uintptr_t status : {uintptr_t{2}, uintptr_t{3}, uintptr_t{0x8001}}) {
    LinkRecorder recorder(/*attach=*/false);
    SkypeLink& link = recorder.link();
    link.messageWindow.store(LinkRecorder::kMessageWindow);
    link.OnAttachStatus(0x5A, kAttachSuccess);
    link.OnAttachStatus(0x5A, status);
    Deliver(recorder, "CURRENTUSERHANDLE alice");
    EXPECT_EQ(link.attached.load(), 0u) << status;
    // The next success asks again, and its reply attaches.
    link.OnAttachStatus(0x5A, kAttachSuccess);
    Deliver(recorder, "CURRENTUSERHANDLE alice");
    EXPECT_EQ(link.attached.load(), 1u) << status;
    // The stale reply tells nothing; only the one that attaches does.
    EXPECT_EQ(recorder.events(), (Events{L"> GET CURRENTUSERHANDLE", L"> GET CURRENTUSERHANDLE", L"STATUS"}))
        << status;
    EXPECT_EQ(recorder.flagsSeen(), (Flags{{1u, 0u}})) << status;
  }
}

// --- Client state -------------------------------------------------------------

TEST(ClientState, IsTakenFromTheRowsInTheirOrder) {
  LinkRecorder recorder;
  SkypeLink& link = recorder.link();
  bool installed = false, running = false;
  SkypeClientStandIn standIn;
  standIn.skypePath = [&](std::wstring& path) {
    path = L"C:\\Skype\\skype.exe";
    return installed;
  };
  standIn.skypeRunning = [&] { return running; };
  SetSkypeClientStandIn(standIn);

  // An attached link wins over the registry and the process list: a client
  // that answers runs, wherever it is installed and whatever its name.
  link.attached.store(1);
  EXPECT_EQ(GetSkypeClientState(link), Attached) << "no registry value, no process";
  link.loggedOut.store(1);
  EXPECT_EQ(GetSkypeClientState(link), LoggedOut) << "logged out comes before attached";
  link.loggedOut.store(0);
  link.attached.store(0);
  running = true;
  EXPECT_EQ(GetSkypeClientState(link), NotInstalled) << "without the link, no path wins over a running client";
  installed = true;
  running = false;
  link.loggedOut.store(1);
  EXPECT_EQ(GetSkypeClientState(link), NotRunning);
  running = true;
  EXPECT_EQ(GetSkypeClientState(link), LoggedOut);
  link.loggedOut.store(0);
  EXPECT_EQ(GetSkypeClientState(link), NotAttached);
  link.attached.store(1);
  EXPECT_EQ(GetSkypeClientState(link), Attached);
  EXPECT_EQ(static_cast<int>(NotRunning), 1);
  EXPECT_EQ(static_cast<int>(NotInstalled), 5);
}
