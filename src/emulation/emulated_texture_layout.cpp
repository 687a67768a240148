#include "emulation/emulated_texture_layout.h"

#include <cstdio>

#include "weft/weft_protocol.h"

namespace tsl::emulation {

using weft::ReadWordLE;
using weft::WriteWordLE;

std::string MappingName(uint32_t share_handle) {
  char name[40];
  std::snprintf(name, sizeof name, "TessalineTestTexture_%08X", share_handle);
  return name;
}

size_t MappingBytes(const TextureDescription& d) {
  return kHeaderBytes + static_cast<size_t>(d.row_pitch) * static_cast<size_t>(d.height);
}

bool ReadDescription(const uint8_t* view, size_t view_bytes, TextureDescription& out) {
  if (view == nullptr || view_bytes < kHeaderBytes) return false;
  TextureDescription d;
  d.width = ReadWordLE(view);
  d.height = ReadWordLE(view + 4);
  d.format = ReadWordLE(view + 8);
  d.row_pitch = ReadWordLE(view + 12);
  if (d.width == 0 || d.height == 0 || d.width > kMaxDimension || d.height > kMaxDimension) {
    return false;
  }
  // Both factors are bounded above, so neither product overflows 64 bits.
  if (static_cast<uint64_t>(d.row_pitch) < static_cast<uint64_t>(d.width) * kBytesPerPixel) {
    return false;
  }
  if (MappingBytes(d) > view_bytes) return false;
  out = d;
  return true;
}

void WriteDescription(const TextureDescription& d, uint8_t* view) {
  WriteWordLE(view, d.width);
  WriteWordLE(view + 4, d.height);
  WriteWordLE(view + 8, d.format);
  WriteWordLE(view + 12, d.row_pitch);
}

}  // namespace tsl::emulation
