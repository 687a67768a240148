#include "weft/weft_sender_win32.h"

#include <cstring>

#include "weft/sender_set.h"
#include "weft/weft_names.h"
#include "weft/weft_sender_names_win32.h"

namespace weft {

bool EditSenderList(const std::string& name, bool add) {
  // Kept mapped for the life of the process, like a sender's: the list must outlive the edit
  // even when no receiver holds it yet.
  static WeftSharedMemory list;
  if (list.Create(kSenderNamesSegment, kDefaultMaxSenders * kSlotBytes) == WEFT_CREATE_FAILED) {
    return false;
  }
  const SegmentLock lock(list);
  if (lock.View() == nullptr) return false;
  auto* bytes = reinterpret_cast<uint8_t*>(lock.View());
  SenderSet set;
  ParseSenderSlots(bytes, list.ViewBytes(), set, kDefaultMaxSenders);
  if (add) {
    set.insert(name);
  } else {
    set.erase(name);
  }
  StoreSenderSlots(bytes, list.ViewBytes(), set, kDefaultMaxSenders);
  return true;
}

bool WriteActiveSender(const std::string& name, bool only_if_none) {
  // Kept open for the life of the process, so that the active name outlives this call even when
  // no receiver holds the segment.
  static WeftSharedMemory active;
  if (active.Create(kActiveSenderSegment, kActiveSenderSegmentBytes) == WEFT_CREATE_FAILED) {
    return false;
  }
  const SegmentLock lock(active);
  char* view = lock.View();
  if (view == nullptr) return false;
  if (!only_if_none || view[0] == '\0') std::memcpy(view, name.c_str(), name.size() + 1);
  return true;
}

bool SenderRegistration::Register(const std::string& name, const SenderInfoRecord& record,
                                  bool make_active) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  if (name_ != name) {
    segment_.Close();
    name_ = name;
  }
  if (segment_.Create(name.c_str(), 4096) == WEFT_CREATE_FAILED) return false;
  {
    const SegmentLock lock(segment_);
    if (lock.View() == nullptr) return false;
    WriteSenderInfoRecord(record, reinterpret_cast<uint8_t*>(lock.View()));
  }
  return EditSenderList(name, true) && WriteActiveSender(name, !make_active);
}

void SenderRegistration::Unregister() {
  if (name_.empty()) return;
  weftSenderNames names;
  names.UnregisterSenderName(name_.c_str());
  segment_.Close();
  name_.clear();
}

bool SenderSync::Open(const std::string& name) {
  std::string semaphore_name;
  std::string mutex_name;
  if (!CountSemaphoreName(name.c_str(), semaphore_name) ||
      !AccessMutexName(name.c_str(), mutex_name)) {
    return false;
  }
  semaphore_.reset(CreateSemaphoreA(nullptr, kCountSemaphoreInitial, kCountSemaphoreMaximum,
                                    semaphore_name.c_str()));
  mutex_.reset(CreateMutexA(nullptr, FALSE, mutex_name.c_str()));
  return static_cast<bool>(semaphore_) && static_cast<bool>(mutex_);
}

bool SenderSync::Lock(DWORD timeout_ms) {
  if (!mutex_) return false;
  const DWORD wait = WaitForSingleObject(mutex_.get(), timeout_ms);
  return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

void SenderSync::Unlock() {
  if (mutex_) ReleaseMutex(mutex_.get());
}

bool SenderSync::Signal(LONG frames) {
  return semaphore_ && ReleaseSemaphore(semaphore_.get(), frames, nullptr) != 0;
}

}  // namespace weft
