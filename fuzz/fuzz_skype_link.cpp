// Arbitrary texts from the client through the link: the received-text
// handling, the notification parser and the call state machine, with attach
// statuses mixed in. Checks the invariants the rest of the recorder relies on.
//
// Input: the first byte picks the settings (RecordWay, hiding the client's
// window); the rest is lines. A line "@<n>" is an attach status n; any other
// line is one WM_COPYDATA from the client, its bytes as given (zeros included).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/settings.h"
#include "skype/call_partners.h"
#include "skype/call_state.h"
#include "skype/skype_link.h"
#include "skype/skype_messages.h"
#include "tests/support/skype_client_standin.h"

namespace {

constexpr WindowId kApiWindow = 0x77;

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

void CheckInvariants() {
  int32_t count = activeCallCount.load();
  Check(count >= 0);
  auto ids = activeCallIds.Snapshot();
  Check(ids.size() >= static_cast<size_t>(count));
  for (size_t i = 0; i < ids.size(); ++i)
    for (size_t j = i + 1; j < ids.size(); ++j) Check(ids[i] != ids[j]);
  Check(currentUserHandle.Get().size() <= kUserHandleUnits - 1);
  Check(attached.load() <= 1 && loggedOut.load() <= 1);
  for (size_t slot = 0; slot < 4; ++slot) Check(callPartners.Get(slot).size() <= kPartnerSlotUnits - 1);
  if (count == 0) Check(callPartners.Get(0).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    SkypeClientStandIn standIn;
    standIn.command = CheckCommand;
    SetSkypeClientStandIn(standIn);
    return true;
  }();
  (void)once;
  ResetSkypeLinkState();
  messageWindow.store(0x3C);
  if (size == 0) return 0;
  Settings.Change([&](SettingsRecord& s) {
    s.RecordWay = data[0] & 3;
    s.CloseSkypeMainWindowWhenTalking = (data[0] >> 2) & 1;
  });
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

  while (!input.empty()) {
    size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    if (!line.empty() && line[0] == '@') {
      uintptr_t status = std::strtoul(std::string(line.substr(1)).c_str(), nullptr, 0);
      OnAttachStatus(kApiWindow, status);
      continue;
    }
    // From the client, and once from someone else, which must be refused.
    Check(!OnCopyDataFromSkype(kApiWindow + 1, line.data(), line.size()));
    if (!OnCopyDataFromSkype(kApiWindow, line.data(), line.size())) continue;
    std::wstring text;
    Check(notificationQueue.Take(text));
    Check(text.size() <= kNotificationMaxChars);
    if (!text.empty()) ParseMessageFromSkype(text);
    CheckInvariants();
  }
  return 0;
}
