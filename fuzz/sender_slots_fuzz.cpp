// Feeds arbitrary bytes, as another process could leave them in shared memory, to the sender
// list parser and writer and to the record reader. The first byte picks maxSenders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "weft/sender_set.h"
#include "weft/weft_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t max_senders = static_cast<int32_t>(data[0] % 8) + 1;
  // Copy into an exactly sized buffer so the sanitizer sees any read or write past the view.
  std::vector<uint8_t> view(data + 1, data + size);

  weft::SenderSet set;
  weft::ParseSenderSlots(view.data(), view.size(), set, max_senders);
  for (const auto& name : set) {
    if (name.empty() || name.size() > weft::kMaxNameBytes) std::abort();
  }

  // Rewriting what was parsed and parsing again must give the same set.
  weft::StoreSenderSlots(view.data(), view.size(), set, max_senders);
  weft::SenderSet again;
  weft::ParseSenderSlots(view.data(), view.size(), again, max_senders);
  if (again != set) std::abort();

  if (view.size() >= weft::kSenderInfoRecordBytes) {
    const weft::SenderInfoRecord record = weft::ReadSenderInfoRecord(view.data());
    uint8_t bytes[weft::kSenderInfoRecordBytes];
    weft::WriteSenderInfoRecord(record, bytes);
    for (size_t i = 0; i < sizeof bytes; ++i) {
      if (bytes[i] != view[i]) std::abort();
    }
  }
  return 0;
}
