// The emulated texture's mapping as a sender may leave it: a description is accepted only when
// every pixel row it claims lies inside the view.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "emulation/emulated_texture_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> view(data, data + size);
  tsl::emulation::TextureDescription d;
  if (!tsl::emulation::ReadDescription(view.data(), view.size(), d)) return 0;
  const uint64_t pixel_bytes = tsl::emulation::BytesPerPixel(d.format);
  if (d.width == 0 || d.height == 0 || pixel_bytes == 0 ||
      d.row_pitch < static_cast<uint64_t>(d.width) * pixel_bytes) {
    std::abort();
  }
  const size_t bytes = tsl::emulation::MappingBytes(d);
  if (bytes > view.size()) std::abort();
  // Read the first and the last byte of the pixels, as an upload would: the sanitizer checks
  // they are inside the view.
  volatile uint8_t edge = view[tsl::emulation::kHeaderBytes];
  edge = static_cast<uint8_t>(edge + view[bytes - 1]);
  (void)edge;
  return 0;
}
