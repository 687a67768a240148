#include "render/pixel_format.h"

namespace tsl {

uint32_t CopyFormatFor(uint32_t format) {
  switch (format) {
    case 29:      // DXGI_FORMAT_R8G8B8A8_UNORM_SRGB
      return 27;  // DXGI_FORMAT_R8G8B8A8_TYPELESS
    case 91:      // DXGI_FORMAT_B8G8R8A8_UNORM_SRGB
      return 90;  // DXGI_FORMAT_B8G8R8A8_TYPELESS
    default:
      return format;
  }
}

uint32_t ViewFormatFor(uint32_t format) {
  switch (format) {
    case 0:       // DXGI_FORMAT_UNKNOWN
    case 90:      // DXGI_FORMAT_B8G8R8A8_TYPELESS
    case 91:      // DXGI_FORMAT_B8G8R8A8_UNORM_SRGB
      return 87;  // DXGI_FORMAT_B8G8R8A8_UNORM
    case 9:       // DXGI_FORMAT_R16G16B16A16_TYPELESS
      return 11;  // DXGI_FORMAT_R16G16B16A16_UNORM
    case 23:      // DXGI_FORMAT_R10G10B10A2_TYPELESS
      return 24;  // DXGI_FORMAT_R10G10B10A2_UNORM
    case 27:      // DXGI_FORMAT_R8G8B8A8_TYPELESS
    case 29:      // DXGI_FORMAT_R8G8B8A8_UNORM_SRGB
      return 28;  // DXGI_FORMAT_R8G8B8A8_UNORM
    default:
      return format;
  }
}

bool IsDeepFormat(uint32_t format) {
  switch (format) {
    case 1:   // DXGI_FORMAT_R32G32B32A32_TYPELESS
    case 2:   // DXGI_FORMAT_R32G32B32A32_FLOAT
    case 9:   // DXGI_FORMAT_R16G16B16A16_TYPELESS
    case 10:  // DXGI_FORMAT_R16G16B16A16_FLOAT
    case 11:  // DXGI_FORMAT_R16G16B16A16_UNORM
    case 23:  // DXGI_FORMAT_R10G10B10A2_TYPELESS
    case 24:  // DXGI_FORMAT_R10G10B10A2_UNORM
      return true;
    default:
      return false;
  }
}

uint32_t DitherRank(uint32_t x, uint32_t y) {
  // The bits of x^y and of x, interleaved and reversed.
  const uint32_t xy = (x ^ y) & 7;
  x &= 7;
  return ((xy & 1) << 5) | ((x & 1) << 4) | ((xy & 2) << 2) | ((x & 2) << 1) | ((xy & 4) >> 1) |
         ((x & 4) >> 2);
}

}  // namespace tsl
