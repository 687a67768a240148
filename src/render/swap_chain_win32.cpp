// The window's swap chain: its making, its back buffer, its presents and its statistics.
#include "render/swap_chain_win32.h"

#include <dxgi1_3.h>

namespace tsl {

using Microsoft::WRL::ComPtr;

bool SwapChain::Create(GpuDevice* device, HWND window, uint32_t frame_latency, uint32_t width,
                       uint32_t height) {
  device_ = device;
  readyOwed_ = false;
  tearingSupported_ = device->tearingSupported;
  latencyWaitable_.reset();
  const uint32_t base_flags = tearingSupported_ ? DXGI_SWAP_CHAIN_FLAG_ALLOW_TEARING : 0;

  DXGI_SWAP_CHAIN_DESC1 desc{};
  desc.Width = width;
  desc.Height = height;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.Stereo = FALSE;
  desc.SampleDesc.Count = 1;
  desc.SampleDesc.Quality = 0;
  desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  desc.BufferCount = 2;
  desc.Scaling = DXGI_SCALING_STRETCH;
  desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
  desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
  const auto create = [&](uint32_t flags) {
    desc.Flags = flags;
    return SUCCEEDED(device->factory->CreateSwapChainForHwnd(device->device.Get(), window, &desc,
                                                             nullptr, nullptr,
                                                             swapChain_.ReleaseAndGetAddressOf()));
  };
  if (frame_latency > 0 &&
      create(base_flags | DXGI_SWAP_CHAIN_FLAG_FRAME_LATENCY_WAITABLE_OBJECT)) {
    ComPtr<IDXGISwapChain2> waitable;
    if (SUCCEEDED(swapChain_.As(&waitable)) &&
        SUCCEEDED(waitable->SetMaximumFrameLatency(frame_latency))) {
      latencyWaitable_.reset(waitable->GetFrameLatencyWaitableObject());
    }
    // A swap chain made waitable must be waited on; without the interface to wait with (Wine 8
    // hands out no IDXGISwapChain2), it is made again the usual way.
    if (!latencyWaitable_) swapChain_.Reset();
  }
  swapChainFlags_ = latencyWaitable_
                        ? base_flags | DXGI_SWAP_CHAIN_FLAG_FRAME_LATENCY_WAITABLE_OBJECT
                        : base_flags;
  if (!swapChain_ && !create(swapChainFlags_)) return false;
  if (frame_latency > 0 && !latencyWaitable_) {
    // No waitable swap chain: the frames in flight are had, less precisely, from the device (a
    // present then blocks while that many are queued).
    ComPtr<IDXGIDevice1> dxgi_device;
    if (SUCCEEDED(device->device.As(&dxgi_device))) {
      dxgi_device->SetMaximumFrameLatency(frame_latency);
    }
  }
  if (FAILED(swapChain_.As(&media_))) media_.Reset();
  // Fullscreen is the window's own business, never DXGI's.
  device->factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);

  backBufferWidth_ = width;
  backBufferHeight_ = height;
  return AcquireBackBuffer();
}

void SwapChain::WaitUntilReady() {
  if (!latencyWaitable_ || readyOwed_) return;
  readyOwed_ = WaitForSingleObjectEx(latencyWaitable_.get(), 1000, TRUE) == WAIT_OBJECT_0;
}

bool SwapChain::AcquireBackBuffer() {
  if (FAILED(swapChain_->GetBuffer(0, IID_PPV_ARGS(backBuffer_.ReleaseAndGetAddressOf())))) {
    return false;
  }
  return SUCCEEDED(device_->device->CreateRenderTargetView(backBuffer_.Get(), nullptr,
                                                           renderTarget_.ReleaseAndGetAddressOf()));
}

void SwapChain::ReleaseBackBuffer() {
  if (device_ != nullptr && device_->context) device_->context->ClearState();
  renderTarget_.Reset();
  backBuffer_.Reset();
}

bool SwapChain::EnsureBackBuffer(uint32_t width, uint32_t height) {
  if (width == 0 || height == 0) return false;
  if (width == backBufferWidth_ && height == backBufferHeight_ && backBuffer_) return true;
  ReleaseBackBuffer();
  ++resizeCount_;
  if (!device_->Check(swapChain_->ResizeBuffers(0, width, height, DXGI_FORMAT_B8G8R8A8_UNORM,
                                                swapChainFlags_))) {
    return false;
  }
  backBufferWidth_ = width;
  backBufferHeight_ = height;
  return AcquireBackBuffer();
}

bool SwapChain::Present(uint32_t sync_interval) {
  const UINT flags = (sync_interval == 0 && tearingSupported_) ? DXGI_PRESENT_ALLOW_TEARING : 0;
  lastPresent_ = {sync_interval, flags, lastPresent_.count + 1};
  readyOwed_ = false;
  return device_->Check(swapChain_->Present(sync_interval, flags));
}

bool SwapChain::LastPresentId(uint32_t& id) const {
  UINT count = 0;
  if (!swapChain_ || FAILED(swapChain_->GetLastPresentCount(&count))) return false;
  id = count;
  return true;
}

StatisticsRead SwapChain::ReadStatistics(FrameStatistics& stats) const {
  if (!swapChain_) return StatisticsRead::kDisjoint;
  DXGI_FRAME_STATISTICS_MEDIA s{};
  HRESULT hr = E_NOTIMPL;
  if (media_) {
    hr = media_->GetFrameStatisticsMedia(&s);
    if (SUCCEEDED(hr) && s.CompositionMode == DXGI_FRAME_PRESENTATION_MODE_COMPOSED) {
      stats.composition = Composition::kComposed;
    } else if (SUCCEEDED(hr) && (s.CompositionMode == DXGI_FRAME_PRESENTATION_MODE_OVERLAY ||
                                 s.CompositionMode == DXGI_FRAME_PRESENTATION_MODE_NONE)) {
      stats.composition = Composition::kDirect;
    }
  } else {
    DXGI_FRAME_STATISTICS plain{};
    hr = swapChain_->GetFrameStatistics(&plain);
    s.PresentCount = plain.PresentCount;
    s.PresentRefreshCount = plain.PresentRefreshCount;
    s.SyncRefreshCount = plain.SyncRefreshCount;
    s.SyncQPCTime = plain.SyncQPCTime;
  }
  if (hr == E_NOTIMPL || hr == DXGI_ERROR_UNSUPPORTED) return StatisticsRead::kUnavailable;
  // The first call, a mode change, or any other failure: what follows has no link to before.
  if (FAILED(hr)) return StatisticsRead::kDisjoint;
  stats.present_count = s.PresentCount;
  stats.present_refresh_count = s.PresentRefreshCount;
  stats.sync_refresh_count = s.SyncRefreshCount;
  stats.sync_qpc = static_cast<uint64_t>(s.SyncQPCTime.QuadPart);
  return StatisticsRead::kOk;
}

void SwapChain::Release() {
  renderTarget_.Reset();
  backBuffer_.Reset();
  media_.Reset();
  swapChain_.Reset();
  latencyWaitable_.reset();
  readyOwed_ = false;
}

}  // namespace tsl
