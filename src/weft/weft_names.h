#pragma once

#include <cstddef>
#include <string>

namespace weft {

// Length of a NUL-terminated name that fits a 256-byte name buffer, or -1 when it is null or
// 256 bytes or longer (reading at most 256 bytes, so an unterminated buffer is safe).
long BoundedNameLength(const char* name);

// Shared object names built from a sender name. False (and `out` empty) when the result would
// not fit the protocol's buffer for that object.
bool SegmentMutexName(const char* segment, std::string& out);
bool CountSemaphoreName(const char* sender, std::string& out);
bool AccessMutexName(const char* sender, std::string& out);

// Copies a NUL-terminated name with its NUL into a caller buffer of `size` bytes. False, with
// the buffer untouched, when the buffer cannot hold it.
bool CopyNameOut(const std::string& name, char* buffer, long size);

}  // namespace weft
