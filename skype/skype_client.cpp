#include "skype/skype_client.h"

#include "common/strings.h"
#include "platform/debug_trace.h"

namespace {

// Notifications that are logged and otherwise ignored.
constexpr const wchar_t* kIgnoredPrefixes[] = {
    L"SET CALL ", L"ERROR ", L"USER ", L"MESSAGE ", L"CHATMESSAGE ",
    L"CHAT ",     L"PROFILE ", L"SMS ", L"OPEN OPTIONS PRIVACY",
};

}  // namespace

SkypeClient::SkypeClient(const SettingsStore& settings, SkypeEvents& events)
    : link(events), calls(settings, events), settings_(settings), threads_(*this) {}

SkypeClient::~SkypeClient() { threads_.Stop(kLinkStopDeadline); }

void SkypeClient::ParseMessage(const std::wstring& text) {
  DebugTrace(L"Parse Message From Skype: %s", {text});
  // A call notification goes to the call state machine; no rule below matches
  // it, so the connection handler that it reaches ignores it.
  if (StartsWithNoCase(text, L"CALL "))
    calls.ParseCallMessage(text, [this](std::wstring_view command) { return link.SendCommand(command); });
  for (const wchar_t* prefix : kIgnoredPrefixes)
    if (StartsWithNoCase(text, prefix)) return;
  link.ParseConnectionMessage(text);
}
