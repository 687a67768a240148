#include "weft/weft_names.h"

#include <cstring>

#include "weft/weft_protocol.h"

namespace weft {

long BoundedNameLength(const char* name) {
  if (name == nullptr) return -1;
  const void* nul = std::memchr(name, '\0', kNameBufferBytes);
  if (nul == nullptr) return -1;
  return static_cast<const char*>(nul) - name;
}

namespace {

// Builds base + suffix, refused when it would not fit `buffer_bytes` including the NUL.
bool BuildName(const char* base, const char* suffix, size_t buffer_bytes, std::string& out) {
  out.clear();
  const long length = BoundedNameLength(base);
  if (length < 0) return false;
  const size_t total = static_cast<size_t>(length) + std::strlen(suffix);
  if (total + 1 > buffer_bytes) return false;
  out.assign(base, static_cast<size_t>(length));
  out += suffix;
  return true;
}

}  // namespace

bool SegmentMutexName(const char* segment, std::string& out) {
  // A segment name is at most 255 bytes, so its mutex name needs up to 261: no protocol buffer
  // limits it beyond that.
  return BuildName(segment, kSegmentMutexSuffix, kNameBufferBytes + sizeof kSegmentMutexSuffix,
                   out);
}

bool CountSemaphoreName(const char* sender, std::string& out) {
  return BuildName(sender, kCountSemaphoreSuffix, kSemaphoreNameBytes, out);
}

bool AccessMutexName(const char* sender, std::string& out) {
  return BuildName(sender, kAccessMutexSuffix, kAccessMutexNameBytes, out);
}

bool CopyNameOut(const std::string& name, char* buffer, long size) {
  if (buffer == nullptr || size <= 0 || name.size() + 1 > static_cast<size_t>(size)) return false;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return true;
}

}  // namespace weft
