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

// The handles of a contact list, in its order, without empty entries.
std::vector<std::wstring> ParseContactList(std::wstring_view list);

// The rule records a call with these partners. Every call under
// kRecordEveryCall; under kRecordListedOnly only a call with a listed partner
// (none while no partner is known); under kRecordAllButListed every call with
// a partner that is not listed (and a call whose partner is not known yet).
bool ContactRuleRecords(uint8_t rule, std::wstring_view contactList, const std::vector<std::wstring>& partners);
