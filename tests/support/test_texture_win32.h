#pragma once

// Test-emulation of shared textures for platforms that cannot share them (Wine 8): a sender
// writes the texture's description and pixels into the named file mapping
// "TessalineTestTexture_%08X" (the share-handle value in hex), and the test opener, linked in
// place of the real OpenSharedResource call, makes a texture with that content on the
// receiver's device.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tsl::testing {

struct TestTextureHeader {
  uint32_t width;
  uint32_t height;
  uint32_t format;     // DXGI_FORMAT code
  uint32_t row_pitch;  // bytes per row of the pixels that follow
};

inline std::string TestTextureMappingName(uint32_t share_handle) {
  char name[64];
  wsprintfA(name, "TessalineTestTexture_%08X", share_handle);
  return name;
}

// Publishes a 4-byte-per-pixel texture under a share-handle value; the mapping lives as long as
// this object. An opener copies the pixels as they are when it opens the handle.
class TestTexturePublisher {
 public:
  ~TestTexturePublisher() { Close(); }
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               const std::vector<uint32_t>& pixels);
  // A solid colour (the word as stored, for B8G8R8A8: 0xAARRGGBB).
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               uint32_t colour) {
    return Publish(share_handle, width, height, format,
                   std::vector<uint32_t>(static_cast<size_t>(width) * height, colour));
  }
  // Rewrites the pixels of the published texture (same size).
  void Update(const std::vector<uint32_t>& pixels);
  void Close();

 private:
  HANDLE mapping_ = nullptr;
  uint8_t* view_ = nullptr;
  size_t pixel_count_ = 0;
};

}  // namespace tsl::testing
