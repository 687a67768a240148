#pragma once

// The layout of an emulated shared texture: where a platform cannot share Direct3D 11 textures
// between processes (Wine 8), a sender writes its frames into the named file mapping
// "TessalineTestTexture_%08X" (the share-handle value in hex) and a development build of
// Tessaline opens that mapping instead of the share handle. Both sides are ours; the layout is
// fixed so that a sender and a receiver built at different times still agree.
//
//   offset  0  width        pixels
//   offset  4  height       pixels
//   offset  8  format       DXGI_FORMAT code (a format of 4, 8 or 16 bytes per pixel)
//   offset 12  row_pitch    bytes per row of the pixels below
//   offset 16  sequence     raised by the sender after each frame it wrote
//   offset 20  openers      receivers that keep a texture made from this mapping up to date
//   offset 24  refreshed    receivers that have copied the frame of the current sequence
//   offset 28  (reserved)
//   offset 32  pixels, `height` rows of `row_pitch` bytes
//
// The counters are 32-bit words updated with interlocked operations by both processes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tsl::emulation {

inline constexpr size_t kHeaderBytes = 32;
inline constexpr size_t kSequenceOffset = 16;
inline constexpr size_t kOpenersOffset = 20;
inline constexpr size_t kRefreshedOffset = 24;
// Larger than any texture Direct3D 11 allows (16384 x 16384): a header claiming more is refused.
inline constexpr uint32_t kMaxDimension = 16384;

struct TextureDescription {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;
  uint32_t row_pitch = 0;
};

// "TessalineTestTexture_%08X" for a share-handle value.
std::string MappingName(uint32_t share_handle);

// Bytes one pixel of a DXGI format takes, for the uncompressed formats of 4, 8 and 16 bytes a
// pixel; 0 for every other format, which the emulation does not carry.
uint32_t BytesPerPixel(uint32_t format);

// Bytes a mapping needs for a texture of this description: header and pixel rows.
size_t MappingBytes(const TextureDescription& d);

// Reads the description at the start of a mapping another process wrote. False when the view
// is too small for a header, when a size is 0 or beyond kMaxDimension, when the format is not
// one the emulation carries, when the row pitch cannot hold a row of that format, or when the
// pixel rows do not fit in `view_bytes`.
bool ReadDescription(const uint8_t* view, size_t view_bytes, TextureDescription& out);

void WriteDescription(const TextureDescription& d, uint8_t* view);

}  // namespace tsl::emulation
