#pragma once

#include <d3d11.h>
#include <dxgi1_3.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>

#include "base/unique_handle_win32.h"
#include "gpu/gpu_device_win32.h"
#include "measure/display_vocabulary.h"

namespace tsl {

// The window's flip-model swap chain: made waitable where the platform has it, its back buffer
// sized on demand (the swap chain scales it onto the window), its presents made and counted,
// and what it says of the screen.
class SwapChain {
 public:
  SwapChain() = default;
  SwapChain(const SwapChain&) = delete;
  SwapChain& operator=(const SwapChain&) = delete;

  // With a `frame_latency` of 1 or more, where the platform has it (IDXGISwapChain2), the swap
  // chain is made waitable with that maximum frame latency (see WaitUntilReady); elsewhere it
  // is the usual one on a device whose maximum frame latency is that, and LatencyWaitable says
  // so. 0: the platform's usual latency. The buffers start at `width` x `height`.
  bool Create(GpuDevice* device, HWND window, uint32_t frame_latency, uint32_t width,
              uint32_t height);
  void Release();
  bool Ready() const { return static_cast<bool>(swapChain_); }
  bool LatencyWaitable() const { return static_cast<bool>(latencyWaitable_); }
  // With a waitable swap chain: waits (at most a second) until a present would not queue behind
  // another. Each wait is owed to the next present: until one is made, further calls return at
  // once, since the signal the wait took comes back only with a present.
  void WaitUntilReady();
  // Resizes the buffers to `width` x `height` unless they are so already; false for an empty
  // size or a failed resize.
  bool EnsureBackBuffer(uint32_t width, uint32_t height);
  ID3D11RenderTargetView* RenderTarget() const { return renderTarget_.Get(); }
  uint32_t Width() const { return backBufferWidth_; }
  uint32_t Height() const { return backBufferHeight_; }
  // Presents the back buffer (with tearing allowed at sync interval 0 where it can be).
  bool Present(uint32_t sync_interval);
  // The id of the last present made (the swap chain's count of present calls); false when it
  // cannot be read.
  bool LastPresentId(uint32_t& id) const;
  // The swap chain's frame statistics: what reached the screen (flip model only; Wine 8 has
  // none and answers E_NOTIMPL).
  StatisticsRead ReadStatistics(FrameStatistics& stats) const;

 private:
  // Tests look inside (the back buffer, the resize count, the last present call, the flags).
  friend class PresenterProbe;
  // The arguments of the last Present call: the swap chain cannot be asked what it was given.
  struct PresentCall {
    uint32_t sync_interval = 0;
    uint32_t flags = 0;
    uint64_t count = 0;  // Present calls made so far
  };

  bool AcquireBackBuffer();
  void ReleaseBackBuffer();

  GpuDevice* device_ = nullptr;
  Microsoft::WRL::ComPtr<IDXGISwapChain1> swapChain_;
  // Its media statistics, which also say how each image was composed (null where the platform
  // has none: Wine 8).
  Microsoft::WRL::ComPtr<IDXGISwapChainMedia> media_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> backBuffer_;
  Microsoft::WRL::ComPtr<ID3D11RenderTargetView> renderTarget_;
  uint32_t backBufferWidth_ = 0;
  uint32_t backBufferHeight_ = 0;
  uint32_t swapChainFlags_ = 0;
  bool tearingSupported_ = false;
  uint64_t resizeCount_ = 0;
  PresentCall lastPresent_;
  base::UniqueHandle latencyWaitable_;
  bool readyOwed_ = false;  // a wait took the swap chain's signal and no present followed yet
};

}  // namespace tsl
