#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

namespace tsl {

// The application's one Direct3D 11 device, on the adapter DXGI ranks first for high
// performance, with its immediate context (multithread-protected: the pace thread and the
// receive thread use it at once), the factory that owns its adapter and the adapter's name.
//
// It also keeps the one fact of whether the device is lost. Every Direct3D or DXGI result on it
// that can mean loss (a present, a buffer resize, a texture creation) goes through Check; IsLost
// answers from that, or asks Direct3D. Nobody else keeps a copy of the fact.
class GpuDevice {
 public:
  bool Create();
  void Release();
  // Notes a result: removed, reset, hung or a driver internal error makes the device lost until
  // the next Create. Returns SUCCEEDED(result). Any thread.
  bool Check(HRESULT result);
  // True once a checked result said so, or when Direct3D reports the device removed (a driver
  // timeout, a driver update, a removed adapter): nothing made on it works any more.
  bool IsLost();

  Microsoft::WRL::ComPtr<ID3D11Device> device;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  Microsoft::WRL::ComPtr<IDXGIFactory2> factory;
  bool tearingSupported = false;
  std::wstring adapterName;

 private:
  std::atomic<bool> lost_{false};
};

// A texture the shaders only read (one level, one sample, default usage): what the receive
// thread copies frames into and the overlay's text is uploaded to.
D3D11_TEXTURE2D_DESC SampledTextureDesc(uint32_t width, uint32_t height, DXGI_FORMAT format);

}  // namespace tsl
