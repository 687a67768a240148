#pragma once

#include <cstdint>

namespace tsl {

struct Viewport {
  float left = 0.0f;
  float top = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
};

// The centred viewport that fits a `source_width` x `source_height` image into a client area
// without changing its aspect ratio. The scale is computed in double precision, the size rounded
// once to float, and the origin computed in float; nothing is snapped to whole pixels.
Viewport LetterboxViewport(uint32_t source_width, uint32_t source_height, uint32_t client_width,
                           uint32_t client_height);

}  // namespace tsl
