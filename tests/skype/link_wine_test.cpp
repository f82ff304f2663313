// The recorder's link against SimSkype.exe as a second process: the attach
// handshake, the command exchange of a call, refused senders, logging out and
// attaching again, and the audio connections the client opens.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/message_window_win32.h"
#include "skype/skype_api.h"
#include "skype/skype_client.h"
#include "skype/skype_link.h"
#include "skype/skype_transport.h"
#include "tests/skype/wine_link_support.h"
#include "tests/support/wait.h"
#include "tools/simclient/signal.h"

using Strings = std::vector<std::string>;
using Names = std::vector<std::wstring>;

namespace {

std::vector<std::wstring> Without(std::vector<std::wstring> names, const std::wstring& drop) {
  names.erase(std::remove(names.begin(), names.end(), drop), names.end());
  return names;
}

// The "command <cbData> <text>" events: each must count the text and two zero bytes.
void ExpectWireFormat(const SimClient& client) {
  int seen = 0;
  for (const std::string& line : client.events()) {
    if (line.rfind("command ", 0) != 0) continue;
    ++seen;
    size_t blank = line.find(' ', 8);
    ASSERT_NE(blank, std::string::npos) << line;
    size_t cbData = std::stoul(line.substr(8, blank - 8));
    std::string text = line.substr(blank + 1);
    EXPECT_EQ(cbData, text.size() + 2) << line;
  }
  EXPECT_GT(seen, 0);
}

}  // namespace

TEST(LinkWineTest, AttachAndACallSendTheCommandsInOrder) {
  SettingsRecord settings;
  settings.hideClientWindowInCall = 1;
  RecorderSide recorder(settings);
  SkypeLink& link = recorder.link();
  ASSERT_TRUE(recorder.linkActive());
  SimClient client(
      "user alice\n"
      "partner 1001 bob\n"
      // A broadcast crossing the reply to the first success is not answered,
      // so the exchange is exact.
      "attach 0 none\n"
      "wait attach\n"
      "call 1001 RINGING\n"
      "call 1001 INPROGRESS\n"
      "wait command SET WINDOWSTATE HIDDEN\n"
      "call 1001 FINISHED\n");
  ASSERT_TRUE(client.started());
  EXPECT_EQ(client.waitExit(), 0);
  ASSERT_TRUE(WaitUntil([&] { return recorder.countOf(L"ENDED") == 1 && recorder.countOf(L"PARTNER") == 1; }));

  EXPECT_EQ(client.commands(),
            (Strings{"GET CURRENTUSERHANDLE", "GET CALL 1001 PARTNER_HANDLE",
                     "ALTER CALL 1001 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"",
                     "ALTER CALL 1001 SET_CAPTURE_MIC port=\"7285\"", "SET WINDOWSTATE HIDDEN"}));
  ExpectWireFormat(client);
  // Each event once. The partner is posted, so it may be handled after a
  // later sent event.
  EXPECT_EQ(Without(recorder.messages(), L"PARTNER"), (Names{L"STATUS", L"STARTED", L"ENDED"}));
  EXPECT_EQ(recorder.flagsAtStatus(), (std::vector<std::pair<uint32_t, uint32_t>>{{1u, 0u}}));
  EXPECT_EQ(link.attached.load(), 1u);
  EXPECT_EQ(link.skypeApiWindow.load(), client.apiWindow());
  EXPECT_EQ(link.currentUserHandle.Get(), L"alice");
  EXPECT_EQ(recorder.calls().activeCallCount.load(), 0);
  EXPECT_EQ(recorder.calls().finishedCallPartners.Get(0), L"bob");
  EXPECT_EQ(recorder.calls().PartnerList(), L"bob");
  // Every notification was taken from the client's window.
  for (const std::string& line : client.events()) {
    if (line.rfind("notify ", 0) == 0 || line.rfind("reply ", 0) == 0) {
      EXPECT_EQ(line.substr(line.find(' '), 3), " 1 ") << line;
    }
  }
}

