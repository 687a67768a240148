// A sender's information segment of any size, as another process may have created it: the
// record is read only from a segment that holds one, and reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "weft/segment_views.h"
#include "weft/weft_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> view(data, data + size);
  weft::SenderInfoRecord record;
  record.width = 0xDEADBEEF;
  const bool read = weft::ReadSenderRecordView(view.data(), view.size(), record);
  if (read != (size >= weft::kSenderInfoRecordBytes)) std::abort();
  if (!read) {
    if (record.width != 0xDEADBEEF) std::abort();  // untouched
    return 0;
  }
  uint8_t bytes[weft::kSenderInfoRecordBytes];
  weft::WriteSenderInfoRecord(record, bytes);
  for (size_t i = 0; i < sizeof bytes; ++i) {
    if (bytes[i] != view[i]) std::abort();
  }
  // The handle widens by sign extension: the low 32 bits stay, the rest copy bit 31.
  const auto widened = static_cast<uint64_t>(weft::ShareHandleValue(record.shareHandle));
  if (static_cast<uint32_t>(widened) != record.shareHandle) std::abort();
  if ((widened >> 32) != ((record.shareHandle & 0x80000000u) ? 0xFFFFFFFFu : 0u)) std::abort();
  return 0;
}
