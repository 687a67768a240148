#pragma once

// A swap chain that presents for real (it wraps the presenter's own) but answers the display
// questions Wine cannot: GetLastPresentCount and GetFrameStatistics come from a small model of
// a display that refreshes every `period` counts. Each present reaches the first refresh after
// it that the present before it has left (one image per refresh, in order); a present chosen as
// late reaches the screen one refresh after that.

#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <set>
#include <vector>

#include "base/qpc.h"

namespace tsl::testing {

class FakeDisplaySwapChain final : public IDXGISwapChain1 {
 public:
  FakeDisplaySwapChain(IDXGISwapChain1* real, uint64_t period) : real_(real), period_(period) {}

  std::set<uint32_t> late_presents;  // ids (from 1) that reach the screen a refresh late
  // The refresh each present reached, by id - 1.
  const std::vector<uint64_t>& Refreshes() const { return refreshes_; }

  HRESULT STDMETHODCALLTYPE Present(UINT sync_interval, UINT flags) override {
    const HRESULT hr = real_->Present(sync_interval, flags);
    if (FAILED(hr)) return hr;
    const uint64_t now = base::QpcNow();
    uint64_t refresh = now / period_ + 1;
    if (!refreshes_.empty() && refresh <= refreshes_.back()) refresh = refreshes_.back() + 1;
    if (late_presents.count(static_cast<uint32_t>(refreshes_.size() + 1)) != 0) ++refresh;
    refreshes_.push_back(refresh);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetLastPresentCount(UINT* count) override {
    *count = static_cast<UINT>(refreshes_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS* stats) override {
    // The images on screen by now: those whose refresh has come.
    const uint64_t sync = base::QpcNow() / period_;
    UINT shown = 0;
    while (shown < refreshes_.size() && refreshes_[shown] <= sync) ++shown;
    if (shown == 0) return DXGI_ERROR_FRAME_STATISTICS_DISJOINT;  // nothing yet, as at first
    *stats = DXGI_FRAME_STATISTICS{};
    stats->PresentCount = shown;
    stats->PresentRefreshCount = static_cast<UINT>(refreshes_[shown - 1]);
    stats->SyncRefreshCount = static_cast<UINT>(sync);
    stats->SyncQPCTime.QuadPart = static_cast<LONGLONG>(sync * period_);
    return S_OK;
  }

  // Everything else is the real swap chain's.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == __uuidof(IUnknown) || id == __uuidof(IDXGIObject) ||
        id == __uuidof(IDXGIDeviceSubObject) || id == __uuidof(IDXGISwapChain) ||
        id == __uuidof(IDXGISwapChain1)) {
      *out = static_cast<IDXGISwapChain1*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // the test owns it
  HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, UINT n, const void* d) override {
    return real_->SetPrivateData(g, n, d);
  }
  HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID g, const IUnknown* u) override {
    return real_->SetPrivateDataInterface(g, u);
  }
  HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, UINT* n, void* d) override {
    return real_->GetPrivateData(g, n, d);
  }
  HRESULT STDMETHODCALLTYPE GetParent(REFIID id, void** out) override {
    return real_->GetParent(id, out);
  }
  HRESULT STDMETHODCALLTYPE GetDevice(REFIID id, void** out) override {
    return real_->GetDevice(id, out);
  }
  HRESULT STDMETHODCALLTYPE GetBuffer(UINT i, REFIID id, void** out) override {
    return real_->GetBuffer(i, id, out);
  }
  HRESULT STDMETHODCALLTYPE SetFullscreenState(BOOL on, IDXGIOutput* o) override {
    return real_->SetFullscreenState(on, o);
  }
  HRESULT STDMETHODCALLTYPE GetFullscreenState(BOOL* on, IDXGIOutput** o) override {
    return real_->GetFullscreenState(on, o);
  }
  HRESULT STDMETHODCALLTYPE GetDesc(DXGI_SWAP_CHAIN_DESC* d) override { return real_->GetDesc(d); }
  HRESULT STDMETHODCALLTYPE ResizeBuffers(UINT n, UINT w, UINT h, DXGI_FORMAT f,
                                          UINT flags) override {
    return real_->ResizeBuffers(n, w, h, f, flags);
  }
  HRESULT STDMETHODCALLTYPE ResizeTarget(const DXGI_MODE_DESC* d) override {
    return real_->ResizeTarget(d);
  }
  HRESULT STDMETHODCALLTYPE GetContainingOutput(IDXGIOutput** o) override {
    return real_->GetContainingOutput(o);
  }
  HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_SWAP_CHAIN_DESC1* d) override {
    return real_->GetDesc1(d);
  }
  HRESULT STDMETHODCALLTYPE GetFullscreenDesc(DXGI_SWAP_CHAIN_FULLSCREEN_DESC* d) override {
    return real_->GetFullscreenDesc(d);
  }
  HRESULT STDMETHODCALLTYPE GetHwnd(HWND* h) override { return real_->GetHwnd(h); }
  HRESULT STDMETHODCALLTYPE GetCoreWindow(REFIID id, void** out) override {
    return real_->GetCoreWindow(id, out);
  }
  HRESULT STDMETHODCALLTYPE Present1(UINT s, UINT f, const DXGI_PRESENT_PARAMETERS* p) override {
    return real_->Present1(s, f, p);
  }
  BOOL STDMETHODCALLTYPE IsTemporaryMonoSupported() override {
    return real_->IsTemporaryMonoSupported();
  }
  HRESULT STDMETHODCALLTYPE GetRestrictToOutput(IDXGIOutput** o) override {
    return real_->GetRestrictToOutput(o);
  }
  HRESULT STDMETHODCALLTYPE SetBackgroundColor(const DXGI_RGBA* c) override {
    return real_->SetBackgroundColor(c);
  }
  HRESULT STDMETHODCALLTYPE GetBackgroundColor(DXGI_RGBA* c) override {
    return real_->GetBackgroundColor(c);
  }
  HRESULT STDMETHODCALLTYPE SetRotation(DXGI_MODE_ROTATION r) override {
    return real_->SetRotation(r);
  }
  HRESULT STDMETHODCALLTYPE GetRotation(DXGI_MODE_ROTATION* r) override {
    return real_->GetRotation(r);
  }

 private:
  Microsoft::WRL::ComPtr<IDXGISwapChain1> real_;
  const uint64_t period_;
  std::vector<uint64_t> refreshes_;
  ULONG references_ = 1;
};

}  // namespace tsl::testing
