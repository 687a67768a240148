// The "ActiveSenderName" segment as another process may leave it (any size, any bytes), and the
// name rules applied to what it holds: the bounded length, the copy into a caller's buffer and
// the names of the sender's synchronisation objects. The first byte picks the caller's buffer
// size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "weft/segment_views.h"
#include "weft/weft_names.h"
#include "weft/weft_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const long buffer_size = data[0];
  const std::vector<uint8_t> view(data + 1, data + size);

  char active[weft::kNameBufferBytes] = {};
  const size_t copied = weft::CopyActiveNameView(view.data(), view.size(), active, sizeof active);
  if (copied != std::min(view.size(), sizeof active)) std::abort();

  const long length = weft::BoundedNameLength(active);
  const void* nul = std::memchr(active, '\0', sizeof active);
  if ((length < 0) != (nul == nullptr)) std::abort();
  if (length < 0) {
    if (weft::ActiveNameIs(active, std::string(active, sizeof active))) std::abort();
    return 0;
  }
  const std::string name(active, static_cast<size_t>(length));
  if (!weft::ActiveNameIs(active, name)) std::abort();

  // The caller's buffer gets the name with its NUL, or is left untouched when too small.
  std::vector<char> out(static_cast<size_t>(buffer_size) + 1, 'x');
  const bool fits = weft::CopyNameOut(name, out.data(), buffer_size);
  if (fits != (name.size() + 1 <= static_cast<size_t>(buffer_size) && buffer_size > 0)) {
    std::abort();
  }
  if (fits ? std::strcmp(out.data(), name.c_str()) != 0 : out[0] != 'x') std::abort();

  // Object names are built only when they fit their protocol buffers.
  std::string built;
  if (weft::CountSemaphoreName(name.c_str(), built) !=
      (name.size() + std::strlen(weft::kCountSemaphoreSuffix) + 1 <= weft::kSemaphoreNameBytes)) {
    std::abort();
  }
  if (!built.empty() && built.size() + 1 > weft::kSemaphoreNameBytes) std::abort();
  if (!weft::AccessMutexName(name.c_str(), built) ||
      built.size() + 1 > weft::kAccessMutexNameBytes) {
    std::abort();
  }
  if (!weft::SegmentMutexName(name.c_str(), built)) std::abort();
  return 0;
}
