#pragma once

// A frame whose picture spells its frame number, so that a test or a benchmark can read back which
// frame is on show: eight columns of equal width, most significant bit first, white for a 1 and
// blue for a 0 (B8G8R8A8 words). Anything without blue in a column (a black band, an empty
// window) decodes as no frame.

#include <cstdint>
#include <optional>
#include <vector>

namespace tsl::emulation {

inline constexpr uint32_t kFrameCodeOne = 0xFFFFFFFF;
inline constexpr uint32_t kFrameCodeZero = 0xFF0000FF;

inline std::vector<uint32_t> FrameCodePixels(uint32_t number, uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t bit = 7 - x * 8 / width;
      pixels[static_cast<size_t>(y) * width + x] =
          (number >> bit) & 1 ? kFrameCodeOne : kFrameCodeZero;
    }
  }
  return pixels;
}

// Reads the number from the centres of the eight columns of a picture `width` pixels wide,
// sampled along row `y` of `pixels` (`stride` words per row).
inline std::optional<uint32_t> DecodeFrameCode(const std::vector<uint32_t>& pixels, uint32_t stride,
                                               uint32_t width, uint32_t y) {
  uint32_t number = 0;
  for (uint32_t column = 0; column < 8; ++column) {
    const uint32_t x = (2 * column + 1) * width / 16;
    const uint32_t p = pixels[static_cast<size_t>(y) * stride + x];
    const uint32_t blue = p & 0xFF;
    const uint32_t green = (p >> 8) & 0xFF;
    if (blue < 0xC0) return std::nullopt;
    number = number << 1 | (green >= 0x80 ? 1u : 0u);
  }
  return number;
}

}  // namespace tsl::emulation
