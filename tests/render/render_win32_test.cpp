// The device, presenter and per-tick stage for real under Wine (Mesa's software rasteriser),
// drawing into a real window and reading the back buffer back through a staging texture.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "receive/frame_slot_win32.h"
#include "render/gpu_device_win32.h"
#include "render/present_stage_win32.h"
#include "render/presenter_win32.h"
#include "support/weft_test_env_win32.h"
#include "window/main_window_win32.h"

namespace tsl {
namespace {

using Microsoft::WRL::ComPtr;

constexpr uint32_t kGreen = 0xFF00FF00;  // B8G8R8A8 bytes 00 FF 00 FF read as a word
constexpr uint32_t kBlack = 0xFF000000;

ComPtr<ID3D11Texture2D> SolidTexture(ID3D11Device* device, uint32_t width, uint32_t height,
                                     uint32_t bgra,
                                     DXGI_FORMAT format = DXGI_FORMAT_B8G8R8A8_UNORM) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, bgra);
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc.Count = 1;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  D3D11_SUBRESOURCE_DATA data{pixels.data(), width * 4, 0};
  ComPtr<ID3D11Texture2D> texture;
  device->CreateTexture2D(&desc, &data, &texture);
  return texture;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.Create(L"Tessaline", 1000, 1000, true));
    ASSERT_TRUE(gpu_.Create());
    ASSERT_TRUE(presenter_.Initialize(&gpu_, window_.hwnd));
    stage_.Bind(&presenter_, &slot_);
  }
  void TearDown() override {
    presenter_.Release();
    gpu_.Release();
    window_.Destroy();
  }

  MainWindow window_;
  GpuDevice gpu_;
  Presenter presenter_;
  FrameSlot slot_;
  PresentStage stage_;
};

TEST_F(RenderTest, DeviceHasAnAdapterNameAFactoryAndMultithreadProtection) {
  EXPECT_FALSE(gpu_.adapterName.empty());
  EXPECT_NE(gpu_.factory, nullptr);
  EXPECT_EQ(presenter_.BackBufferWidth(), 1280u);
  EXPECT_EQ(presenter_.BackBufferHeight(), 720u);
  DXGI_SWAP_CHAIN_DESC1 desc{};
  ASSERT_HRESULT_SUCCEEDED(presenter_.SwapChain()->GetDesc1(&desc));
  EXPECT_EQ(desc.SwapEffect, DXGI_SWAP_EFFECT_FLIP_DISCARD);
  EXPECT_EQ(desc.BufferCount, 2u);
  EXPECT_EQ(desc.Scaling, DXGI_SCALING_STRETCH);
  gpu_.Release();
  EXPECT_EQ(gpu_.device, nullptr);
  EXPECT_FALSE(gpu_.adapterName.empty());  // the name stays
  gpu_.Release();
}

TEST_F(RenderTest, LetterboxDrawsTheImageInTheCentredViewportWithBlackBands) {
  presenter_.letterbox = true;
  auto texture = SolidTexture(gpu_.device.Get(), 1920, 1080, kGreen);
  ASSERT_EQ(presenter_.Render(texture.Get(), 1920, 1080, 87), Presenter::RenderResult::kDrawn);
  EXPECT_EQ(presenter_.BackBufferWidth(), 1000u);  // buffers follow the client area
  EXPECT_EQ(presenter_.BackBufferHeight(), 1000u);
  uint32_t width = 0;
  const auto pixels = testing::ReadPixels(gpu_.device.Get(), presenter_.BackBuffer(), width);
  ASSERT_EQ(pixels.size(), 1000u * 1000u);
  const auto at = [&](uint32_t x, uint32_t y) {
    return pixels[static_cast<size_t>(y) * width + x];
  };
  // The viewport is 0, 218.75, 1000 x 562.5. Exactly, rows 219 to 780 have their centres inside
  // it; Wine hands the viewport to OpenGL and may round its fractional edges, so the rows on
  // either edge may go either way, and everything else must be exact.
  for (uint32_t x : {0u, 500u, 999u}) {
    uint32_t first_green = 0;
    uint32_t last_green = 0;
    for (uint32_t y = 0; y < 1000; ++y) {
      const uint32_t p = at(x, y);
      ASSERT_TRUE(p == kGreen || p == kBlack) << x << "," << y << ": " << std::hex << p;
      if (p == kGreen) {
        if (first_green == 0) first_green = y;
        last_green = y;
      }
    }
    EXPECT_GE(first_green, 218u);
    EXPECT_LE(first_green, 220u);
    EXPECT_GE(last_green, 779u);
    EXPECT_LE(last_green, 781u);
    for (uint32_t y = first_green; y <= last_green; ++y) ASSERT_EQ(at(x, y), kGreen) << y;
    EXPECT_EQ(at(x, 0), kBlack);
    EXPECT_EQ(at(x, 999), kBlack);
  }
  EXPECT_TRUE(presenter_.Draw(texture.Get(), 1920, 1080, 87, 0));
}

