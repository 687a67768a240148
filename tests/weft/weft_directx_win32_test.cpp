#include "weft/weft_directx_win32.h"

#include <dxgi.h>
#include <gtest/gtest.h>

#include "support/weft_test_env_win32.h"
#include "weft/weft_log.h"

namespace {

using Microsoft::WRL::ComPtr;

TEST(WeftDirectXTest, CreateDX11TextureMapsDirect3D9FormatsAndReleasesWhatItReplaces) {
  auto device = tsl::testing::MakeTestDevice();
  ASSERT_NE(device, nullptr);
  weftDirectX dx;

  ID3D11Texture2D* texture = nullptr;
  weft::LogNotice("marker");
  EXPECT_FALSE(dx.CreateDX11Texture(device.Get(), 0, 16, DXGI_FORMAT_B8G8R8A8_UNORM, &texture));
  EXPECT_EQ(weft::LastLogMessage(), "marker");  // width 0: refused silently
  EXPECT_FALSE(dx.CreateDX11Texture(nullptr, 16, 16, DXGI_FORMAT_B8G8R8A8_UNORM, &texture));
  EXPECT_EQ(weft::LastLogMessage(), "weftDirectX::CreateDX11Texture NULL device");
  EXPECT_FALSE(dx.CreateDX11Texture(device.Get(), 16, 16, DXGI_FORMAT_B8G8R8A8_UNORM, nullptr));
  EXPECT_EQ(weft::LastLogMessage(), "weftDirectX::CreateDX11Texture NULL ppTexture");

  for (int format : {21, 22, 0}) {
    ASSERT_TRUE(dx.CreateDX11Texture(device.Get(), 32, 16, format, &texture)) << format;
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    EXPECT_EQ(desc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.BindFlags, 0x28u);
    EXPECT_EQ(desc.MiscFlags, 0u);
  }

  // Another holder keeps a reference: the replaced texture is released once and the remaining
  // count is reported.
  texture->AddRef();
  texture->AddRef();
  ID3D11Texture2D* old = texture;
  weft::EnableLogFile(false, "");
  ASSERT_TRUE(dx.CreateDX11Texture(device.Get(), 8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, &texture));
  EXPECT_EQ(weft::LastLogMessage(), "    refcount = 2");
  EXPECT_NE(texture, old);
  old->Release();
  old->Release();
  texture->Release();
}

TEST(WeftDirectXTest, OpenDX11shareHandleRefusesNullSources) {
  auto device = tsl::testing::MakeTestDevice();
  ASSERT_NE(device, nullptr);
  weftDirectX dx;
  ID3D11Texture2D* texture = nullptr;
  EXPECT_FALSE(dx.OpenDX11shareHandle(device.Get(), &texture, nullptr));
  EXPECT_EQ(weft::LastLogMessage(), "weftDirectX::OpenDX11shareHandle - null sources");
  EXPECT_FALSE(dx.OpenDX11shareHandle(nullptr, &texture, reinterpret_cast<HANDLE>(4)));
}

// The platform's own sharing, without the test stand-in: skipped where the platform does not
// implement it (Wine 8 answers E_NOTIMPL), real on Windows.
TEST(WeftDirectXTest, RealSharedTextureOpensOnASecondDevice) {
  auto sender = tsl::testing::MakeTestDevice();
  auto receiver = tsl::testing::MakeTestDevice();
  ASSERT_NE(sender, nullptr);
  ASSERT_NE(receiver, nullptr);
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = 16;
  desc.Height = 8;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
  desc.MiscFlags = D3D11_RESOURCE_MISC_SHARED;
  ComPtr<ID3D11Texture2D> shared;
  ASSERT_HRESULT_SUCCEEDED(sender->CreateTexture2D(&desc, nullptr, &shared));
  ComPtr<IDXGIResource> resource;
  if (FAILED(shared.As(&resource))) GTEST_SKIP() << "no IDXGIResource on this platform";
  HANDLE handle = nullptr;
  const HRESULT hr = resource->GetSharedHandle(&handle);
  if (hr == E_NOTIMPL) GTEST_SKIP() << "the platform cannot share textures (E_NOTIMPL)";
  ASSERT_HRESULT_SUCCEEDED(hr);
  ComPtr<ID3D11Texture2D> opened;
  const HRESULT open_hr = receiver->OpenSharedResource(handle, IID_PPV_ARGS(&opened));
  if (open_hr == E_NOTIMPL) GTEST_SKIP() << "the platform cannot open shared textures";
  ASSERT_HRESULT_SUCCEEDED(open_hr);
  D3D11_TEXTURE2D_DESC got{};
  opened->GetDesc(&got);
  EXPECT_EQ(got.Width, 16u);
  EXPECT_EQ(got.Height, 8u);
}

}  // namespace
