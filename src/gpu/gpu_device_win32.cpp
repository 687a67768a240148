#include "gpu/gpu_device_win32.h"

#include <d3d11_4.h>  // ID3D11Multithread
#include <dxgi1_6.h>

#include "gpu/device_platform_win32.h"

namespace tsl {

using Microsoft::WRL::ComPtr;

bool GpuDevice::Create() {
  ComPtr<IDXGIAdapter1> preferred;
  {
    ComPtr<IDXGIFactory6> factory6;
    if (SUCCEEDED(CreateDXGIFactory1(IID_PPV_ARGS(&factory6)))) {
      factory6->EnumAdapterByGpuPreference(0, DXGI_GPU_PREFERENCE_HIGH_PERFORMANCE,
                                           IID_PPV_ARGS(&preferred));
    }
  }

  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
  // No fallback to another adapter: a preferred adapter that cannot do 11.0 is a failure.
  lost_ = false;
  if (FAILED(device_platform::CreateDevice(
          preferred.Get(), preferred ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE,
          D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels, 2, device.ReleaseAndGetAddressOf(),
          context.ReleaseAndGetAddressOf()))) {
    return false;
  }

  // The factory and the name come from the adapter the device really runs on.
  ComPtr<IDXGIDevice> dxgi_device;
  ComPtr<IDXGIAdapter> adapter;
  factory.Reset();
  if (FAILED(device.As(&dxgi_device)) || FAILED(dxgi_device->GetAdapter(&adapter)) ||
      FAILED(adapter->GetParent(IID_PPV_ARGS(&factory)))) {
    return false;
  }

  DXGI_ADAPTER_DESC desc{};
  if (SUCCEEDED(adapter->GetDesc(&desc))) adapterName = desc.Description;  // up to its NUL

  ComPtr<ID3D11Multithread> multithread;
  if (SUCCEEDED(context.As(&multithread))) multithread->SetMultithreadProtected(TRUE);

  ComPtr<IDXGIFactory5> factory5;
  if (SUCCEEDED(factory.As(&factory5))) {
    BOOL allow = FALSE;
    if (SUCCEEDED(factory5->CheckFeatureSupport(DXGI_FEATURE_PRESENT_ALLOW_TEARING, &allow,
                                                sizeof allow))) {
      tearingSupported = allow == TRUE;
    }
  }
  return true;
}

bool GpuDevice::Check(HRESULT result) {
  if (result == DXGI_ERROR_DEVICE_REMOVED || result == DXGI_ERROR_DEVICE_RESET ||
      result == DXGI_ERROR_DEVICE_HUNG || result == DXGI_ERROR_DRIVER_INTERNAL_ERROR) {
    lost_ = true;
  }
  return SUCCEEDED(result);
}

bool GpuDevice::IsLost() {
  if (lost_) return true;
  if (device && FAILED(device_platform::DeviceRemovedReason(device.Get()))) lost_ = true;
  return lost_;
}

void GpuDevice::Release() {
  if (context) {
    context->ClearState();
    // Deferred destruction would otherwise keep the old swap chain on the window a while.
    context->Flush();
  }
  context.Reset();
  factory.Reset();
  device.Reset();
}

D3D11_TEXTURE2D_DESC SampledTextureDesc(uint32_t width, uint32_t height, DXGI_FORMAT format) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  return desc;
}

}  // namespace tsl
