#include "weft/weft_sender_names_win32.h"

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "weft/segment_views.h"
#include "weft/weft_log.h"
#include "weft/weft_names.h"
#include "weft/weft_registry_win32.h"

using weft::LogError;
using weft::LogWarning;

int32_t weftSenderNames::SanitiseMaxSenders(uint32_t value) {
  constexpr uint32_t kLargest = 0x7FFFFFFF / weft::kSlotBytes;
  if (value == 0 || value > kLargest) return weft::kDefaultMaxSenders;
  return static_cast<int32_t>(value);
}

weftSenderNames::weftSenderNames() {
  DWORD value = 0;
  if (weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, weft::kRegistryKey, weft::kMaxSendersValue,
                                  &value)) {
    maxSenders_ = SanitiseMaxSenders(value);
  }
}

bool weftSenderNames::OpenList() {
  if (namesSegment_.Create(weft::kSenderNamesSegment, maxSenders_ * weft::kSlotBytes) ==
      WEFT_CREATE_FAILED) {
    LogError("weftSenderNames::CreateSenderSet() : WEFT_CREATE_FAILED");
    return false;
  }
  return true;
}

bool weftSenderNames::ReadSenderSet(weft::SenderSet& set) {
  if (!OpenList()) return false;
  const SegmentLock lock(namesSegment_);
  if (lock.View() == nullptr) return false;
  weft::ParseSenderSlots(reinterpret_cast<const uint8_t*>(lock.View()), namesSegment_.ViewBytes(),
                         set, maxSenders_);
  return true;
}

bool weftSenderNames::UnregisterSenderName(const char* name) { return RemoveListed(name, false); }

bool weftSenderNames::RemoveListed(const char* name, bool only_if_gone) {
  // A name that cannot be in the list (null, or too long for a slot) is refused before any
  // shared state is touched.
  if (weft::BoundedNameLength(name) < 0) return false;
  if (!OpenList()) return false;
  const SegmentLock lock(namesSegment_);
  if (lock.View() == nullptr) return false;
  auto* view = reinterpret_cast<uint8_t*>(lock.View());

  weft::SenderSet set;
  weft::ParseSenderSlots(view, namesSegment_.ViewBytes(), set, maxSenders_);
  const auto it = set.find(name);
  if (it == set.end()) return false;
  weft::SenderInfoRecord record;
  // Never waits for the sender's lock while the list's is held.
  if (only_if_gone && CopySenderRecord(name, record, 0) != RecordRead::kNoSegment) return false;
  const std::string removed = *it;
  set.erase(it);
  weft::StoreSenderSlots(view, namesSegment_.ViewBytes(), set, maxSenders_);

  if (!set.empty()) {
    char active[weft::kNameBufferBytes] = {};
    const bool was_active =
        readActiveSenderName(active, sizeof active) && weft::ActiveNameIs(active, removed);
    if (was_active || set.size() == 1) setActiveSenderName(set.begin()->c_str());
  }
  return true;
}

bool weftSenderNames::IsGoneError(DWORD error) {
  // A name that names no mapping, or that the system cannot take as a mapping's name at all (a
  // backslash in it, say), is a sender nobody can open: it never comes back by waiting.
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return true;
    default:
      return false;
  }
}

weftSenderNames::RecordRead weftSenderNames::CopySenderRecord(const char* name,
                                                              weft::SenderInfoRecord& record,
                                                              DWORD wait_ms) {
  WeftSharedMemory segment;
  if (!segment.Open(name)) {
    // Open also fails when the mapping exists but cannot be mapped or its mutex not made: such a
    // sender is only busy.
    return IsGoneError(GetLastError()) ? RecordRead::kNoSegment : RecordRead::kBusy;
  }
  const SegmentLock lock(segment, wait_ms);
  if (lock.View() == nullptr) return RecordRead::kBusy;
  // A sender segment is never smaller than its record, but another process made it: check.
  const bool fits = weft::ReadSenderRecordView(reinterpret_cast<const uint8_t*>(lock.View()),
                                               segment.ViewBytes(), record);
  return fits ? RecordRead::kCopied : RecordRead::kBusy;
}

