#include "skype/skype_client.h"

#include <string>
#include <string_view>

#include "common/strings.h"
#include "platform/debug_trace.h"

namespace {

// Notifications that are logged and otherwise ignored.
constexpr const wchar_t* kIgnoredPrefixes[] = {
    L"SET CALL ", L"ERROR ", L"USER ", L"MESSAGE ", L"CHATMESSAGE ",
    L"CHAT ",     L"PROFILE ", L"SMS ", L"OPEN OPTIONS PRIVACY",
};

// What the trace shows of a notification. Chats, messages, profiles and
// other users' states are the user's own business: only their kind is
// shown. Of a call only its number and property, and the value of the two
// properties the recorder acts on (a partner's handle is in the recording's
// name anyway); not display names, topics and the like.
std::wstring TracedPart(const std::wstring& text) {
  for (const wchar_t* prefix : {L"USER ", L"MESSAGE ", L"CHATMESSAGE ", L"CHAT ", L"PROFILE ", L"SMS "})
    if (StartsWithNoCase(text, prefix)) return std::wstring(prefix) + L"...";
  if (!StartsWithNoCase(text, L"CALL ")) return text;
  size_t idEnd = text.find(L' ', 5);
  size_t propertyEnd = idEnd == std::wstring::npos ? idEnd : text.find(L' ', idEnd + 1);
  if (propertyEnd == std::wstring::npos) return text;
  std::wstring_view property = std::wstring_view(text).substr(idEnd + 1, propertyEnd - idEnd - 1);
  if (property == L"STATUS" || property == L"PARTNER_HANDLE") return text;
  return text.substr(0, propertyEnd) + L" ...";
}

}  // namespace

SkypeClient::SkypeClient(const SettingsStore& settings, SkypeEvents& events)
    : link(events), calls(settings, events), settings_(settings), threads_(*this) {}

SkypeClient::~SkypeClient() { threads_.Stop(kLinkStopDeadline); }

void SkypeClient::ParseMessage(const std::wstring& text) {
  DebugTrace(L"From the client: %s", {TracedPart(text)});
  // A call notification goes to the call state machine; no rule below matches
  // it, so the connection handler that it reaches ignores it.
  if (StartsWithNoCase(text, L"CALL "))
    calls.ParseCallMessage(text, [this](std::wstring_view command) { return link.SendCommand(command); });
  for (const wchar_t* prefix : kIgnoredPrefixes)
    if (StartsWithNoCase(text, prefix)) return;
  link.ParseConnectionMessage(text);
}
