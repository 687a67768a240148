#include "support/test_texture_win32.h"

#include <d3d11.h>

#include <cstring>

#include "weft/weft_directx_win32.h"

namespace tsl::testing {

bool TestTexturePublisher::Publish(uint32_t share_handle, uint32_t width, uint32_t height,
                                   uint32_t format, const std::vector<uint32_t>& pixels) {
  Close();
  const size_t count = static_cast<size_t>(width) * height;
  if (pixels.size() != count) return false;
  const uint32_t row_pitch = width * 4;
  const size_t bytes = sizeof(TestTextureHeader) + count * 4;
  mapping_ =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         static_cast<DWORD>(bytes), TestTextureMappingName(share_handle).c_str());
  if (mapping_ == nullptr) return false;
  view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (view_ == nullptr) {
    Close();
    return false;
  }
  const TestTextureHeader header{width, height, format, row_pitch};
  std::memcpy(view_, &header, sizeof header);
  pixel_count_ = count;
  Update(pixels);
  return true;
}

void TestTexturePublisher::Update(const std::vector<uint32_t>& pixels) {
  if (view_ == nullptr || pixels.size() != pixel_count_) return;
  std::memcpy(view_ + sizeof(TestTextureHeader), pixels.data(), pixel_count_ * 4);
}

void TestTexturePublisher::Close() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  pixel_count_ = 0;
  if (mapping_ != nullptr) CloseHandle(mapping_);
  mapping_ = nullptr;
}

}  // namespace tsl::testing

namespace weft {

// Stands in for ID3D11Device::OpenSharedResource in test builds.
HRESULT OpenSharedTexture(ID3D11Device* device, HANDLE share_handle, ID3D11Texture2D** texture) {
  const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(share_handle));
  HANDLE mapping =
      OpenFileMappingA(FILE_MAP_READ, FALSE, tsl::testing::TestTextureMappingName(value).c_str());
  if (mapping == nullptr) return E_INVALIDARG;
  const auto* view = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (view == nullptr) {
    CloseHandle(mapping);
    return E_INVALIDARG;
  }
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(view, &info, sizeof info);
  tsl::testing::TestTextureHeader header{};
  std::memcpy(&header, view, sizeof header);
  HRESULT hr = E_INVALIDARG;
  const size_t needed =
      sizeof header + static_cast<size_t>(header.row_pitch) * static_cast<size_t>(header.height);
  if (header.width != 0 && header.height != 0 && header.row_pitch >= header.width * 4 &&
      needed <= info.RegionSize) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = header.width;
    desc.Height = header.height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = static_cast<DXGI_FORMAT>(header.format);
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
    D3D11_SUBRESOURCE_DATA data{view + sizeof header, header.row_pitch, 0};
    hr = device->CreateTexture2D(&desc, &data, texture);
  }
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return hr;
}

}  // namespace weft
