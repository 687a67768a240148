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

uint32_t ViewFormatFor(uint32_t format) {
  switch (format) {
    case 0:       // DXGI_FORMAT_UNKNOWN
    case 90:      // DXGI_FORMAT_B8G8R8A8_TYPELESS
      return 87;  // DXGI_FORMAT_B8G8R8A8_UNORM
    case 9:       // DXGI_FORMAT_R16G16B16A16_TYPELESS
      return 11;  // DXGI_FORMAT_R16G16B16A16_UNORM
    case 23:      // DXGI_FORMAT_R10G10B10A2_TYPELESS
      return 24;  // DXGI_FORMAT_R10G10B10A2_UNORM
    case 27:      // DXGI_FORMAT_R8G8B8A8_TYPELESS
      return 28;  // DXGI_FORMAT_R8G8B8A8_UNORM
    default:
      return format;
  }
}

}  // namespace tsl
