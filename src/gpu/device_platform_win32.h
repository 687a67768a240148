#pragma once

// The two calls through which the platform makes a device and says whether it was lost, in a
// translation unit of their own (device_platform_win32.cpp) so that a test can link an object
// that defines them instead and make devices fail as a real GPU reset would: an object given to
// the linker takes precedence over a library member, which is then never pulled in.

#include <d3d11.h>

namespace tsl::device_platform {

// D3D11CreateDevice on an adapter (or a driver type), no software module, the SDK version.
HRESULT CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, UINT flags,
                     const D3D_FEATURE_LEVEL* levels, UINT level_count, ID3D11Device** device,
                     ID3D11DeviceContext** context);

// ID3D11Device::GetDeviceRemovedReason.
HRESULT DeviceRemovedReason(ID3D11Device* device);

}  // namespace tsl::device_platform
