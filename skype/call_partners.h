// The handles of the partners of the calls in progress, as the call state
// machine keeps them (call_state.h), and the list that names a recording.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

constexpr size_t kPartnerSlots = 1024;
constexpr size_t kPartnerSlotUnits = 300;  // so a handle keeps at most 299 characters

class PartnerTable {
 public:
  PartnerTable();
  PartnerTable(const PartnerTable&) = delete;
  PartnerTable& operator=(const PartnerTable&) = delete;

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
  using Slots = std::array<Slot, kPartnerSlots>;
  mutable std::mutex mutex_;
  // 600 KiB: on the heap, so that an owner may live on a thread's stack.
  std::unique_ptr<Slots> slots_;
};

// For each slot from the first on, the finished table's handle if there is one,
// else the live table's; the list ends at the first slot empty in both. The
// handles are made file-name safe (FileNameSafeText) and separated by single
// blanks.
std::wstring BuildPartnerList(const PartnerTable& finished, const PartnerTable& live);
