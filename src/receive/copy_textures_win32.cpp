#include "receive/copy_textures_win32.h"

#include "render/pixel_format.h"

namespace tsl {

ID3D11Texture2D* CopyTextures::Next(GpuDevice& device, uint32_t width, uint32_t height,
                                    uint32_t format) {
  Copy& copy = textures_[next_];
  if (copy.texture && copy.width == width && copy.height == height && copy.format == format) {
    return copy.texture.Get();
  }
  copy = Copy{};
  const D3D11_TEXTURE2D_DESC desc =
      SampledTextureDesc(width, height, static_cast<DXGI_FORMAT>(CopyFormatFor(format)));
  if (!device.Check(device.device->CreateTexture2D(&desc, nullptr, &copy.texture))) {
    copy.texture.Reset();
    return nullptr;
  }
  copy.width = width;
  copy.height = height;
  copy.format = format;
  return copy.texture.Get();
}

void CopyTextures::Release() {
  for (Copy& copy : textures_) copy = Copy{};
}

}  // namespace tsl
