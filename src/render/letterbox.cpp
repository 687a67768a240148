#include "render/letterbox.h"

#include <algorithm>

namespace tsl {

Viewport LetterboxViewport(uint32_t source_width, uint32_t source_height, uint32_t client_width,
                           uint32_t client_height) {
  const double cw = client_width;
  const double ch = client_height;
  const double scale = std::min(ch / source_height, cw / source_width);
  Viewport v;
  v.width = static_cast<float>(source_width * scale);
  v.height = static_cast<float>(source_height * scale);
  v.left = (static_cast<float>(client_width) - v.width) * 0.5f;
  v.top = (static_cast<float>(client_height) - v.height) * 0.5f;
  return v;
}

}  // namespace tsl
