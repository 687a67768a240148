#include "support/weft_sender_win32.h"

#include <cstring>

#include "weft/sender_set.h"
#include "weft/weft_sender_names_win32.h"

namespace tsl::testing {

bool EditSenderList(const std::string& name, bool add) {
  // Kept mapped for the life of the process, like a sender's: the list must outlive the edit
  // even when no receiver holds it yet.
  static WeftSharedMemory list;
  if (list.Create(weft::kSenderNamesSegment, weft::kDefaultMaxSenders * weft::kSlotBytes) ==
      WEFT_CREATE_FAILED) {
    return false;
  }
  char* view = list.Lock();
  if (view == nullptr) return false;
  auto* bytes = reinterpret_cast<uint8_t*>(view);
  weft::SenderSet set;
  weft::ParseSenderSlots(bytes, list.ViewBytes(), set, weft::kDefaultMaxSenders);
  if (add) {
    set.insert(name);
  } else {
    set.erase(name);
  }
  weft::StoreSenderSlots(bytes, list.ViewBytes(), set, weft::kDefaultMaxSenders);
  list.Unlock();
  return true;
}

bool WriteActiveSender(const std::string& name, bool only_if_none) {
  // Kept open for the life of the process, so that the active name outlives this call even when
  // no receiver holds the segment.
  static WeftSharedMemory active;
  if (active.Create(weft::kActiveSenderSegment, weft::kActiveSenderSegmentBytes) ==
      WEFT_CREATE_FAILED) {
    return false;
  }
  char* view = active.Lock();
  if (view == nullptr) return false;
  if (!only_if_none || view[0] == '\0') std::memcpy(view, name.c_str(), name.size() + 1);
  active.Unlock();
  return true;
}

bool WeftSenderRegistration::Register(const std::string& name, const weft::SenderInfoRecord& record,
                                      bool make_active) {
  if (name.empty() || name.size() > weft::kMaxNameBytes) return false;
  if (name_ != name) {
    segment_.Close();
    name_ = name;
  }
  if (segment_.Create(name.c_str(), 4096) == WEFT_CREATE_FAILED) return false;
  char* view = segment_.Lock();
  if (view == nullptr) return false;
  weft::WriteSenderInfoRecord(record, reinterpret_cast<uint8_t*>(view));
  segment_.Unlock();
  return EditSenderList(name, true) && WriteActiveSender(name, !make_active);
}

void WeftSenderRegistration::Unregister() {
  if (name_.empty()) return;
  weftSenderNames names;
  names.UnregisterSenderName(name_.c_str());
  segment_.Close();
  name_.clear();
}

}  // namespace tsl::testing
