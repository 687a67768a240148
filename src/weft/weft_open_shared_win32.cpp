#include "weft/weft_directx_win32.h"

namespace weft {

HRESULT OpenSharedTexture(ID3D11Device* device, HANDLE share_handle, ID3D11Texture2D** texture) {
  return device->OpenSharedResource(share_handle, __uuidof(ID3D11Texture2D),
                                    reinterpret_cast<void**>(texture));
}

}  // namespace weft
