// The calls in progress as the recorder counts them, and the handles of their
// partners. Written by the call state machine on the client-message thread;
// read by the main window, the recording session and the finishing sequence.
//
// `callPartners` slot k-1 holds the partner of the call that made
// `activeCallCount` equal to k. When the last call finishes, the whole table is
// copied over `finishedCallPartners` and cleared, so that the recording, which
// finishes after that, can still be named after its partners.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

constexpr size_t kPartnerSlots = 1024;
constexpr size_t kPartnerSlotUnits = 300;  // so a handle keeps at most 299 characters

class PartnerTable {
 public:
  PartnerTable();

  // Stores a handle (cut to 299 characters) in slot `index`; false when the
  // index is outside the table.
  bool Set(size_t index, std::wstring_view handle);
  // The slot's handle; empty for an empty slot or an index outside the table.
  std::wstring Get(size_t index) const;
  void Clear();

  // Copies `from` over this table in one step.
  void CopyFrom(const PartnerTable& from);

 private:
  using Slot = std::array<wchar_t, kPartnerSlotUnits>;
  mutable std::mutex mutex_;
  std::array<Slot, kPartnerSlots> slots_;
};

extern std::atomic<int32_t> activeCallCount;
extern PartnerTable callPartners;
extern PartnerTable finishedCallPartners;

// The end of the last call: callPartners is copied over finishedCallPartners,
// then cleared.
void SaveAndClearCallPartners();
