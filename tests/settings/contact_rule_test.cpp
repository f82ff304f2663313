#include <gtest/gtest.h>

#include "settings/contact_rule.h"
#include "settings/settings.h"

namespace {
using Partners = std::vector<std::wstring>;
}

TEST(ContactList, SplitsOnBlanksCommasAndLinesAsTyped) {
  EXPECT_EQ(ParseContactList(L"  bob,alice ;\r\ncarol\tlive:dave\uFF0Ceve\u3001frank "),
            (Partners{L"bob", L"alice", L"carol", L"live:dave", L"eve", L"frank"}));
  EXPECT_TRUE(ParseContactList(L" , ;\r\n").empty());
  EXPECT_TRUE(ParseContactList(L"").empty());
}

TEST(ContactRule, EveryCallIsTheDefaultAndUnknownRulesRecordAll) {
  for (RecordContacts rule : {RecordContacts::EveryCall, static_cast<RecordContacts>(3), static_cast<RecordContacts>(255)}) {
    EXPECT_TRUE(ContactRuleRecords(rule, L"bob", Partners{L"bob"})) << static_cast<int>(rule);
    EXPECT_TRUE(ContactRuleRecords(rule, L"", Partners{})) << static_cast<int>(rule);
  }
}

TEST(ContactRule, ListedOnlyTakesACallWithAnyListedPartnerIgnoringCase) {
  EXPECT_TRUE(ContactRuleRecords(RecordContacts::ListedOnly, L"Bob, carol", Partners{L"BOB"}));
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::ListedOnly, L"Bob, carol", Partners{L"alice"}));
  // A conference: one listed partner is enough.
  EXPECT_TRUE(ContactRuleRecords(RecordContacts::ListedOnly, L"carol", Partners{L"alice", L"carol"}));
  // A handle is compared whole: "bo" is not "bob".
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::ListedOnly, L"bo", Partners{L"bob"}));
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::ListedOnly, L"bob", Partners{L"bobby"}));
  // Nobody known yet, or an empty list: nothing passes.
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::ListedOnly, L"bob", Partners{}));
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::ListedOnly, L"", Partners{L"bob"}));
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::ListedOnly, L"bob", Partners{L""}));
}

TEST(ContactRule, AllButListedSkipsOnlyWhenEveryPartnerIsListed) {
  EXPECT_TRUE(ContactRuleRecords(RecordContacts::AllButListed, L"bob", Partners{L"alice"}));
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::AllButListed, L"bob", Partners{L"Bob"}));
  // alice passes, so the conference with bob is recorded.
  EXPECT_TRUE(ContactRuleRecords(RecordContacts::AllButListed, L"bob", Partners{L"bob", L"alice"}));
  EXPECT_FALSE(ContactRuleRecords(RecordContacts::AllButListed, L"bob,alice", Partners{L"bob", L"alice"}));
  // An empty list excludes nobody; an unknown partner is not listed.
  EXPECT_TRUE(ContactRuleRecords(RecordContacts::AllButListed, L"", Partners{L"bob"}));
  EXPECT_TRUE(ContactRuleRecords(RecordContacts::AllButListed, L"bob", Partners{}));
}
