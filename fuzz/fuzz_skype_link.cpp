// Arbitrary texts from the client through the link: the received-text
// handling, the notification parser and the call state machine, with attach
// statuses mixed in. Checks the invariants the rest of the recorder relies on,
// both after each text and whenever the application is told something.
//
// Input: the first byte picks the settings (RecordWay, hiding the client's
// window); the rest is lines. A line "@<n>" is an attach status n; a line "!"
// is the client's window vanishing, as the watcher finds it, with the message
// thread's handling of that; any other line is one WM_COPYDATA from the
// client, its bytes as given (zeros included).
// Each input gets a client of its own, so that every run starts from nothing.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/skype_client.h"
#include "skype/skype_events.h"
#include "skype/skype_link.h"
#include "tests/support/skype_client_standin.h"

namespace {

constexpr WindowId kApiWindow = 0x77;

// Whether the client's API window is there, as the watcher asks.
std::atomic<bool> clientWindowGone{false};

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every command must be text, then exactly two zero bytes.
bool CheckCommand(WindowId apiWindow, WindowId, const std::string& data) {
  Check(apiWindow != 0);
  Check(data.size() >= 3);
  Check(data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0');
  Check(data.find('\0') == data.size() - 2);
  return true;
}

void CheckInvariants(const SkypeClient& client) {
  const CallStateMachine& calls = client.calls;
  const SkypeLink& link = client.link;
  int32_t count = calls.activeCallCount.load();
  Check(count >= 0);
  auto ids = calls.activeCallIds.Snapshot();
  Check(ids.size() >= static_cast<size_t>(count));
  for (size_t i = 0; i < ids.size(); ++i)
    for (size_t j = i + 1; j < ids.size(); ++j) Check(ids[i] != ids[j]);
  Check(link.currentUserHandle.Get().size() <= kUserHandleUnits - 1);
  Check(link.attached.load() <= 1 && link.loggedOut.load() <= 1);
  for (size_t slot = 0; slot < 4; ++slot) Check(calls.callPartners.Get(slot).size() <= kPartnerSlotUnits - 1);
  if (count == 0) Check(calls.callPartners.Get(0).empty());
}

// The application's side: what it finds when it is told.
class CheckedEvents : public SkypeEvents {
 public:
  void Watch(const SkypeClient* client) { client_ = client; }

  void OnClientStateChanged() override {
    // Told after the change: an attach has the flag set, a logout both flags,
    // a vanished client has left the link without a window.
    const SkypeLink& link = client_->link;
    Check(link.attached.load() == 1 || link.loggedOut.load() == 1 ||
          (link.attached.load() == 0 && link.skypeApiWindow.load() == 0));
    CheckInvariants(*client_);
  }
  void OnCallStarted() override {
    // The call is counted and listed before the application hears of it.
    Check(client_->calls.activeCallCount.load() > 0);
    Check(client_->calls.activeCallIds.Size() > 0);
    CheckInvariants(*client_);
  }
  void OnCallEnded() override {
    // When no call is left, the partners are saved and the live table clear.
    if (client_->calls.activeCallCount.load() == 0) Check(client_->calls.callPartners.Get(0).empty());
    CheckInvariants(*client_);
  }
  void OnPartnerKnown() override { CheckInvariants(*client_); }

 private:
  const SkypeClient* client_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    SkypeClientStandIn standIn;
    standIn.command = CheckCommand;
    standIn.windowExists = [](WindowId) { return !clientWindowGone.load(); };
    SetSkypeClientStandIn(standIn);
    return true;
  }();
  (void)once;
  if (size == 0) return 0;
  SettingsStore settings;
  settings.Change([&](SettingsRecord& s) {
    s.recordWay = static_cast<RecordWay>(data[0] & 3);
    s.hideClientWindowInCall = (data[0] >> 2) & 1;
  });
  CheckedEvents events;
  SkypeClient client(settings, events);
  events.Watch(&client);
  SkypeLink& link = client.link;
  link.messageWindow.store(0x3C);
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

  while (!input.empty()) {
    size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    if (!line.empty() && line[0] == '@') {
      uintptr_t status = std::strtoul(std::string(line.substr(1)).c_str(), nullptr, 0);
      link.OnAttachStatus(kApiWindow, status);
      continue;
    }
    if (line == "!") {
      bool known = link.skypeApiWindow.load() != 0;
      clientWindowGone.store(true);
      bool gone = link.CheckClientWindow();
      clientWindowGone.store(false);
      Check(gone == known);
      if (!gone) continue;
      Check(link.attached.load() == 0 && link.skypeApiWindow.load() == 0);
      // The message thread wakes up to an empty text, then drops the calls.
      std::wstring wake;
      Check(link.notificationQueue.Take(wake) && wake.empty());
      Check(link.TakeClientGone());
      client.calls.OnClientGone();
      Check(client.calls.activeCallCount.load() == 0 && client.calls.activeCallIds.Size() == 0);
      CheckInvariants(client);
      continue;
    }
    // From the client, and once from someone else, which must be refused.
    Check(!link.OnCopyData(kApiWindow + 1, line.data(), line.size()));
    if (!link.OnCopyData(kApiWindow, line.data(), line.size())) continue;
    std::wstring text;
    Check(link.notificationQueue.Take(text));
    Check(text.size() <= kNotificationMaxChars);
    if (!text.empty()) client.ParseMessage(text);
    CheckInvariants(client);
  }
  return 0;
}
