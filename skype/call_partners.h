// The handles of the partners of the calls in progress, as the call state
// machine keeps them (call_state.h), and the list that names a recording.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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
  mutable std::mutex mutex_;
  // One text per slot, each already cut to its slot's size; most are empty.
  std::vector<std::wstring> slots_;
};

// For each slot from the first on, the finished table's handle if there is one,
// else the live table's; the list ends at the first slot empty in both. The
// handles are made file-name safe (FileNameSafeText) and separated by single
// blanks.
std::wstring BuildPartnerList(const PartnerTable& finished, const PartnerTable& live);
