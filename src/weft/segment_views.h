#pragma once

// Reading what other processes wrote into the per-sender and active-name segments. The views
// are exactly as large as the system mapped them, which another process decided; nothing here
// reads past `view_bytes`.

#include <cstddef>
#include <cstdint>
#include <string>

#include "weft/weft_protocol.h"

namespace weft {

// The sender's information record from the first 280 bytes of its segment. False (record
// untouched) when the segment is smaller than a record.
bool ReadSenderRecordView(const uint8_t* view, size_t view_bytes, SenderInfoRecord& record);

// Copies the first `length` bytes of the "ActiveSenderName" segment into `name` (callers pass
// 256), or the whole view when it is smaller; returns the bytes copied.
size_t CopyActiveNameView(const uint8_t* view, size_t view_bytes, char* name, size_t length);

// True when a 256-byte active-name buffer holds exactly `name`. A buffer without a terminator
// in its 256 bytes names no sender this protocol can hold, so it matches nothing.
bool ActiveNameIs(const char (&active)[kNameBufferBytes], const std::string& name);

}  // namespace weft
