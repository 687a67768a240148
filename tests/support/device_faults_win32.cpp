// The device platform seam with faults a test can switch on: linked into a test executable as
// an object, it takes the place of the library's device_platform_win32.cpp.
#include "support/device_faults_win32.h"

#include <atomic>

#include "gpu/device_platform_win32.h"

namespace {

std::atomic<uint32_t> refused{0};
std::atomic<uint32_t> created{0};
// Devices made before this generation report themselves removed.
std::atomic<uint32_t> lost_before{0};
std::atomic<ID3D11Device*> newest{nullptr};

}  // namespace

namespace tsl::testing {

void LoseDevices() { lost_before = created.load() + 1; }
void RefuseDeviceCreations(uint32_t count) { refused = count; }
uint32_t DevicesCreated() { return created; }

}  // namespace tsl::testing

namespace tsl::device_platform {

HRESULT CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, UINT flags,
                     const D3D_FEATURE_LEVEL* levels, UINT level_count, ID3D11Device** device,
                     ID3D11DeviceContext** context) {
  for (uint32_t left = refused.load(); left > 0;) {
    if (refused.compare_exchange_weak(left, left - 1)) return DXGI_ERROR_UNSUPPORTED;
  }
  const HRESULT hr = D3D11CreateDevice(adapter, driver_type, nullptr, flags, levels, level_count,
                                       D3D11_SDK_VERSION, device, nullptr, context);
  if (SUCCEEDED(hr)) {
    newest = *device;
    ++created;
  }
  return hr;
}

HRESULT DeviceRemovedReason(ID3D11Device* device) {
  // Only the newest device can be healthy, and only when it was made after the last loss.
  if (device != newest.load() || created.load() < lost_before.load()) {
    return DXGI_ERROR_DEVICE_REMOVED;
  }
  return device->GetDeviceRemovedReason();
}

}  // namespace tsl::device_platform
