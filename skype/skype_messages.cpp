#include "skype/skype_messages.h"

#include "common/strings.h"
#include "platform/debug_trace.h"
#include "skype/call_state.h"
#include "skype/skype_link.h"

namespace {

// Notifications that are logged and otherwise ignored.
constexpr const wchar_t* kIgnoredPrefixes[] = {
    L"SET CALL ", L"ERROR ", L"USER ", L"MESSAGE ", L"CHATMESSAGE ",
    L"CHAT ",     L"PROFILE ", L"SMS ", L"OPEN OPTIONS PRIVACY",
};

bool SendThroughTheLink(std::wstring_view command) { return SendCommandToSkype(command); }

}  // namespace

void ParseMessageFromSkype(const std::wstring& text) {
  DebugTrace(L"Parse Message From Skype: %s", {text});
  // A call notification goes to the call state machine; no rule below matches
  // it, so the connection handler that it reaches ignores it.
  if (StartsWithNoCase(text, L"CALL ")) ParseCallMessage(text, SendThroughTheLink);
  for (const wchar_t* prefix : kIgnoredPrefixes)
    if (StartsWithNoCase(text, prefix)) return;
  ParseConnectionMessage(text);
}

void ResetSkypeLinkState() {
  ResetLinkFlags();
  ResetCallState();
}