TEST(LinkWineTest, HandshakePendingRefusedSuccessThenApiAvailableAndAttachAgain) {
  RecorderSide recorder;
  SimClient client(
      "user carol\n"
      // A broadcast crossing the first reply is not answered.
      "attach 1 2 0 none 0\n"
      "wait attach\n"
      // Attach statuses act at once, while the reply waits in the queue: the
      // test says when the reply has been handled.
      "wait command TEST ATTACHED\n"
      "send-attach 0x8001\n"
      "wait attach\n");
  SkypeLink& link = recorder.link();
  ASSERT_TRUE(WaitUntil([&] { return link.attached.load() == 1; }));
  link.SendCommand(L"TEST ATTACHED");
  EXPECT_EQ(client.waitExit(), 0);
  WindowId api = client.apiWindow();
  ASSERT_NE(api, 0u);

  // What the link held right after each attach message; a status repeated by
  // a broadcast that crossed the reply is written down once.
  std::vector<RecorderSide::AttachSeen> seen;
  for (const auto& a : recorder.attachesSeen())
    if (seen.empty() || seen.back().status != a.status) seen.push_back(a);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].status, 1u);  // pending: nothing changes
  EXPECT_EQ(seen[0].apiWindow, 0u);
  EXPECT_EQ(seen[0].attached, 0u);
  EXPECT_EQ(seen[1].status, 2u);  // refused
  EXPECT_EQ(seen[1].apiWindow, 0u);
  EXPECT_EQ(seen[1].attached, 0u);
  EXPECT_EQ(seen[2].status, 0u);  // success: the window is known, the user not yet
  EXPECT_EQ(seen[2].apiWindow, api);
  EXPECT_EQ(seen[2].attached, 0u);
  EXPECT_EQ(seen[3].status, 0x8001u);  // API available again: detached, window kept
  EXPECT_EQ(seen[3].apiWindow, api);
  EXPECT_EQ(seen[3].attached, 0u);
  EXPECT_EQ(seen[4].status, 0u);  // the watcher's next broadcast attaches again
  EXPECT_EQ(seen[4].apiWindow, api);

  ASSERT_TRUE(WaitUntil([&] { return link.attached.load() == 1; }));
  EXPECT_EQ(link.currentUserHandle.Get(), L"carol");
  Strings commands = client.commands();
  EXPECT_GE(commands.size(), 3u);
  for (const std::string& c : commands) {
    if (c != "TEST ATTACHED") {
      EXPECT_EQ(c, "GET CURRENTUSERHANDLE");
    }
  }
  // The broadcasts go on while not attached: five answered (1, 2, 0, none, 0)
  // at least.
  int discovers = 0;
  for (const std::string& line : client.events()) discovers += line.rfind("discover ", 0) == 0;
  EXPECT_GE(discovers, 5);
}

TEST(LinkWineTest, NotificationsBeforeAttachAndFromForeignWindowsAreRefused) {
  RecorderSide recorder;
  SimClient client(
      "attach none none 0 none\n"
      "wait discover\n"
      "notify CALL 5 STATUS INPROGRESS\n"
      "wait attach\n"
      "foreign CALL 6 STATUS INPROGRESS\n"
      "foreign USERSTATUS LOGGEDOUT\n"
      "notify CALL 7 STATUS RINGING\n");
  EXPECT_EQ(client.waitExit(), 0);
  EXPECT_TRUE(client.hasEvent("notify 0 CALL 5 STATUS INPROGRESS"));
  EXPECT_TRUE(client.hasEvent("foreign 0 CALL 6 STATUS INPROGRESS"));
  EXPECT_TRUE(client.hasEvent("foreign 0 USERSTATUS LOGGEDOUT"));
  EXPECT_TRUE(client.hasEvent("notify 1 CALL 7 STATUS RINGING"));
  SkypeLink& link = recorder.link();
  ASSERT_TRUE(WaitUntil([&] { return link.notificationQueue.Empty() && link.attached.load() == 1; }));
  EXPECT_EQ(link.loggedOut.load(), 0u);
  EXPECT_EQ(recorder.calls().activeCallCount.load(), 0);
  EXPECT_EQ(recorder.countOf(L"STARTED"), 0u);
  EXPECT_EQ(client.commands(), Strings{"GET CURRENTUSERHANDLE"});
}

