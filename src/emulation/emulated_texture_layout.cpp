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

uint32_t BytesPerPixel(uint32_t format) {
  if (format >= 1 && format <= 4) return 16;   // R32G32B32A32 family
  if (format >= 9 && format <= 18) return 8;   // R16G16B16A16, R32G32 families
  if (format >= 23 && format <= 32) return 4;  // R10G10B10A2, R11G11B10, R8G8B8A8 families
  if (format >= 39 && format <= 43) return 4;  // R32 family
  if (format == 87 || format == 88 || (format >= 90 && format <= 93)) return 4;  // B8G8R8A8/X8
  return 0;
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
  // The pitch must hold a row of the format the texture is made with, or an upload reads past
  // the mapping. Both factors are bounded above, so neither product overflows 64 bits.
  const uint32_t pixel_bytes = BytesPerPixel(d.format);
  if (pixel_bytes == 0 ||
      static_cast<uint64_t>(d.row_pitch) < static_cast<uint64_t>(d.width) * pixel_bytes) {
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
