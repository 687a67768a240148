#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>

#include "render/gpu_device_win32.h"

namespace tsl {

// The window's flip-model swap chain and the fixed pipeline that draws one frame per tick:
// letterboxed (buffers follow the client area, black bands) or stretched (buffers take the
// source's size and the swap chain scales them onto the window).
class Presenter {
 public:
  Presenter() = default;
  ~Presenter() = default;  // members go in reverse order: view cache first, swap chain last
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  bool Initialize(GpuDevice* device, HWND window);
  // Draws and presents. True when the present succeeded, and when a minimised window left
  // nothing to draw into.
  bool Draw(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format,
            uint32_t sync_interval);
  void PresentBlank(uint32_t sync_interval);
  void Release();

  enum class RenderResult { kFailed, kNothingToDraw, kDrawn };
  // Draw without the present, so that a test can read the back buffer before it is flipped.
  RenderResult Render(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format);

  std::atomic<bool> letterbox{false};

  // For tests and the title's checks: the current buffer size, how often the buffers were
  // resized and how often a shader-resource view was made (neither moves in the steady state).
  uint32_t BackBufferWidth() const { return backBufferWidth_; }
  uint32_t BackBufferHeight() const { return backBufferHeight_; }
  uint64_t ResizeCount() const { return resizeCount_; }
  uint64_t ViewCreations() const { return viewCreations_; }
  IDXGISwapChain1* SwapChain() const { return swapChain_.Get(); }
  // The arguments of the last Present call. The swap chain cannot be asked what it was given,
  // so this is how a test sees the sync interval and the tearing flag of each mode.
  struct PresentCall {
    uint32_t sync_interval = 0;
    uint32_t flags = 0;
    uint64_t count = 0;  // Present calls made so far
  };
  PresentCall LastPresent() const { return lastPresent_; }
  // True once a present or a buffer resize reported the device lost; cleared by Initialize.
  bool DeviceLost() const { return deviceLost_.load(); }
  // Fault injection for tests: the next present reports `result` instead of presenting.
  void InjectPresentResult(HRESULT result) { injectedPresentResult_ = result; }

  // The flags the swap chain was created and is resized with.
  uint32_t SwapChainFlags() const { return swapChainFlags_; }
  ID3D11Texture2D* BackBuffer() const { return backBuffer_.Get(); }

 private:
  bool CreatePipeline();
  bool EnsureBackBuffer(uint32_t width, uint32_t height);
  void ReleaseBackBuffer();
  bool AcquireBackBuffer();
  bool PresentNow(uint32_t sync_interval);

  GpuDevice* device_ = nullptr;
  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<IDXGISwapChain1> swapChain_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> backBuffer_;
  Microsoft::WRL::ComPtr<ID3D11RenderTargetView> renderTarget_;
  uint32_t backBufferWidth_ = 0;
  uint32_t backBufferHeight_ = 0;
  uint32_t swapChainFlags_ = 0;
  bool tearingSupported_ = false;
  Microsoft::WRL::ComPtr<ID3D11VertexShader> vertexShader_;
  Microsoft::WRL::ComPtr<ID3D11PixelShader> pixelShader_;
  Microsoft::WRL::ComPtr<ID3D11SamplerState> sampler_;
  Microsoft::WRL::ComPtr<ID3D11RasterizerState> rasterizer_;
  Microsoft::WRL::ComPtr<ID3D11BlendState> blend_;
  Microsoft::WRL::ComPtr<ID3D11DepthStencilState> depthStencil_;
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> cachedView_;
  const void* cachedTexture_ = nullptr;  // identity only, no reference
  uint32_t cachedViewFormat_ = 0;
  uint64_t resizeCount_ = 0;
  uint64_t viewCreations_ = 0;
  PresentCall lastPresent_;
  std::atomic<bool> deviceLost_{false};
  std::atomic<HRESULT> injectedPresentResult_{S_OK};
};

}  // namespace tsl
