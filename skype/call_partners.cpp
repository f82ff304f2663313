#include "skype/call_partners.h"

#include <algorithm>
#include <cstring>

#include "common/strings.h"

PartnerTable::PartnerTable() : slots_(std::make_unique<Slots>()) { Clear(); }

bool PartnerTable::Set(size_t index, std::wstring_view handle) {
  if (index >= kPartnerSlots) return false;
  std::wstring cut = CutToSlot(handle, kPartnerSlotUnits);
  std::lock_guard<std::mutex> lock(mutex_);
  Slot& slot = (*slots_)[index];
  slot.fill(L'\0');
  std::copy(cut.begin(), cut.end(), slot.begin());
  return true;
}

std::wstring PartnerTable::Get(size_t index) const {
  if (index >= kPartnerSlots) return std::wstring();
  std::lock_guard<std::mutex> lock(mutex_);
  return std::wstring((*slots_)[index].data());
}

void PartnerTable::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  // One block of zeros: the slots are plain characters, one after the other.
  std::memset(slots_->data(), 0, sizeof(Slots));
}

void PartnerTable::CopyFrom(const PartnerTable& from) {
  if (&from == this) return;
  std::scoped_lock lock(mutex_, from.mutex_);
  *slots_ = *from.slots_;
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
