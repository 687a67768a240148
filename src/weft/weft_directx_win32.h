#pragma once

#include <d3d11.h>
#include <windows.h>

#include <cstdint>

// Direct3D 11 helpers of the Weft library. They never create, adopt or release a device.
class weftDirectX {  // NOLINT(readability-identifier-naming): the protocol's name
 public:
  // Creates a default-usage texture bindable as shader resource and render target, replacing
  // (and releasing once) what `texture` held. Direct3D 9 codes 21 and 22, and 0, become
  // DXGI_FORMAT_B8G8R8A8_UNORM.
  bool CreateDX11Texture(ID3D11Device* device, uint32_t width, uint32_t height, int format,
                         ID3D11Texture2D** texture);
  // Opens a sender's shared texture on `device` from its share handle.
  bool OpenDX11shareHandle(ID3D11Device* device, ID3D11Texture2D** texture, HANDLE share_handle);
  // Why the last open failed (0 when it succeeded): a person is told, not only the log.
  uint32_t LastOpenError() const { return lastOpenError_; }

 private:
  uint32_t lastOpenError_ = 0;
};

namespace weft {

// The single call that opens a share handle. It lives in a translation unit of its own so that
// test builds can link a stand-in for platforms that cannot share textures.
HRESULT OpenSharedTexture(ID3D11Device* device, HANDLE share_handle, ID3D11Texture2D** texture);

}  // namespace weft
