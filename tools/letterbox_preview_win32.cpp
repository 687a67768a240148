// Shows a 1920 x 1080 test pattern letterboxed in the Tessaline window, through the real device,
// presenter and per-tick stage, for a few seconds (or until the window is closed). Used to look
// at the output path without a sender: tessaline_preview.exe [seconds] [width] [height]
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "render/present_stage_win32.h"
#include "render/presenter_win32.h"
#include "window/main_window_win32.h"

namespace {

// Eight vertical colour bars over a horizontal grey ramp in the bottom quarter, with a white
// one-pixel frame, so that letterboxing, cropping and stretching are all visible at a glance.
std::vector<uint32_t> TestPattern(uint32_t width, uint32_t height) {
  static const uint32_t kBars[8] = {0xFFFFFFFF, 0xFF00FFFF, 0xFFFFFF00, 0xFF00FF00,
                                    0xFFFF00FF, 0xFF0000FF, 0xFFFF0000, 0xFF000000};  // BGRA
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t p = kBars[x * 8 / width];
      if (y >= height * 3 / 4) {
        const uint32_t g = x * 255 / (width - 1);
        p = 0xFF000000 | g << 16 | g << 8 | g;
      }
      if (x == 0 || y == 0 || x == width - 1 || y == height - 1) p = 0xFFFFFFFF;
      pixels[static_cast<size_t>(y) * width + x] = p;
    }
  }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const int width = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int height = argc > 3 ? std::atoi(argv[3]) : 700;

  tsl::MainWindow window;
  tsl::GpuDevice gpu;
  tsl::Presenter presenter;
  tsl::FrameSlot slot;
  tsl::PresentStage stage;
  if (!window.Create(L"Tessaline preview", width, height, false)) return 1;
  if (!gpu.Create() || !presenter.Initialize(&gpu, window.hwnd)) return 1;
  stage.Bind(&presenter, &slot);
  presenter.letterbox = true;

  constexpr uint32_t kW = 1920;
  constexpr uint32_t kH = 1080;
  const std::vector<uint32_t> pixels = TestPattern(kW, kH);
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = kW;
  desc.Height = kH;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  D3D11_SUBRESOURCE_DATA data{pixels.data(), kW * 4, 0};
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  if (FAILED(gpu.device->CreateTexture2D(&desc, &data, &texture))) return 1;
  slot.Publish(texture.Get(), kW, kH, DXGI_FORMAT_B8G8R8A8_UNORM);

  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  while (window.PumpMessages() && GetTickCount64() < end) {
    tsl::OutputFrame frame;
    stage.PresentNewest(1, frame);
    Sleep(16);
  }
  presenter.Release();
  gpu.Release();
  window.Destroy();
  return 0;
}
