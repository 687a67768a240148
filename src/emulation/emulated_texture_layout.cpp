#include "emulation/emulated_texture_layout.h"

#include <cstdio>

namespace tsl::emulation {

namespace {

uint32_t ReadWord(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteWord(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

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
  d.width = ReadWord(view);
  d.height = ReadWord(view + 4);
  d.format = ReadWord(view + 8);
  d.row_pitch = ReadWord(view + 12);
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
  WriteWord(view, d.width);
  WriteWord(view + 4, d.height);
  WriteWord(view + 8, d.format);
  WriteWord(view + 12, d.row_pitch);
}

}  // namespace tsl::emulation
