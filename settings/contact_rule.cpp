#include "settings/contact_rule.h"

#include <algorithm>

#include "common/strings.h"
#include "settings/settings.h"

namespace {

bool Separates(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L',' || c == L';' || c == L'\x3000' ||
         c == L'\xFF0C' || c == L'\xFF1B' || c == L'\x3001';
}

}  // namespace

std::vector<std::wstring> ParseContactList(std::wstring_view list) {
  std::vector<std::wstring> handles;
  size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && Separates(list[at])) ++at;
    size_t end = at;
    while (end < list.size() && !Separates(list[end])) ++end;
    if (end > at) handles.emplace_back(list.substr(at, end - at));
    at = end;
  }
  return handles;
}

bool ContactRuleRecords(RecordContacts rule, std::wstring_view contactList, const std::vector<std::wstring>& partners) {
  if (rule != RecordContacts::ListedOnly && rule != RecordContacts::AllButListed) return true;
  const std::vector<std::wstring> listed = ParseContactList(contactList);
  auto isListed = [&listed](const std::wstring& partner) {
    return std::any_of(listed.begin(), listed.end(),
                       [&partner](const std::wstring& handle) { return EqualsNoCase(handle, partner); });
  };
  std::vector<std::wstring> known;
  for (const std::wstring& p : partners)
    if (!p.empty()) known.push_back(p);
  if (rule == RecordContacts::ListedOnly) return std::any_of(known.begin(), known.end(), isListed);
  if (known.empty()) return true;
  return std::any_of(known.begin(), known.end(), [&isListed](const std::wstring& p) { return !isListed(p); });
}
