#include "skype/call_partners.h"


#include "common/strings.h"

PartnerTable::PartnerTable() : slots_(kPartnerSlots) {}

bool PartnerTable::Set(size_t index, std::wstring_view handle) {
  if (index >= kPartnerSlots) return false;
  // A slot holds what a zero-terminated slot of 300 units would: the text up
  // to its first zero, at most 299 characters.
  std::wstring cut = CutToSlot(handle, kPartnerSlotUnits);
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[index] = std::move(cut);
  return true;
}

std::wstring PartnerTable::Get(size_t index) const {
  if (index >= kPartnerSlots) return std::wstring();
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_[index];
}

void PartnerTable::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::wstring& slot : slots_) slot.clear();
}

void PartnerTable::CopyFrom(const PartnerTable& from) {
  if (&from == this) return;
  std::scoped_lock lock(mutex_, from.mutex_);
  slots_ = from.slots_;
}

std::wstring BuildPartnerList(const PartnerTable& finished, const PartnerTable& live) {
  std::wstring list;
  for (size_t i = 0; i < kPartnerSlots; ++i) {
    std::wstring name = finished.Get(i);
    if (name.empty()) name = live.Get(i);
    if (name.empty()) break;
    list += FileNameSafeText(name);
    list += L' ';
  }
  if (!list.empty()) list.pop_back();
  return list;
}