TEST_F(RenderTest, StretchSizesTheBuffersToTheSourceOnlyWhenTheWantedSizeChanges) {
  auto small = SolidTexture(gpu_.device.Get(), 320, 240, kGreen);
  auto big = SolidTexture(gpu_.device.Get(), 3840, 2160, kGreen);
  presenter_.letterbox = false;
  const uint64_t resizes = presenter_.ResizeCount();
  ASSERT_TRUE(presenter_.Draw(small.Get(), 320, 240, 87, 0));
  EXPECT_EQ(presenter_.BackBufferWidth(), 320u);
  EXPECT_EQ(presenter_.ResizeCount(), resizes + 1);
  ASSERT_TRUE(presenter_.Draw(small.Get(), 320, 240, 87, 0));
  EXPECT_EQ(presenter_.ResizeCount(), resizes + 1);
  uint32_t width = 0;
  presenter_.Render(small.Get(), 320, 240, 87);
  const auto pixels = testing::ReadPixels(gpu_.device.Get(), presenter_.BackBuffer(), width);
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(pixels.front(), kGreen);  // the image fills the buffer: no bands
  EXPECT_EQ(pixels.back(), kGreen);

  ASSERT_TRUE(presenter_.Draw(big.Get(), 3840, 2160, 87, 0));
  EXPECT_EQ(presenter_.BackBufferWidth(), 3840u);
  EXPECT_EQ(presenter_.BackBufferHeight(), 2160u);
  presenter_.letterbox = true;
  ASSERT_TRUE(presenter_.Draw(big.Get(), 3840, 2160, 87, 0));
  EXPECT_EQ(presenter_.BackBufferWidth(), 1000u);
  ASSERT_TRUE(presenter_.Draw(big.Get(), 3840, 2160, 87, 0));
  presenter_.letterbox = false;
  ASSERT_TRUE(presenter_.Draw(big.Get(), 3840, 2160, 87, 0));
  EXPECT_EQ(presenter_.ResizeCount(), resizes + 4);
}

TEST_F(RenderTest, BeforeAnyFrameEachTickPresentsBlackAndCountsNothing) {
  for (int i = 0; i < 3; ++i) {
    const PresentResult r = stage_.PresentLatest(0);
    EXPECT_FALSE(r.presented);
    EXPECT_FALSE(r.repeated);
    EXPECT_EQ(r.version, 0u);
  }
  EXPECT_EQ(stage_.PresentCount(), 0u);
  EXPECT_EQ(stage_.RepeatCount(), 0u);
}

TEST_F(RenderTest, ARepeatedVersionCountsOneRepeatAndStillPresents) {
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  slot_.Publish(texture.Get(), 64, 64, 87);
  PresentResult r = stage_.PresentLatest(0);
  EXPECT_TRUE(r.presented);
  EXPECT_FALSE(r.repeated);
  EXPECT_EQ(r.version, 1u);
  r = stage_.PresentLatest(0);
  EXPECT_TRUE(r.presented);
  EXPECT_TRUE(r.repeated);
  EXPECT_EQ(r.version, 1u);
  slot_.Publish(texture.Get(), 64, 64, 87);
  r = stage_.PresentLatest(1);
  EXPECT_FALSE(r.repeated);
  EXPECT_EQ(r.version, 2u);
  EXPECT_EQ(stage_.PresentCount(), 3u);
  EXPECT_EQ(stage_.RepeatCount(), 1u);
  EXPECT_EQ(slot_.Format(), 87);
}

TEST_F(RenderTest, SteadyTicksCreateNoViewAndResizeNothing) {
  presenter_.letterbox = true;
  auto texture = SolidTexture(gpu_.device.Get(), 640, 360, kGreen);
  slot_.Publish(texture.Get(), 640, 360, 90);  // typeless: viewed as 87
  stage_.PresentLatest(0);
  const uint64_t views = presenter_.ViewCreations();
  const uint64_t resizes = presenter_.ResizeCount();
  EXPECT_EQ(views, 1u);
  for (int i = 0; i < 300; ++i) {
    slot_.Publish(texture.Get(), 640, 360, 90);
    stage_.PresentLatest(0);
  }
  EXPECT_EQ(presenter_.ViewCreations(), views);
  EXPECT_EQ(presenter_.ResizeCount(), resizes);
  EXPECT_EQ(stage_.PresentCount(), 301u);

  // A new texture, or the same texture viewed in another format, makes one new view.
  auto other = SolidTexture(gpu_.device.Get(), 640, 360, kGreen);
  slot_.Publish(other.Get(), 640, 360, 87);
  stage_.PresentLatest(0);
  stage_.PresentLatest(0);
  EXPECT_EQ(presenter_.ViewCreations(), views + 1);
}

TEST_F(RenderTest, AMinimisedWindowDrawsNothingButTheTickStillCounts) {
  presenter_.letterbox = true;
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  ShowWindow(window_.hwnd, SW_MINIMIZE);
  window_.PumpMessages();
  RECT client{};
  GetClientRect(window_.hwnd, &client);
  if (client.right != 0 && client.bottom != 0) GTEST_SKIP() << "the platform keeps a client area";
  const uint64_t resizes = presenter_.ResizeCount();
  EXPECT_EQ(presenter_.Render(texture.Get(), 64, 64, 87), Presenter::RenderResult::kNothingToDraw);
  EXPECT_TRUE(presenter_.Draw(texture.Get(), 64, 64, 87, 0));
  slot_.Publish(texture.Get(), 64, 64, 87);
  EXPECT_TRUE(stage_.PresentLatest(0).presented);
  EXPECT_EQ(stage_.PresentCount(), 1u);
  EXPECT_EQ(presenter_.ResizeCount(), resizes);
}

TEST_F(RenderTest, ReleaseIsSafeTwiceAndOnAnEmptyPresenter) {
  presenter_.Release();
  presenter_.Release();
  EXPECT_EQ(presenter_.SwapChain(), nullptr);
  Presenter empty;
  empty.Release();
  auto texture = SolidTexture(gpu_.device.Get(), 8, 8, kGreen);
  EXPECT_FALSE(empty.Draw(texture.Get(), 8, 8, 87, 0));
  empty.PresentBlank(0);
}

}  // namespace
}  // namespace tsl