TEST(LinkWineTest, LoggedOutThenTheWatcherAttachesAgain) {
  RecorderSide recorder;
  SimClient client(
      "user dave\n"
      "attach 0 none 0 none\n"
      "wait attach\n"
      "logout\n"
      "wait attach\n");
  EXPECT_EQ(client.waitExit(), 0);
  ASSERT_TRUE(WaitUntil([&] { return recorder.countOf(L"STATUS") >= 3; }));
  // One STATUS per change: attached, logged out, attached again.
  auto flags = recorder.flagsAtStatus();
  ASSERT_EQ(flags.size(), 3u);
  EXPECT_EQ(flags[0], std::make_pair(1u, 0u));
  EXPECT_EQ(flags[1], std::make_pair(0u, 1u)) << "logged out";
  EXPECT_EQ(flags[2], std::make_pair(1u, 0u)) << "attached again";
  EXPECT_EQ(recorder.link().attached.load(), 1u);
  EXPECT_EQ(recorder.link().loggedOut.load(), 0u);
  EXPECT_EQ(client.commands(), (Strings{"GET CURRENTUSERHANDLE", "GET CURRENTUSERHANDLE"}));
}

TEST(LinkWineTest, TheMessageWindowReadsACopyDataTextOnlyWithinCbData) {
  RecorderSide recorder;
  // A window of this thread plays the client's API window.
  HWND fake = CreateWindowExW(0, L"STATIC", L"fake client", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(fake, nullptr);
  SkypeLink& link = recorder.link();
  HWND messageWindow = reinterpret_cast<HWND>(link.messageWindow.load());
  auto send = [&](HWND from, const char* data, DWORD size) {
    COPYDATASTRUCT copy = {0, size, const_cast<char*>(data)};
    return SendMessageW(messageWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                        reinterpret_cast<LPARAM>(&copy));
  };
  const char text[] = "USERSTATUS LOGGEDOUTXYZ";
  EXPECT_EQ(send(nullptr, text, 20), 0) << "nobody is listened to before an attach";
  link.skypeApiWindow.store(reinterpret_cast<WindowId>(fake));
  EXPECT_EQ(send(messageWindow, text, 20), 0) << "only the client's window is listened to";
  link.attached.store(1);
  EXPECT_EQ(send(fake, text, 23), 1);  // "LOGGEDOUTXYZ": not a logout
  EXPECT_EQ(send(fake, text, 20), 1);  // no zero byte inside cbData: "LOGGEDOUT"
  const char marker[] = "CURRENTUSERHANDLE marker";
  EXPECT_EQ(send(fake, marker, sizeof(marker)), 1);
  // The texts are handled in order, each with its messages, so once the
  // marker's are in, everything before it has been handled.
  ASSERT_TRUE(WaitUntil([&] { return link.currentUserHandle.Get() == L"marker" && recorder.countOf(L"STATUS") >= 2; }));
  auto flags = recorder.flagsAtStatus();
  ASSERT_EQ(flags.size(), 2u) << "exactly one logout, then the marker";
  EXPECT_EQ(flags[0], std::make_pair(0u, 1u));
  EXPECT_EQ(flags[1], std::make_pair(1u, 1u));
  DestroyWindow(fake);
}

TEST(LinkWineTest, TheLinkStaysInactiveWhenItsWindowCannotBeCreated) {
  // The class is taken already, so the main window's initialisation fails.
  WNDCLASSW taken = {};
  taken.lpfnWndProc = DefWindowProcW;
  taken.hInstance = GetModuleHandleW(nullptr);
  taken.lpszClassName = kMessageWindowClassName;
  ASSERT_NE(RegisterClassW(&taken), 0);
  {
    RecorderSide recorder;
    EXPECT_FALSE(recorder.linkActive());
    EXPECT_EQ(recorder.link().messageWindow.load(), 0u);
    EXPECT_FALSE(recorder.link().SendCommand(L"FOCUS"));
  }
  UnregisterClassW(kMessageWindowClassName, GetModuleHandleW(nullptr));
}

// --- Audio ------------------------------------------------------------------------------

namespace {

// Listens on a fixed port and keeps all it receives from one connection.
class AudioSink {
 public:
  explicit AudioSink(uint16_t port) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound_ = bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
             listen(listener_, 1) == 0;
    if (bound_) thread_ = std::thread([this] { Receive(); });
  }
  ~AudioSink() {
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
  }
  bool bound() const { return bound_; }
  bool closed() const { return closed_.load(); }
  std::string bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
  }

 private:
  void Receive() {
    SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    char buffer[65536];
    int n;
    while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      bytes_.append(buffer, static_cast<size_t>(n));
    }
    closesocket(s);
    closed_.store(true);
  }
  SOCKET listener_;
  bool bound_ = false;
  std::atomic<bool> closed_{false};
  std::mutex mutex_;
  std::string bytes_;
  std::thread thread_;
};

