#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <string>

namespace tsl {

// The application's one Direct3D 11 device, on the adapter DXGI ranks first for high
// performance, with its immediate context (multithread-protected: the pace thread and the
// receive thread use it at once), the factory that owns its adapter and the adapter's name.
class GpuDevice {
 public:
  bool Create();
  void Release();
  // True when Direct3D reports the device removed, reset or hung (a driver timeout, a driver
  // update, a removed adapter): nothing made on it works any more.
  bool Lost() const;
  // Whether a call's result means that the device is lost.
  static bool IsLostResult(HRESULT result);

  Microsoft::WRL::ComPtr<ID3D11Device> device;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  Microsoft::WRL::ComPtr<IDXGIFactory2> factory;
  bool tearingSupported = false;
  std::wstring adapterName;
};

}  // namespace tsl
