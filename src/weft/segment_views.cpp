#include "weft/segment_views.h"

#include <cstring>

#include "weft/weft_names.h"

namespace weft {

bool ReadSenderRecordView(const uint8_t* view, size_t view_bytes, SenderInfoRecord& record) {
  if (view == nullptr || view_bytes < kSenderInfoRecordBytes) return false;
  record = ReadSenderInfoRecord(view);
  return true;
}

size_t CopyActiveNameView(const uint8_t* view, size_t view_bytes, char* name, size_t length) {
  if (view == nullptr || name == nullptr) return 0;
  const size_t copy = length < view_bytes ? length : view_bytes;
  std::memcpy(name, view, copy);
  return copy;
}

bool ActiveNameIs(const char (&active)[kNameBufferBytes], const std::string& name) {
  return BoundedNameLength(active) >= 0 && std::strcmp(active, name.c_str()) == 0;
}

}  // namespace weft