struct Winsock {
  Winsock() { WSAStartup(MAKEWORD(2, 2), &data); }
  ~Winsock() { WSACleanup(); }
  WSADATA data;
};

std::string AsBytes(const std::vector<int16_t>& samples) {
  return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

}  // namespace

TEST(LinkWineTest, TheClientStreamsBothDirectionsExactlyAsItWritesThemDown) {
  Winsock winsock;
  AudioSink out(6285), in(7285);
  ASSERT_TRUE(out.bound() && in.bound()) << "ports 6285 and 7285 are in use";
  RecorderSide recorder;
  SimClient client(
      "audio 31 out mls 11 32767\n"
      "audio 31 in sine 1000 12000\n"
      "wait attach\n"
      "call 31 INPROGRESS\n"
      "wait audio 31 out 600\n"
      "wait audio 31 in 600\n"
      "call 31 FINISHED\n");
  EXPECT_EQ(client.waitExit(), 0);
  ASSERT_TRUE(WaitUntil([&] { return out.closed() && in.closed(); }));

  std::string outBytes = out.bytes(), inBytes = in.bytes();
  EXPECT_GE(outBytes.size(), 600u * 32);
  EXPECT_EQ(outBytes.size() % 640, 0u) << "20 ms chunks";
  EXPECT_EQ(outBytes, client.rawFile(31, "out"));
  EXPECT_EQ(inBytes, client.rawFile(31, "in"));
  EXPECT_TRUE(client.hasEvent("stream-end 31 out " + std::to_string(outBytes.size())));

  simclient::SignalParams mls;
  mls.kind = simclient::SignalKind::Mls;
  mls.seed = 11;
  mls.amplitude = 32767;
  EXPECT_EQ(outBytes, AsBytes(simclient::GenerateSamples(mls, outBytes.size() / 2)));
  simclient::SignalParams sine;
  sine.frequency = 1000;
  sine.amplitude = 12000;
  EXPECT_EQ(inBytes, AsBytes(simclient::GenerateSamples(sine, inBytes.size() / 2)));
  // A slice from the middle tells where it was taken.
  std::vector<int16_t> slice(8);
  std::memcpy(slice.data(), outBytes.data() + 2 * 4321, 16);
  EXPECT_EQ(simclient::LocateMlsSamples(11, 32767, slice.data(), slice.size(), 100000), 4321);
}

// --- Exit ------------------------------------------------------------------------------

