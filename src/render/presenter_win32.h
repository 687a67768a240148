#pragma once

#include <d3d11.h>
#include <dxgi1_3.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "gpu/gpu_device_win32.h"
#include "measure/display_vocabulary.h"
#include "measure/pace_stats.h"
#include "render/frame_pipeline_win32.h"
#include "render/overlay_pipeline_win32.h"
#include "render/swap_chain_win32.h"

namespace tsl {

// One frame per tick into the window: the flip-model swap chain (SwapChain), the frame drawn by
// the FramePipeline letterboxed (buffers follow the client area, black bands) or stretched
// (buffers take the source's size and the swap chain scales them onto the window), and the
// overlay (OverlayPipeline) over it.

class Presenter {
 public:
  Presenter() = default;
  ~Presenter() = default;  // members go in reverse order: the pipelines first, the swap chain last
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  // With a `frame_latency` of 1 or more, where the platform has it (IDXGISwapChain2), the swap
  // chain is made waitable with that maximum frame latency (see WaitUntilReady); elsewhere it
  // is the usual one on a device whose maximum frame latency is that, and LatencyWaitable says
  // so. 0: the platform's usual latency.
  bool Initialize(GpuDevice* device, HWND window, uint32_t frame_latency = 0);
  bool LatencyWaitable() const { return chain_.LatencyWaitable(); }
  // With a waitable swap chain: waits (at most a second) until a present would not queue behind
  // another, so that the frame drawn next is the newest at the last moment. Each wait is owed to
  // the next present: until one is made (a minimised window, a failed draw, a blank without a
  // target make none), further calls return at once, since the signal the wait took comes back
  // only with a present. Does nothing without a waitable swap chain.
  void WaitUntilReady() { chain_.WaitUntilReady(); }
  enum class DrawResult {
    kFailed,         // the draw or the present failed
    kNothingToDraw,  // a minimised window: nothing drawn, no present made
    kPresented,      // drawn and presented
  };
  // With `overlay`, the overlay graph is drawn over the frame before the present (its cost is
  // the tick's).
  DrawResult Draw(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format,
                  uint32_t sync_interval, const OverlayInput* overlay = nullptr);
  // True when a (black) present was made and succeeded. `status` (null: none) is a panel of
  // text (OverlayText's, of `status_lines` lines) drawn in the middle.
  bool PresentBlank(uint32_t sync_interval, const OverlayInput* overlay = nullptr,
                    ID3D11ShaderResourceView* status = nullptr, size_t status_lines = 0);
  void Release();

  // The id of the last present made (the swap chain's count of present calls); false when it
  // cannot be read.
  bool LastPresentId(uint32_t& id) const { return chain_.LastPresentId(id); }
  // The swap chain's frame statistics: what reached the screen (flip model only; Wine 8 has
  // none and answers E_NOTIMPL).
  StatisticsRead ReadStatistics(FrameStatistics& stats) const {
    return chain_.ReadStatistics(stats);
  }
  // The window's dots per inch over 96, read when the pipeline was made: the overlay's size.
  float DpiScale() const { return dpiScale_; }
  // The last frame drawn came from a deep source and was dithered to the back buffer's 8 bits.
  bool Dithering() const { return dithering_; }

  std::atomic<bool> letterbox{false};

 private:
  // Tests look inside (the back buffer, the buffer size, the resize and view counts, the last
  // present call) through this, so that the public operations stay those the program uses.
  friend class PresenterProbe;

  enum class RenderResult { kFailed, kNothingToDraw, kDrawn };
  // Draws without presenting.
  RenderResult Render(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format);
  bool CreatePipeline();
  bool CreateOverlayPipeline();
  // Draws the overlay graph over what the back buffer holds.
  void DrawOverlay(const OverlayInput& overlay);
  void DrawCentredText(ID3D11ShaderResourceView* text, size_t lines);
  // The overlay's size factor: the window's dots per inch, and the swap chain's scaling of the
  // buffer onto the window (stretch mode).
  float OverlayScale() const;

  GpuDevice* device_ = nullptr;
  HWND window_ = nullptr;
  SwapChain chain_;
  FramePipeline frame_;
  std::atomic<bool> dithering_{false};  // the last frame drawn was dithered
  OverlayPipeline overlay_;
  float dpiScale_ = 1.0f;
};

}  // namespace tsl
