#pragma once

// Small fakes of a shared texture and its keyed mutex, for the access-lock paths that Wine
// cannot run (it has no IDXGIKeyedMutex). The keyed mutex answers AcquireSync with a chosen
// result and counts its calls; the texture reports the keyed-mutex flag in its description
// and hands out the mutex, or refuses the interface.

#include <d3d11.h>
#include <dxgi.h>

#include <cstdint>

namespace tsl::testing {

class FakeKeyedMutex final : public IDXGIKeyedMutex {
 public:
  HRESULT acquire_result = S_OK;
  int acquires = 0;
  int releases = 0;
  UINT64 last_key = ~0ull;
  DWORD last_timeout_ms = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == __uuidof(IDXGIKeyedMutex) || id == __uuidof(IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDevice(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AcquireSync(UINT64 key, DWORD timeout_ms) override {
    ++acquires;
    last_key = key;
    last_timeout_ms = timeout_ms;
    return acquire_result;
  }
  HRESULT STDMETHODCALLTYPE ReleaseSync(UINT64 key) override {
    ++releases;
    last_key = key;
    return S_OK;
  }
  ULONG References() const { return references_; }

 private:
  ULONG references_ = 1;
};

class FakeSharedTexture final : public ID3D11Texture2D {
 public:
  // With `keyed` null the texture says it has a keyed mutex but cannot give one.
  FakeSharedTexture(UINT misc_flags, FakeKeyedMutex* keyed)
      : miscFlags_(misc_flags), keyed_(keyed) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == __uuidof(IDXGIKeyedMutex) && keyed_ != nullptr) {
      return keyed_->QueryInterface(id, out);
    }
    if (id == __uuidof(ID3D11Texture2D) || id == __uuidof(IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  void STDMETHODCALLTYPE GetDevice(ID3D11Device** device) override { *device = nullptr; }
  HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override {
    return E_NOTIMPL;
  }
  void STDMETHODCALLTYPE GetType(D3D11_RESOURCE_DIMENSION* type) override {
    *type = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
  }
  void STDMETHODCALLTYPE SetEvictionPriority(UINT) override {}
  UINT STDMETHODCALLTYPE GetEvictionPriority() override { return 0; }
  void STDMETHODCALLTYPE GetDesc(D3D11_TEXTURE2D_DESC* desc) override {
    *desc = D3D11_TEXTURE2D_DESC{};
    desc->Width = 64;
    desc->Height = 64;
    desc->MipLevels = desc->ArraySize = 1;
    desc->Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc->SampleDesc.Count = 1;
    desc->MiscFlags = miscFlags_;
  }

 private:
  UINT miscFlags_;
  FakeKeyedMutex* keyed_;
  ULONG references_ = 1;
};

}  // namespace tsl::testing
