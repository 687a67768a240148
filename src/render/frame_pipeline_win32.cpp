#include "render/frame_pipeline_win32.h"

#include <d3dcompiler.h>

#include "render/shader_texts.h"

namespace tsl {

using Microsoft::WRL::ComPtr;

bool FramePipeline::Create(ID3D11Device* d) {
  ComPtr<ID3DBlob> vs_code;
  ComPtr<ID3DBlob> ps_code;
  if (FAILED(D3DCompile(kVertexShaderText, kVertexShaderLength, nullptr, nullptr, nullptr, "main",
                        "vs_5_0", 0, 0, &vs_code, nullptr)) ||
      FAILED(D3DCompile(kPixelShaderText, kPixelShaderLength, nullptr, nullptr, nullptr, "main",
                        "ps_5_0", 0, 0, &ps_code, nullptr))) {
    return false;
  }
  if (FAILED(d->CreateVertexShader(vs_code->GetBufferPointer(), vs_code->GetBufferSize(), nullptr,
                                   vertexShader_.ReleaseAndGetAddressOf())) ||
      FAILED(d->CreatePixelShader(ps_code->GetBufferPointer(), ps_code->GetBufferSize(), nullptr,
                                  pixelShader_.ReleaseAndGetAddressOf()))) {
    return false;
  }

  // Without it deep sources are drawn plain: banded, but drawn.
  ComPtr<ID3DBlob> dither_code;
  if (FAILED(D3DCompile(kDitherPixelShaderText, kDitherPixelShaderLength, nullptr, nullptr, nullptr,
                        "main", "ps_5_0", 0, 0, &dither_code, nullptr)) ||
      FAILED(d->CreatePixelShader(dither_code->GetBufferPointer(), dither_code->GetBufferSize(),
                                  nullptr, ditherShader_.ReleaseAndGetAddressOf()))) {
    ditherShader_.Reset();
  }

  D3D11_SAMPLER_DESC sampler{};
  sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
  sampler.MaxLOD = D3D11_FLOAT32_MAX;
  if (FAILED(d->CreateSamplerState(&sampler, sampler_.ReleaseAndGetAddressOf()))) return false;

  D3D11_RASTERIZER_DESC raster{};
  raster.FillMode = D3D11_FILL_SOLID;
  raster.CullMode = D3D11_CULL_NONE;
  raster.DepthClipEnable = TRUE;
  if (FAILED(d->CreateRasterizerState(&raster, rasterizer_.ReleaseAndGetAddressOf()))) {
    return false;
  }

  D3D11_BLEND_DESC blend{};
  blend.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
  if (FAILED(d->CreateBlendState(&blend, blend_.ReleaseAndGetAddressOf()))) return false;

  D3D11_DEPTH_STENCIL_DESC depth{};  // every field zero: no depth test, no stencil
  return SUCCEEDED(d->CreateDepthStencilState(&depth, depthStencil_.ReleaseAndGetAddressOf()));
}

void FramePipeline::Release() {
  for (CachedView& cached : views_) cached = CachedView{};
  depthStencil_.Reset();
  blend_.Reset();
  rasterizer_.Reset();
  sampler_.Reset();
  pixelShader_.Reset();
  ditherShader_.Reset();
  vertexShader_.Reset();
}

ID3D11ShaderResourceView* FramePipeline::ViewOf(ID3D11Device* device, ID3D11Texture2D* texture,
                                                uint32_t view_format) {
  for (const CachedView& cached : views_) {
    if (cached.view && cached.texture == texture && cached.format == view_format) {
      return cached.view.Get();
    }
  }
  CachedView& cached = views_[nextView_];
  cached = CachedView{};
  D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
  desc.Format = static_cast<DXGI_FORMAT>(view_format);
  desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
  desc.Texture2D.MostDetailedMip = 0;
  desc.Texture2D.MipLevels = 1;
  ++viewCreations_;
  if (FAILED(device->CreateShaderResourceView(texture, &desc, &cached.view)) &&
      FAILED(device->CreateShaderResourceView(texture, nullptr, &cached.view))) {
    cached.view.Reset();
    return nullptr;
  }
  cached.texture = texture;
  cached.format = view_format;
  nextView_ = (nextView_ + 1) % views_.size();
  return cached.view.Get();
}

void FramePipeline::Begin(ID3D11DeviceContext* c, const D3D11_VIEWPORT& viewport,
                          ID3D11BlendState* blend) const {
  c->OMSetBlendState(blend != nullptr ? blend : blend_.Get(), nullptr, 0xFFFFFFFF);
  c->OMSetDepthStencilState(depthStencil_.Get(), 0);
  c->RSSetState(rasterizer_.Get());
  c->RSSetViewports(1, &viewport);
  c->IASetInputLayout(nullptr);
  c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  UseVertexShader(c);
}

void FramePipeline::UseVertexShader(ID3D11DeviceContext* c) const {
  c->VSSetShader(vertexShader_.Get(), nullptr, 0);
}

bool FramePipeline::Draw(ID3D11DeviceContext* c, ID3D11ShaderResourceView* view,
                         bool dither) const {
  const bool dithered = dither && ditherShader_;
  c->PSSetShader(dithered ? ditherShader_.Get() : pixelShader_.Get(), nullptr, 0);
  c->PSSetShaderResources(0, 1, &view);
  ID3D11SamplerState* sampler = sampler_.Get();
  c->PSSetSamplers(0, 1, &sampler);
  c->Draw(3, 0);
  // Unbound again: a texture bound for reading cannot be drawn into (the overlay's text is).
  ID3D11ShaderResourceView* none = nullptr;
  c->PSSetShaderResources(0, 1, &none);
  return dithered;
}

}  // namespace tsl