int32_t weftSenderNames::CountSenders(const std::function<bool()>& give_up) {
  constexpr auto kWalkBudget = std::chrono::milliseconds(10);
  weft::SenderSet set;
  if (!ReadSenderSet(set)) return 0;
  if (set.empty()) return 0;
  const std::vector<std::string> names(set.begin(), set.end());
  const auto deadline = std::chrono::steady_clock::now() + kWalkBudget;
  size_t looked = 0;
  for (; looked < names.size(); ++looked) {
    if (looked > 0 && ((give_up && give_up()) || std::chrono::steady_clock::now() > deadline)) {
      break;
    }
    const std::string& name = names[(nextCounted_ + looked) % names.size()];
    weft::SenderInfoRecord record;
    // A sender that holds its own segment's lock is alive: dropping it would take it off the
    // list every program on the machine reads, for good.
    if (CopySenderRecord(name.c_str(), record, 0) == RecordRead::kNoSegment) {
      RemoveListed(name.c_str(), true);
    }
  }
  nextCounted_ = (nextCounted_ + looked) % names.size();
  return ReadSenderSet(set) ? static_cast<int32_t>(set.size()) : 0;
}

bool weftSenderNames::SenderNameAt(int32_t index, char* name, int32_t size) {
  weft::SenderSet set;
  if (!ReadSenderSet(set)) return false;
  if (static_cast<uint32_t>(index) >= set.size()) return false;
  auto it = set.begin();
  std::advance(it, index);
  return weft::CopyNameOut(*it, name, size);
}

bool weftSenderNames::setActiveSenderName(const char* name) {
  const long length = weft::BoundedNameLength(name);
  if (length <= 0) return false;
  if (activeSegment_.Size() > 0) activeSegment_.Close();
  if (activeSegment_.Create(weft::kActiveSenderSegment, weft::kActiveSenderSegmentBytes) ==
      WEFT_CREATE_FAILED) {
    LogWarning("weftSenderNames::setActiveSenderName - could not create memory");
    return false;
  }
  const SegmentLock lock(activeSegment_);
  if (lock.View() == nullptr) {
    LogWarning("weftSenderNames::setActiveSenderName - could not lock buffer");
    return false;
  }
  std::memcpy(lock.View(), name, static_cast<size_t>(length) + 1);
  return true;
}

bool weftSenderNames::readActiveSenderName(char* name, int32_t length) {
  if (!activeSegment_.Open(weft::kActiveSenderSegment)) return false;
  const SegmentLock lock(activeSegment_);
  if (lock.View() == nullptr) return false;
  // Never past the mapping, should another process have made it smaller.
  weft::CopyActiveNameView(reinterpret_cast<const uint8_t*>(lock.View()),
                           activeSegment_.ViewBytes(), name, static_cast<size_t>(length));
  return true;
}

bool weftSenderNames::ReadActiveSender(char* name, int32_t size) {
  if (name == nullptr) return false;
  char active[weft::kNameBufferBytes] = {};
  if (!readActiveSenderName(active, sizeof active)) return false;
  // 256 bytes without a terminator name no sender this protocol can hold.
  if (weft::BoundedNameLength(active) < 0) return false;

  // Only whether the sender is there: a sender holding its lock is still the active one, and
  // nothing here waits for it.
  weft::SenderInfoRecord record;
  if (CopySenderRecord(active, record, 0) == RecordRead::kNoSegment) {
    activeSegment_.Close();
    return false;
  }
  return weft::CopyNameOut(active, name, size);
}

bool weftSenderNames::ReadSenderInfo(const char* name, weft::SenderInfoRecord& record) {
  return CopySenderRecord(name, record) == RecordRead::kCopied;
}

weftSenderNames::RecordRead weftSenderNames::PeekSenderInfo(const char* name,
                                                            weft::SenderInfoRecord& record) {
  return CopySenderRecord(name, record, 0);
}
