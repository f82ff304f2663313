// Whose calls the automatic recording takes (RecordContacts, ContactList).
//
// The contact list names partner handles separated by blanks or commas (also
// the full-width comma and semicolons, as a list pasted from elsewhere has
// them); handles compare without regard to letter case. A call with several
// partners (a conference the client reports as several calls) is recorded
// when any of its partners passes the rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class RecordContacts : uint8_t;  // settings/settings.h

// The handles of a contact list, in its order, without empty entries.
std::vector<std::wstring> ParseContactList(std::wstring_view list);

// The rule records a call with these partners. Every call under EveryCall (and
// a value out of range); under ListedOnly only a call with a listed partner
// (none while no partner is known); under AllButListed every call with a
// partner that is not listed (and a call whose partner is not known yet).
bool ContactRuleRecords(RecordContacts rule, std::wstring_view contactList, const std::vector<std::wstring>& partners);
