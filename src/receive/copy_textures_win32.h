#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "gpu/gpu_device_win32.h"

namespace tsl {

// The three textures the receive thread copies frames into, in turn: a copy never writes a
// texture the frame slot hands out (its newest frame and the one before), so a tick never draws
// one frame's picture under another's version. Each is made again when the frames' size or
// format changes. The receive thread's alone.
class CopyTextures {
 public:
  // The texture the next copy goes into, made for this description on `device`; null when it
  // cannot be made.
  ID3D11Texture2D* Next(GpuDevice& device, uint32_t width, uint32_t height, uint32_t format);
  // The texture Next gave holds a published frame now: the next copy takes the one after it.
  void Published() { next_ = (next_ + 1) % textures_.size(); }
  // Lets go of all three (they belong to the device of the last copy).
  void Release();

 private:
  struct Copy {
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t format = 0;
  };
  std::array<Copy, 3> textures_;
  size_t next_ = 0;
};

}  // namespace tsl
