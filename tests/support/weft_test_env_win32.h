#pragma once

// Helpers for Windows tests: registry values of the current user (set and restored per test),
// a Direct3D 11 device, and reading a texture's pixels back.

#include <d3d11.h>
#include <d3d11_4.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "weft/weft_protocol.h"

namespace tsl::testing {

// Sets (or with nullopt deletes) a DWORD under HKCU\Software\Weftworks\Weft, and puts the old
// state back when destroyed.
class ScopedWeftSetting {
 public:
  ScopedWeftSetting(const char* value_name, std::optional<DWORD> value) : name_(value_name) {
    DWORD size = sizeof oldValue_;
    hadOld_ = RegGetValueA(HKEY_CURRENT_USER, weft::kRegistryKey, name_, RRF_RT_REG_DWORD, nullptr,
                            &oldValue_, &size) == ERROR_SUCCESS;
    Apply(value);
  }
  // A plain flag and value rather than an optional member: g++ 12 sees the optional as
  // possibly uninitialised here.
  ~ScopedWeftSetting() { Apply(hadOld_ ? std::optional<DWORD>(oldValue_) : std::nullopt); }
  ScopedWeftSetting(const ScopedWeftSetting&) = delete;
  ScopedWeftSetting& operator=(const ScopedWeftSetting&) = delete;

 private:
  void Apply(std::optional<DWORD> value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, weft::kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    if (value) {
      const DWORD v = *value;
      RegSetValueExA(key, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    } else {
      RegDeleteValueA(key, name_);
    }
    RegCloseKey(key);
  }

  const char* name_;
  bool hadOld_ = false;
  DWORD oldValue_ = 0;
};

// Multithread-protected, as the application's device is: the emulation's refresher updates
// textures on its immediate context from a thread of its own.
inline Microsoft::WRL::ComPtr<ID3D11Device> MakeTestDevice() {
  Microsoft::WRL::ComPtr<ID3D11Device> device;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
  for (D3D_DRIVER_TYPE type : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
    if (SUCCEEDED(D3D11CreateDevice(nullptr, type, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                    levels, 2, D3D11_SDK_VERSION, &device, nullptr, nullptr))) {
      break;
    }
  }
  Microsoft::WRL::ComPtr<ID3D11Multithread> multithread;
  if (device && SUCCEEDED(device.As(&multithread))) multithread->SetMultithreadProtected(TRUE);
  return device;
}

// Every pixel of a 4-byte-per-pixel texture, row by row, read through a staging copy; `width`
// receives the row length. Empty when the copy cannot be made or mapped.
inline std::vector<uint32_t> ReadPixels(ID3D11Device* device, ID3D11Texture2D* texture,
                                        uint32_t& width) {
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  width = desc.Width;
  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  desc.MiscFlags = 0;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> staging;
  if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) return {};
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  device->GetImmediateContext(&context);
  context->CopyResource(staging.Get(), texture);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return {};
  std::vector<uint32_t> pixels(static_cast<size_t>(desc.Width) * desc.Height);
  for (uint32_t y = 0; y < desc.Height; ++y) {
    const auto* row = static_cast<const uint8_t*>(mapped.pData) + y * mapped.RowPitch;
    std::memcpy(&pixels[static_cast<size_t>(y) * desc.Width], row, desc.Width * 4);
  }
  context->Unmap(staging.Get(), 0);
  return pixels;
}

// The top-left pixel of a 4-byte-per-pixel texture.
inline uint32_t ReadFirstPixel(ID3D11Device* device, ID3D11Texture2D* texture) {
  uint32_t width = 0;
  const std::vector<uint32_t> pixels = ReadPixels(device, texture, width);
  return pixels.empty() ? 0xDEADBEEF : pixels.front();
}

}  // namespace tsl::testing
