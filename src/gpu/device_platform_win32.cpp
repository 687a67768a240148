#include "gpu/device_platform_win32.h"

namespace tsl::device_platform {

HRESULT CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, UINT flags,
                     const D3D_FEATURE_LEVEL* levels, UINT level_count, ID3D11Device** device,
                     ID3D11DeviceContext** context) {
  return D3D11CreateDevice(adapter, driver_type, nullptr, flags, levels, level_count,
                           D3D11_SDK_VERSION, device, nullptr, context);
}

HRESULT DeviceRemovedReason(ID3D11Device* device) { return device->GetDeviceRemovedReason(); }

}  // namespace tsl::device_platform
