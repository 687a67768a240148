#pragma once

// What the presenter tests look at inside a Presenter: the back buffer they read pixels from,
// the buffer size, how often buffers were resized and views made, the last present call and
// the swap-chain flags. A friend of Presenter, so that its public face stays the program's.

#include "render/presenter_win32.h"

namespace tsl {

class PresenterProbe {
 public:
  using RenderResult = Presenter::RenderResult;
  using PresentCall = SwapChain::PresentCall;

  explicit PresenterProbe(Presenter& presenter) : p_(presenter) {}

  // Draws without presenting, so the back buffer can be read before it is flipped.
  RenderResult Render(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format) {
    return p_.Render(texture, width, height, format);
  }
  // The same with the overlay graph drawn over it.
  RenderResult Render(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format,
                      const OverlayInput& overlay) {
    const RenderResult result = p_.Render(texture, width, height, format);
    if (result == RenderResult::kDrawn) p_.DrawOverlay(overlay);
    return result;
  }
  uint32_t BackBufferWidth() const { return p_.chain_.backBufferWidth_; }
  uint32_t BackBufferHeight() const { return p_.chain_.backBufferHeight_; }
  uint64_t ResizeCount() const { return p_.chain_.resizeCount_; }
  uint64_t ViewCreations() const { return p_.frame_.ViewCreations(); }
  IDXGISwapChain1* SwapChain() const { return p_.chain_.swapChain_.Get(); }
  ID3D11Texture2D* BackBuffer() const { return p_.chain_.backBuffer_.Get(); }
  PresentCall LastPresent() const { return p_.chain_.lastPresent_; }
  // The flags the swap chain was created and is resized with (Wine's GetDesc1 drops them).
  uint32_t SwapChainFlags() const { return p_.chain_.swapChainFlags_; }
  // Puts a stand-in in place of the swap chain (a fake that wraps the real one).
  void UseSwapChain(IDXGISwapChain1* swap_chain) {
    p_.chain_.swapChain_ = swap_chain;
    if (FAILED(p_.chain_.swapChain_.As(&p_.chain_.media_))) p_.chain_.media_.Reset();
  }
  // Puts a copy of `ready` (or, with null, nothing) in place of the frame-latency waitable
  // object, which this platform does not hand out.
  void UseLatencyWaitable(HANDLE ready) {
    HANDLE copy = nullptr;
    if (ready != nullptr) {
      DuplicateHandle(GetCurrentProcess(), ready, GetCurrentProcess(), &copy, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    }
    p_.chain_.latencyWaitable_.reset(copy);
  }

 private:
  Presenter& p_;
};

}  // namespace tsl