namespace {

// A client window on a thread of its own that takes every command.
class FakeClient {
 public:
  FakeClient() {
    std::promise<HWND> created;
    auto future = created.get_future();
    thread_ = std::thread([this, &created] {
      WNDCLASSW windowClass = {};
      windowClass.lpfnWndProc = Proc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = L"CalvoroLinkTestFakeClient";
      RegisterClassW(&windowClass);
      HWND window = CreateWindowExW(0, L"CalvoroLinkTestFakeClient", L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      threadId_ = GetCurrentThreadId();
      created.set_value(window);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      DestroyWindow(window);
    });
    window_ = future.get();
  }
  ~FakeClient() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }
  HWND window() const { return window_; }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }
  bool received(const std::string& command) {
    auto c = commands();
    return std::find(c.begin(), c.end(), command) != c.end();
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
      auto* self = reinterpret_cast<FakeClient*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->commands_.emplace_back(static_cast<const char*>(copy->lpData));
      return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
};

}  // namespace

TEST(LinkWineTest, StoppingFromTheUserInterfaceThreadServesTheMessagesTheLinkIsSending) {
  RecorderSide recorder;
  FakeClient client;
  SkypeLink& link = recorder.link();
  link.skypeApiWindow.store(reinterpret_cast<WindowId>(client.window()));
  std::atomic<bool> done{false};
  std::atomic<bool> stopped{false};
  std::atomic<size_t> startedAtStop{0};
  // The application's exit path on the user-interface thread, at a moment
  // when the message thread is about to wait for this very thread: it has
  // asked the client for the partner and tells the application of the call
  // next, by a message sent to this thread's main window.
  recorder.post([&] {
    const char text[] = "CALL 1 STATUS INPROGRESS";
    link.OnCopyData(reinterpret_cast<WindowId>(client.window()), text, sizeof(text));
    WaitUntil([&] { return client.received("GET CALL 1 PARTNER_HANDLE"); });
    // The message thread is now inside SendMessageW to this thread: the sent
    // message waits in this thread's queue.
    WaitUntil([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; },
              std::chrono::milliseconds(10000));
    stopped.store(recorder.client().StopThreads());
    startedAtStop.store(recorder.countOf(L"STARTED"));
    done.store(true);
  });
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  EXPECT_TRUE(stopped.load()) << "the message thread was left waiting";
  EXPECT_EQ(startedAtStop.load(), 1u);
  // The call's handling ended whole before the thread did.
  EXPECT_EQ(client.commands(), (Strings{"GET CALL 1 PARTNER_HANDLE",
                                        "ALTER CALL 1 SET_OUTPUT SOUNDCARD=\"default\" port=\"6285\"",
                                        "ALTER CALL 1 SET_CAPTURE_MIC port=\"7285\""}));
}

namespace {

LRESULT CALLBACK AnsweringClientProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) return TRUE;
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// A client whose window thread stops answering (hung in a dialog, say) must
// not hang the thread that sends it a command: the command counts as not
// accepted after a while.
TEST(CommandDelivery, AClientThatStopsAnsweringDoesNotHangTheSender) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = AnsweringClientProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"CalvoroTestAnsweringClient";
  RegisterClassW(&windowClass);
  HANDLE stall = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> stalled{false};
  std::thread client([&] {
    HWND own = CreateWindowExW(0, L"CalvoroTestAnsweringClient", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    window.store(own);
    while (MsgWaitForMultipleObjects(1, &stall, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    // From here on nothing is answered until the test lets go.
    stalled.store(true);
    WaitForSingleObject(release, INFINITE);
    DestroyWindow(own);
  });
  ASSERT_TRUE(WaitUntil([&] { return window.load() != nullptr; }));
  WindowId clientWindow = reinterpret_cast<WindowId>(window.load());
  std::string command("PING\0\0", 6);
  EXPECT_TRUE(DeliverCommandToSkype(clientWindow, 0, command));
  SetEvent(stall);
  ASSERT_TRUE(WaitUntil([&] { return stalled.load(); }));
  EXPECT_FALSE(DeliverCommandToSkype(clientWindow, 0, command));
  SetEvent(release);
  client.join();
  CloseHandle(stall);
  CloseHandle(release);
}
