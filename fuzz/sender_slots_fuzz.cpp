// The sender list as another process may leave it in "WeftSenderNames", with any "MaxSenders"
// setting: the first four bytes are the setting (any signed 32-bit value, as the registry may
// hold), the rest is the view. Parsing, the rewrite after a removal, and parsing again must
// agree, and nothing may be read or written past the view.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "weft/sender_set.h"
#include "weft/weft_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  int32_t max_senders = 0;
  std::memcpy(&max_senders, data, 4);
  // Copy into an exactly sized buffer so the sanitizer sees any access past the view.
  std::vector<uint8_t> view(data + 4, data + size);

  weft::SenderSet set;
  weft::ParseSenderSlots(view.data(), view.size(), set, max_senders);
  const size_t slots = view.size() / weft::kSlotBytes;
  if (set.size() > slots || (max_senders <= 0 && !set.empty()) ||
      (max_senders > 0 && set.size() > static_cast<size_t>(max_senders))) {
    std::abort();
  }
  for (const auto& name : set) {
    if (name.empty() || name.size() > weft::kMaxNameBytes || static_cast<int8_t>(name[0]) <= 0) {
      std::abort();
    }
  }

  // What UnregisterSenderName does: remove one name, store, and parse again.
  weft::SenderSet expected = set;
  if (!expected.empty()) {
    auto it = expected.begin();
    std::advance(it, data[4] % expected.size());
    expected.erase(it);
  }
  weft::StoreSenderSlots(view.data(), view.size(), expected, max_senders);
  weft::SenderSet again;
  weft::ParseSenderSlots(view.data(), view.size(), again, max_senders);
  if (again != expected) std::abort();
  return 0;
}
