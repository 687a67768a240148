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

// Publishes a solid-colour 4-byte-per-pixel texture under a share-handle value; the mapping
// lives as long as this object.
class TestTexturePublisher {
 public:
  ~TestTexturePublisher() { Close(); }
  bool Publish(uint32_t share_handle, uint32_t width, uint32_t height, uint32_t format,
               uint32_t rgba);
  void Close();

 private:
  HANDLE mapping_ = nullptr;
};

}  // namespace tsl::testing
