#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace weft {

// Byte-wise ascending order: the common prefix compared as unsigned bytes, and a prefix sorts
// before the longer name ("ABC" < "ABCD" < "abc").
struct SenderNameLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// The in-memory form of the shared sender list: distinct names in byte order.
using SenderSet = std::set<std::string, SenderNameLess>;

// Reads the list from a "WeftSenderNames" view of `view_bytes` bytes: slots of 256 bytes from
// slot 0, ending at the first slot whose first byte is not above 0 as a signed byte, or after
// `max_senders` slots, or at the last whole slot inside the view. A slot without a NUL yields
// its first 255 bytes.
void ParseSenderSlots(const uint8_t* view, size_t view_bytes, SenderSet& set, int32_t max_senders);

// Writes the set into the view in order, one name and its NUL per slot, and a 0x00 first byte in
// the next slot when one is left; nothing else is touched. Names that do not fit a slot are
// skipped (they cannot come from a parse). Never writes past `view_bytes`.
void StoreSenderSlots(uint8_t* view, size_t view_bytes, const SenderSet& set, int32_t max_senders);

}  // namespace weft
