#include "weft/weft_directx_win32.h"

#include <dxgi.h>

#include <cstdio>
#include <cstring>
#include <exception>

#include "weft/weft_log.h"

using weft::LogError;
using weft::LogFatal;
using weft::LogNotice;
using weft::LogWarning;

namespace {

unsigned Low32(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

const char* ErrorName(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x8007000E:
      return "E_OUTOFMEMORY";
    case 0x80070057:
      return "E_INVALIDARG";
    case 0x887A0001:
      return "DXGI_ERROR_INVALID_CALL";
    default:
      return "Unlisted error";
  }
}

}  // namespace

bool weftDirectX::CreateDX11Texture(ID3D11Device* device, uint32_t width, uint32_t height,
                                    int format, ID3D11Texture2D** texture) {
  if (width == 0 || height == 0) return false;
  if (device == nullptr) {
    LogFatal("weftDirectX::CreateDX11Texture NULL device");
    return false;
  }
  if (texture == nullptr) {
    LogWarning("weftDirectX::CreateDX11Texture NULL ppTexture");
    return false;
  }
  LogNotice("weftDirectX::CreateDX11Texture(0x%.X, %d, %d, %d)", Low32(device),
            static_cast<int>(width), static_cast<int>(height), format);

  if (*texture != nullptr) {
    LogNotice("weftDirectX::ReleaseDX11Texture (device 0x%.7X, texture 0x%.7X)", Low32(device),
              Low32(*texture));
    const ULONG remaining = (*texture)->Release();
    if (remaining > 1) LogWarning("    refcount = %lu", static_cast<unsigned long>(remaining));
    *texture = nullptr;
  }

  if (format == 0 || format == 21 || format == 22) format = DXGI_FORMAT_B8G8R8A8_UNORM;

  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = static_cast<DXGI_FORMAT>(format);
  desc.SampleDesc.Count = 1;
  desc.SampleDesc.Quality = 0;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
  desc.CPUAccessFlags = 0;
  desc.MiscFlags = 0;
  const HRESULT hr = device->CreateTexture2D(&desc, nullptr, texture);
  if (SUCCEEDED(hr)) return true;

  *texture = nullptr;  // whatever the platform left there is not a texture
  char text[256] = {};
  const unsigned low = static_cast<unsigned>(hr) & 0xFFFF;
  std::snprintf(text, sizeof text,
                "weftDirectX::CreateDX11Texture ERROR - %d (0x%.X) : ", static_cast<int>(low), low);
  std::strncat(text, ErrorName(hr), sizeof text - std::strlen(text) - 1);
  LogFatal("%s", text);
  return false;
}

bool weftDirectX::OpenDX11shareHandle(ID3D11Device* device, ID3D11Texture2D** texture,
                                      HANDLE share_handle) {
  if (device == nullptr || texture == nullptr || share_handle == nullptr) {
    LogError("weftDirectX::OpenDX11shareHandle - null sources");
    return false;
  }
  try {
    const HRESULT hr = weft::OpenSharedTexture(device, share_handle, texture);
    lastOpenError_ = SUCCEEDED(hr) ? 0 : static_cast<uint32_t>(hr);
    if (SUCCEEDED(hr)) return true;
    const unsigned low = static_cast<unsigned>(hr) & 0xFFFF;
    LogError("weftDirectX::OpenDX11shareHandle (0x%.7X) failed : error = %d (0x%.7X)",
             Low32(share_handle) & 0xFFFF, static_cast<int>(low), low);
  } catch (...) {
    lastOpenError_ = static_cast<uint32_t>(E_FAIL);
    LogError("weftDirectX::OpenDX11shareHandle - exception opening share handle");
  }
  return false;
}
