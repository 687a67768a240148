#include "weft/sender_set.h"

#include <algorithm>
#include <cstring>

#include "weft/weft_protocol.h"

namespace weft {

bool SenderNameLess::operator()(const std::string& a, const std::string& b) const {
  // std::string compares through char_traits<char>, which orders by unsigned char; spelled out
  // here because the order is part of the shared list's contract.
  const size_t common = std::min(a.size(), b.size());
  const int c = std::memcmp(a.data(), b.data(), common);
  if (c != 0) return c < 0;
  return a.size() < b.size();
}

namespace {

size_t UsableSlots(size_t view_bytes, int32_t max_senders) {
  if (max_senders <= 0) return 0;
  return std::min(view_bytes / static_cast<size_t>(kSlotBytes), static_cast<size_t>(max_senders));
}

}  // namespace

void ParseSenderSlots(const uint8_t* view, size_t view_bytes, SenderSet& set, int32_t max_senders) {
  set.clear();
  if (view == nullptr) return;
  const size_t slots = UsableSlots(view_bytes, max_senders);
  for (size_t i = 0; i < slots; ++i) {
    const auto* slot = reinterpret_cast<const char*>(view + i * kSlotBytes);
    if (static_cast<int8_t>(slot[0]) <= 0) break;
    const void* nul = std::memchr(slot, '\0', kMaxNameBytes);
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - slot) : kMaxNameBytes;
    set.emplace(slot, length);
  }
}

void StoreSenderSlots(uint8_t* view, size_t view_bytes, const SenderSet& set, int32_t max_senders) {
  if (view == nullptr) return;
  const size_t slots = UsableSlots(view_bytes, max_senders);
  size_t written = 0;
  for (const std::string& name : set) {
    if (written == slots) break;
    if (name.empty() || name.size() > kMaxNameBytes) continue;
    std::memcpy(view + written * kSlotBytes, name.c_str(), name.size() + 1);
    ++written;
  }
  if (written < slots) view[written * kSlotBytes] = 0;
}

}  // namespace weft
